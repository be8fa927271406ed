#include "ui/controls_basic.h"

#include <windowsx.h>

#include "draw/gdi_handles.h"

namespace {

// "按钮" (button) and "标签" (label) in code page 936.
constexpr char kButtonCaption[] = "\xB0\xB4\xC5\xA5";
constexpr char kLabelCaption[] = "\xB1\xEA\xC7\xA9";

const ControlTraits kButtonTraits{L"Button", 80, 32, WS_TABSTOP, 0, 0, 0, kButtonCaption};
const ControlTraits kLabelTraits{L"Static", 80, 24, SS_CENTERIMAGE, SS_NOTIFY, 0, 0, kLabelCaption};
const ControlTraits kEditTraits{L"Edit", 80, 20, ES_AUTOHSCROLL | WS_TABSTOP, 0, 0, 0, nullptr};

// The height of one line of the edit's text, with the pixel the edit keeps above and below it.
int EditLineHeight(HWND edit) {
    const WindowDc dc(edit);
    if (!dc) return 0;
    auto font = reinterpret_cast<HFONT>(::SendMessageW(edit, WM_GETFONT, 0, 0));
    const ScopedSelect selected(dc.Get(), font ? font : ::GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    const bool ok = ::GetTextMetricsW(dc.Get(), &metrics) != FALSE;
    return ok ? metrics.tmHeight + 2 : 0;
}

// The edit's box inside its border, in window coordinates (the side borders are not moved).
RECT EditInnerRect(HWND edit) {
    RECT window{};
    RECT client{};
    ::GetWindowRect(edit, &window);
    ::GetClientRect(edit, &client);
    const int border = ((window.right - window.left) - client.right) / 2;
    RECT inner{0, 0, window.right - window.left, window.bottom - window.top};
    ::InflateRect(&inner, -border, -border);
    return inner;
}

// Fills the bands above and below the centred client area as the edit fills its background.
void PaintEditBands(HWND edit) {
    const WindowDc windowDc(edit, WindowDc::Area::kWhole);
    if (!windowDc) return;
    const HDC dc = windowDc.Get();
    RECT client{};
    ::GetClientRect(edit, &client);
    ::MapWindowPoints(edit, nullptr, reinterpret_cast<POINT*>(&client), 2);
    RECT window{};
    ::GetWindowRect(edit, &window);
    ::OffsetRect(&client, -window.left, -window.top);
    const RECT inner = EditInnerRect(edit);
    const bool plain =
        ::IsWindowEnabled(edit) && (::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) == 0;
    auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(::GetParent(edit), plain ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                       reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit)));
    if (brush == nullptr) brush = ::GetSysColorBrush(plain ? COLOR_WINDOW : COLOR_BTNFACE);
    const RECT above{inner.left, inner.top, inner.right, client.top};
    const RECT below{inner.left, client.bottom, inner.right, inner.bottom};
    if (above.bottom > above.top) ::FillRect(dc, &above, brush);
    if (below.bottom > below.top) ::FillRect(dc, &below, brush);
}

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
    : ControlWindow(&Edit::EditMessage, &Edit::EditReflected, &ControlWindow::ControlCleanup) {}

LRESULT Edit::EditMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam,
                          LPARAM lParam, int* handled) {
    LRESULT result = ControlMessage(record, hwnd, message, wParam, lParam, handled);
    const bool centred = message == WM_NCCALCSIZE || message == WM_NCPAINT ||
                         message == WM_SETFONT || message == WM_NCHITTEST;
    if (!centred || *handled || (::GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0) {
        return result;
    }
    const auto previous = reinterpret_cast<WNDPROC>(record->Bag().GetPtr("oldWndProp"));
    result = previous ? ::CallWindowProcW(previous, hwnd, message, wParam, lParam)
                      : ::DefWindowProcW(hwnd, message, wParam, lParam);
    *handled = 1;
    if (message == WM_NCCALCSIZE && lParam != 0) {
        RECT& client = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                              : *reinterpret_cast<RECT*>(lParam);
        const int spare = (client.bottom - client.top) - EditLineHeight(hwnd);
        if (spare > 1) {
            client.top += spare / 2;
            client.bottom -= spare - spare / 2;
        }
    } else if (message == WM_NCPAINT) {
        PaintEditBands(hwnd);
    } else if (message == WM_SETFONT) {
        // Another font, another line height: measure the client area again.
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (message == WM_NCHITTEST && (result == HTNOWHERE || result == HTBORDER)) {
        // A click on the bands above and below the text is a click in the box.
        RECT window{};
        ::GetWindowRect(hwnd, &window);
        const POINT at{GET_X_LPARAM(lParam) - window.left, GET_Y_LPARAM(lParam) - window.top};
        const RECT inner = EditInnerRect(hwnd);
        if (::PtInRect(&inner, at)) result = HTCLIENT;
    }
    return result;
}

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
