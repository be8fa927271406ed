#include "ui/status_bar.h"

#include <commctrl.h>

namespace {

const ControlTraits kStatusTraits{
    STATUSCLASSNAMEW, 200, 32, SBARS_SIZEGRIP | CCS_BOTTOM | CCS_NOMOVEY, 0, 0, 0, nullptr};

constexpr int Code(UINT code) {
    return static_cast<int>(code);
}

}  // namespace

StatusBar::StatusBar()
    : ControlWindow(&ControlWindow::ControlMessage, &StatusBar::StatusReflected,
                    &ControlWindow::ControlCleanup) {}

const ControlTraits& StatusBar::Traits() const {
    return kStatusTraits;
}

LRESULT StatusBar::StatusReflected(WindowRecord* record, HWND parent, UINT message, WPARAM wParam,
                                   LPARAM lParam, int* handled) {
    if (message != WM_NOTIFY || lParam == 0) {
        return ColourReflected(record, parent, message, wParam, lParam, handled);
    }
    const auto bar = reinterpret_cast<INT_PTR>(record->Handle());
    const int code = static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code);
    if (code == Code(SBN_SIMPLEMODECHANGE)) {
        record->Fire("SimpleModeChange", {bar});
        return 0;
    }
    const char* event = code == Code(NM_CLICK)    ? "OnClick"
                        : code == Code(NM_DBLCLK) ? "OnDBLClick"
                        : code == Code(NM_RCLICK) ? "OnRClick"
                                                  : nullptr;
    if (event == nullptr) return 0;
    const auto* mouse = reinterpret_cast<const NMMOUSE*>(lParam);
    const auto r = record->Fire(
        event, {bar, static_cast<INT_PTR>(mouse->dwItemSpec), mouse->pt.x, mouse->pt.y});
    if (!r) return 0;
    *handled = 1;
    return *r;
}
