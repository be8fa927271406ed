#pragma once
// WindowObject: a handle on a WindowRecord. The object keeps no state of its own; copies share
// the record (and add a reference). Every method checks that there is a record (and, where it
// needs one, a live window) and otherwise returns 0, false or empty.
#include <windows.h>

#include <optional>
#include <string_view>
#include <utility>

#include "text/text_types.h"
#include "ui/window_record.h"

struct WindowSize {
    int width = 0;
    int height = 0;
};

class WindowObject {
  public:
    // A fresh, unbound object with the base callbacks and an empty bag.
    WindowObject();
    // Takes over one reference the caller already holds (adopt) or adds one of its own.
    enum class Share { Adopt, AddRef };
    WindowObject(WindowRecord* record, Share how);
    WindowObject(const WindowObject& o);
    WindowObject(WindowObject&& o) noexcept;
    WindowObject& operator=(const WindowObject& o);
    WindowObject& operator=(WindowObject&& o) noexcept;
    virtual ~WindowObject();

    // An object sharing the record of a registered window; without a record when the window is
    // not one of the toolkit's.
    static WindowObject FromHandle(HWND hwnd);

    WindowRecord* Record() const { return record_; }
    HWND GetHandle() const;
    bool IsWindowAlive() const;  // bound and the native window exists

    // Named properties (pointer-sized values). Unbound objects still have a bag; an object
    // without a record ignores writes and reads 0.
    void SetProperty(std::string_view name, INT_PTR value);
    INT_PTR GetProperty(std::string_view name) const;
    bool HasProperty(std::string_view name) const;
    void RemoveProperty(std::string_view name);

    // Keeps a reference to a child control's record under "Controls"; released when this
    // window is destroyed.
    void HoldChild(const WindowObject& child);

    WindowSize GetSize() const;  // outer size from GetWindowRect; 0 x 0 when unbound
    bool Disabled() const;       // not IsWindowEnabled
    bool Disabled(bool flag);    // EnableWindow(!flag); true when the window exists
    bool AddStyle(LONG_PTR bits);
    bool SetText(const Text& text);  // code page 936
    bool SetTextW(const WideText& text);
    Text GetText() const;
    WideText GetTextW() const;
    bool Show(int command = SW_SHOW);
    bool Destroy();  // DestroyWindow

    // Creates the native window with the record as the creation parameter (windows of the
    // toolkit's own classes enter the registry from their first creation message). Refuses when
    // already bound.
    bool Create(HWND parent, const Text& title, int x, int y, int width, int height,
                INT_PTR menuOrId, DWORD style, DWORD exStyle, const WideText& className);

    // Subclasses an existing window; when the window is already bound this object shares its
    // record instead.
    bool Attach(HWND hwnd);
    // Gives the window back its previous procedure and leaves the registry.
    bool Detach();

    // Border kinds 0-5: none, client edge, window edge, static edge, client + window edge,
    // thin border. Stored as "Border"; applied at once when bound.
    bool SetBorder(int kind);
    // Clears every border bit from the two styles and adds those of the kind.
    static void ApplyBorder(int kind, DWORD& style, DWORD& exStyle);

    // Native window properties, plain forwarding.
    bool SetPropW(const WideText& name, HANDLE value);
    HANDLE GetPropW(const WideText& name) const;
    HANDLE RemovePropW(const WideText& name);

    // Event binding. Any callable of up to seven integer/handle/pointer parameters; nullptr
    // unbinds. Handlers bound after creation take effect at the next message. Handlers live in
    // the record: a handler that captures a copy of its own window object keeps the record
    // alive for good, so capture by reference (or the handle) instead. Bind and fire on the
    // window's thread only.
    template <class F>
    void Bind(std::string_view event, F&& handler) {
        if (record_) record_->Bind(event, MakeEventHandler(std::forward<F>(handler)));
    }
    void Unbind(std::string_view event) {
        if (record_) record_->Bind(event, EventHandler{});
    }
    bool IsBound(std::string_view event) const { return record_ && record_->IsBound(event); }

    // Generic window events. Arguments in order:
    template <class F>
    void OnWndMsg(F&& f) {
        Bind("OnWndMsg", std::forward<F>(f));
    }  // hWnd, msg, wParam, lParam, int* handled
    template <class F>
    void OnPaint(F&& f) {
        Bind("OnPaint", std::forward<F>(f));
    }  // hWnd, HDC, left, top, right, bottom
    template <class F>
    void OnLButtonDown(F&& f) {
        Bind("OnLButtonDown", std::forward<F>(f));
    }  // hWnd, x, y, modifiers
    template <class F>
    void OnLButtonUp(F&& f) {
        Bind("OnLButtonUp", std::forward<F>(f));
    }
    template <class F>
    void OnLButtonDblClk(F&& f) {
        Bind("OnLButtonDblClk", std::forward<F>(f));
    }
    template <class F>
    void OnRButtonDown(F&& f) {
        Bind("OnRButtonDown", std::forward<F>(f));
    }
    template <class F>
    void OnRButtonUp(F&& f) {
        Bind("OnRButtonUp", std::forward<F>(f));
    }
    template <class F>
    void OnMouseMove(F&& f) {
        Bind("OnMouseMove", std::forward<F>(f));
    }
    template <class F>
    void OnMouseIn(F&& f) {
        Bind("OnMouseIn", std::forward<F>(f));
    }  // hWnd, x, y, modifiers
    template <class F>
    void OnMouseLeave(F&& f) {
        Bind("OnMouseLeave", std::forward<F>(f));
    }  // hWnd
    template <class F>
    void OnMouseHover(F&& f) {
        Bind("OnMouseHover", std::forward<F>(f));
    }  // hWnd
    template <class F>
    void OnSetFocus(F&& f) {
        Bind("OnSetFocus", std::forward<F>(f));
    }  // hWnd
    template <class F>
    void OnKillFocus(F&& f) {
        Bind("OnKillFocus", std::forward<F>(f));
    }  // hWnd
    template <class F>
    void OnKeyDown(F&& f) {
        Bind("OnKeyDown", std::forward<F>(f));
    }  // hWnd, key, modifiers
    template <class F>
    void OnKeyUp(F&& f) {
        Bind("OnKeyUp", std::forward<F>(f));
    }
    template <class F>
    void OnMouseWheel(F&& f) {
        Bind("OnMouseWheel", std::forward<F>(f));
    }  // hWnd, delta, modifiers
    template <class F>
    void OnChar(F&& f) {
        Bind("OnChar", std::forward<F>(f));
    }  // hWnd, char code
    template <class F>
    void OnDropFiles(F&& f) {
        Bind("OnDropFiles", std::forward<F>(f));
    }  // hWnd, const std::vector<Text>*
    template <class F>
    void OnTimer(F&& f) {
        Bind("OnTimer", std::forward<F>(f));
    }  // hWnd, timer id

  protected:
    // For derived classes: start from a record with these entries 3-5.
    WindowObject(RecordMessageFn message, RecordMessageFn reflected, RecordRefFn cleanup);
    void ReleaseRecord();

    WindowRecord* record_ = nullptr;
};

// Bitwise OR of 1 (Ctrl), 2 (Shift), 4 (Alt), read from the keyboard at the time of the call.
int ModifierFlags();
