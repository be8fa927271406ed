#pragma once
// ControlWindow: a window object bound to a native common control (tab, status bar, list view,
// button, label, edit, picture box). Each kind is a class of its own that knows its window
// class, default size, default and forced styles and default caption, and installs its own
// handler for the notifications its parent reflects to it.
//
// Panels (child containers) are forms: FormWindow::CreatePanel.
#include <windows.h>

#include <optional>

#include "text/text_types.h"
#include "ui/window_object.h"

// What `Create` does for one kind.
struct ControlTraits {
    const wchar_t* className;
    int width;
    int height;
    DWORD styleWhenNone;         // added only when the caller gives no style
    DWORD styleAlways;           // always added
    DWORD exStyleWhenNone;       // the extended style when the caller gives none
    DWORD exStyleAlways;         // always added to the extended style
    const char* defaultCaption;  // code page 936; null = empty
};

// Optional arguments of `Create`; every absent one takes the kind's default.
struct ControlPlacement {
    std::optional<int> x;
    std::optional<int> y;
    std::optional<int> width;
    std::optional<int> height;
};

class ControlWindow : public WindowObject {
  public:
    // Creates the control as a child of `parent`: style = given (or the kind's default) OR
    // WS_CHILD, WS_VISIBLE, WS_CLIPSIBLINGS and the kind's forced bits, after the "Border" kind;
    // id = given or the next free one; the default GUI font. False when already bound, when the
    // parent is not a window or when the control cannot be made.
    bool Create(HWND parent, std::optional<Text> caption = {}, std::optional<int> x = {},
                std::optional<int> y = {}, std::optional<int> width = {},
                std::optional<int> height = {}, std::optional<int> id = {},
                std::optional<DWORD> style = {}, std::optional<DWORD> exStyle = {});
    bool Create(const WindowObject& parent, std::optional<Text> caption = {},
                std::optional<int> x = {}, std::optional<int> y = {}, std::optional<int> width = {},
                std::optional<int> height = {}, std::optional<int> id = {},
                std::optional<DWORD> style = {}, std::optional<DWORD> exStyle = {}) {
        return Create(parent.GetHandle(), std::move(caption), x, y, width, height, id, style,
                      exStyle);
    }
    // Binds to an existing dialog item instead of creating one.
    bool AttachItem(HWND parent, int id, bool useDefaultFont = true);
    bool AttachItem(const WindowObject& parent, int id, bool useDefaultFont = true) {
        return AttachItem(parent.GetHandle(), id, useDefaultFont);
    }
    // GWL_ID; 0 when unbound.
    int GetId() const;

    // Text and background colours answered to WM_CTLCOLOR* (buttons, labels, edits).
    // A background of -1 is transparent. Both repaint the control.
    void SetTextColor(COLORREF colour);
    void SetBackColor(int64_t colour);

    virtual const ControlTraits& Traits() const = 0;

    // The reflected-message handling shared by buttons, labels and edits: BN_CLICKED raises
    // "OnClick" (claimed); WM_CTLCOLOR* answer with "TextColor" and "BackBrush".
    static LRESULT ButtonReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    // Only the colour part.
    static LRESULT ColourReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    // Entry 3 and 5 of a control without resources of its own kind.
    static LRESULT ControlMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static void ControlCleanup(WindowRecord*);
    // Frees what every control may keep in its bag (the colour brush); idempotent. Kinds with
    // resources of their own call it from their clean-up.
    static void ReleaseCommonResources(WindowRecord*);

  protected:
    ControlWindow(RecordMessageFn message, RecordMessageFn reflected, RecordRefFn cleanup);
    // Runs after the native window exists and is bound.
    virtual void AfterCreate() {}
    // Adjusts the final styles just before creation.
    virtual void AdjustStyles(DWORD& /*style*/, DWORD& /*exStyle*/) const {}
};
