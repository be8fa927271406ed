#include "ui/controls_basic.h"

namespace {

// "按钮" (button) and "标签" (label) in code page 936.
constexpr char kButtonCaption[] = "\xB0\xB4\xC5\xA5";
constexpr char kLabelCaption[] = "\xB1\xEA\xC7\xA9";

const ControlTraits kButtonTraits{L"Button", 80, 32, WS_TABSTOP, 0, 0, 0, kButtonCaption};
const ControlTraits kLabelTraits{L"Static", 80, 24, SS_CENTERIMAGE, SS_NOTIFY, 0, 0, kLabelCaption};
const ControlTraits kEditTraits{L"Edit", 80, 20, ES_AUTOHSCROLL | WS_TABSTOP, 0, 0, 0, nullptr};

}  // namespace

Button::Button()
    : ControlWindow(&ControlWindow::ControlMessage, &ControlWindow::ButtonReflected,
                    &ControlWindow::ControlCleanup) {}

const ControlTraits& Button::Traits() const {
    return kButtonTraits;
}

Label::Label()
    : ControlWindow(&ControlWindow::ControlMessage, &ControlWindow::ButtonReflected,
                    &ControlWindow::ControlCleanup) {}

const ControlTraits& Label::Traits() const {
    return kLabelTraits;
}

Edit::Edit()
    : ControlWindow(&ControlWindow::ControlMessage, &Edit::EditReflected,
                    &ControlWindow::ControlCleanup) {}

const ControlTraits& Edit::Traits() const {
    return kEditTraits;
}

LRESULT Edit::EditReflected(WindowRecord* record, HWND parent, UINT message, WPARAM wParam,
                            LPARAM lParam, int* handled) {
    if (message == WM_COMMAND) {
        if (HIWORD(wParam) == EN_CHANGE) {
            record->Fire("OnTextChange", {reinterpret_cast<INT_PTR>(record->Handle()),
                                          static_cast<INT_PTR>(LOWORD(wParam))});
        }
        return 0;
    }
    return ColourReflected(record, parent, message, wParam, lParam, handled);
}
