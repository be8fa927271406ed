#pragma once
// The status bar ("msctls_statusbar32"): one part whose text is the window text (SetText), and
// the mouse events of its notifications.
#include <windows.h>

#include "ui/control_window.h"

class StatusBar : public ControlWindow {
  public:
    StatusBar();
    const ControlTraits& Traits() const override;

    // Events. Arguments: bar handle, part index, x, y; the result is the message result.
    template <class F>
    void OnClick(F&& f) {
        Bind("OnClick", std::forward<F>(f));
    }
    template <class F>
    void OnDBLClick(F&& f) {
        Bind("OnDBLClick", std::forward<F>(f));
    }
    template <class F>
    void OnRClick(F&& f) {
        Bind("OnRClick", std::forward<F>(f));
    }
    // Argument: bar handle.
    template <class F>
    void SimpleModeChange(F&& f) {
        Bind("SimpleModeChange", std::forward<F>(f));
    }

    static LRESULT StatusReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
};
