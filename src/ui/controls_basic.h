#pragma once
// Buttons, labels and single-line edit fields.
#include <windows.h>

#include "ui/control_window.h"

// "Button", 80 x 32, WS_TABSTOP unless a style is given, caption "按钮" by default.
class Button : public ControlWindow {
  public:
    Button();
    const ControlTraits& Traits() const override;

    template <class F>
    void OnClick(F&& f) {  // button handle, control id
        Bind("OnClick", std::forward<F>(f));
    }
};

// "Static", 80 x 24, SS_CENTERIMAGE unless a style is given, always SS_NOTIFY (so it can be
// clicked), caption "标签" by default.
class Label : public ControlWindow {
  public:
    Label();
    const ControlTraits& Traits() const override;

    template <class F>
    void OnClick(F&& f) {  // label handle, control id
        Bind("OnClick", std::forward<F>(f));
    }
};

// "Edit", 80 x 20, ES_AUTOHSCROLL and WS_TABSTOP unless a style is given.
class Edit : public ControlWindow {
  public:
    Edit();
    const ControlTraits& Traits() const override;

    // Sets the text (code page 936); true when the window took it.
    bool Text(const ::Text& text) { return SetText(text); }
    // The current text in code page 936.
    ::Text Text() const { return GetText(); }

    template <class F>
    void OnTextChange(F&& f) {  // edit handle, control id
        Bind("OnTextChange", std::forward<F>(f));
    }

    // EN_CHANGE raises "OnTextChange" (result ignored); colours as for buttons.
    static LRESULT EditReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    // A one-line edit draws its text at the top of its client area; this keeps the client area
    // one text line high, centred in the box, so the text lines up with labels beside it.
    static LRESULT EditMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
};
