#pragma once
// FormWindow: top-level windows and panels. Adds the window events, the background painting,
// default/cancel buttons, Esc-to-close, the wait cursor, free moving and the two ways of
// running a top-level window (CreateTopLevel, ShowModal).
#include <windows.h>

#include <optional>

#include "draw/image_object.h"
#include "text/text_types.h"
#include "ui/window_object.h"

// How a top-level window is made. Absent values take the defaults: class "koWindow", position
// (50, 50), size 380 x 250, style WS_CAPTION | WS_SYSMENU | WS_VISIBLE.
struct TopLevelOptions {
    HWND owner = nullptr;
    Text caption;
    std::optional<POINT> position;
    std::optional<SIZE> size;
    std::optional<DWORD> style;
    // Set: the window gets an invisible owner ("koShowTaskbar") when it has none, and an owned
    // window shows no taskbar button. ShowModal reads the "ShowTaskbar" property instead.
    bool taskbarFlag = false;
    WideText className;
};

// "StartPosition" values.
enum StartPosition : int { kStartManual = 0, kStartCenterScreen = 1, kStartCenterOwner = 2 };

// Messages a "koLayout" object receives through its record's entry 3.
constexpr UINT kLayoutApply = 1025;    // (0, 0): place the children now
constexpr UINT kLayoutResize = 1026;   // (width, height) of the new client area
constexpr UINT kLayoutMinSize = 1027;  // answer MAKELONG(min width, min height), set handled

// Hook through which the tray code sees the tray callback message (0x3019), the registered
// "TaskbarCreated" message and the form's final clean-up (message WM_NCDESTROY). The form
// dispatcher calls it only for windows that have "NotifyiconData" or "OnNotifIcon".
using FormTrayHook = RecordMessageFn;
void SetFormTrayHook(FormTrayHook hook);
constexpr UINT kTrayCallbackMessage = 0x3019;

class FormWindow : public WindowObject {
  public:
    FormWindow();
    FormWindow(WindowRecord* record, Share how) : WindowObject(record, how) {}

    // Registers the class (once per name) and creates the window as a top-level window.
    bool CreateTopLevel(const TopLevelOptions& options = {});
    // Creates it, disables a visible owner and runs a modal loop until the window is gone;
    // returns "DialogResult". WM_QUIT does not end the loop; it is posted again afterwards.
    INT_PTR ShowModal(const TopLevelOptions& options = {});
    // A panel: class "koPanel", child of parent, 200 x 200 and visible unless given otherwise.
    bool CreatePanel(HWND parent, std::optional<POINT> position = {}, std::optional<SIZE> size = {},
                     std::optional<int> id = {}, std::optional<DWORD> style = {},
                     std::optional<DWORD> exStyle = {});

    // Background. The form holds a reference to the picture until it is replaced or the window
    // is destroyed; a null image removes it.
    bool SetBackImage(SharedImage image);
    bool SetBackBitmap(HBITMAP bitmap);  // copies the bitmap's pixels into a new picture
    SharedImage BackImage() const;
    void ClearBackImage();
    void SetBackColor(COLORREF color);     // 0 = button-face colour
    void SetShowImageType(int placement);  // 0 tile, 1 once at top-left, 2 stretch, 3 fit

    // Default and cancel buttons (a reference to each is kept), Esc closing, looks.
    void SetDefaultButton(const WindowObject& button);
    void SetCancelButton(const WindowObject& button);
    void SetEscClose(bool on) { SetProperty("EscClose", on ? 1 : 0); }
    void SetWaitCursor(bool on) { SetProperty("WaitCursor", on ? 1 : 0); }
    void SetNCEverActive(bool on) { SetProperty("NCEverActive", on ? 1 : 0); }
    void SetFreeMove(bool on) { SetProperty("FreeMove", on ? 1 : 0); }
    void SetStartPosition(int where) { SetProperty("StartPosition", where); }
    void SetShowTaskbar(bool on) { SetProperty("ShowTaskbar", on ? 1 : 0); }
    void SetDialogResult(INT_PTR result) { SetProperty("DialogResult", result); }
    INT_PTR DialogResult() const { return GetProperty("DialogResult"); }
    bool SetIcon(HICON icon, bool big);  // WM_SETICON; the caller keeps the icon
    // The form takes the table and destroys it with the window.
    bool SetAcceleratorTable(HACCEL table);
    // A hosted ActiveX control window that gets first look at input (WM_FORWARDMSG).
    bool AddHostedWindow(HWND hosted);

    // Window events. Arguments in order:
    template <class F>
    void OnCreate(F&& f) {
        Bind("OnCreate", std::forward<F>(f));
    }  // hWnd
    template <class F>
    void OnClose(F&& f) {
        Bind("OnClose", std::forward<F>(f));
    }  // hWnd -> non-zero keeps it
    template <class F>
    void OnDestory(F&& f) {
        Bind("OnDestory", std::forward<F>(f));
    }  // hWnd
    template <class F>
    void OnDestroy(F&& f) {
        OnDestory(std::forward<F>(f));
    }
    template <class F>
    void OnMove(F&& f) {
        Bind("OnMove", std::forward<F>(f));
    }  // hWnd, x, y
    template <class F>
    void OnSize(F&& f) {
        Bind("OnSize", std::forward<F>(f));
    }  // hWnd, width, height
    template <class F>
    void OnActivate(F&& f) {
        Bind("OnActivate", std::forward<F>(f));
    }
    template <class F>
    void OnUnActivate(F&& f) {
        Bind("OnUnActivate", std::forward<F>(f));
    }
    template <class F>
    void OnShow(F&& f) {
        Bind("OnShow", std::forward<F>(f));
    }
    template <class F>
    void OnHide(F&& f) {
        Bind("OnHide", std::forward<F>(f));
    }
    template <class F>
    void OnFirstActivate(F&& f) {
        Bind("OnFirstActivate", std::forward<F>(f));
    }
    template <class F>
    void OnUserClose(F&& f) {
        Bind("OnUserClose", std::forward<F>(f));
    }  // hWnd -> non-zero drops SC_CLOSE
    template <class F>
    void OnMenuItemClick(F&& f) {
        Bind("OnMenuItemClick", std::forward<F>(f));
    }  // hWnd, id
    template <class F>
    void OnInitMenuPopup(F&& f) {
        Bind("OnInitMenuPopup", std::forward<F>(f));
    }  // hWnd, HMENU, pos, sysmenu
    template <class F>
    void OnMenuSelect(F&& f) {
        Bind("OnMenuSelect", std::forward<F>(f));
    }  // hWnd, HMENU, item, flags
    template <class F>
    void OnNotifIcon(F&& f) {
        Bind("OnNotifIcon", std::forward<F>(f));
    }  // hWnd, code

    // Entry 3 and 5 of a form's record, for classes that build on forms.
    static LRESULT FormMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static void FormCleanup(WindowRecord*);

  private:
    bool CreateTopLevelWith(const TopLevelOptions& options, bool taskbarFlag);
};

// Paints a background into dc over client: clear with backColor (0 = button face), then draw
// the image (may be null) by placement 0-3. Picture boxes paint with the same routine.
bool PaintBackground(HDC dc, const RECT& client, COLORREF backColor, int placement,
                     Gdiplus::GpImage* image);

// The rectangle placement 3 (fit and centre, proportions kept) gives an image of w x h in a
// client of cw x ch.
RECT FitRect(int cw, int ch, int w, int h);
