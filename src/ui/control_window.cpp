#include "ui/control_window.h"

#include "text/text_helpers.h"
#include "ui/app_host.h"
#include "ui/dispatch.h"

namespace {

constexpr INT_PTR kTransparent = -1;

bool IsColourMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

}  // namespace

ControlWindow::ControlWindow(RecordMessageFn message, RecordMessageFn reflected,
                             RecordRefFn cleanup)
    : WindowObject(message, reflected, cleanup) {
    SetProperty("Type", 1);
}

bool ControlWindow::Create(HWND parent, std::optional<Text> caption, std::optional<int> x,
                           std::optional<int> y, std::optional<int> width,
                           std::optional<int> height, std::optional<int> id,
                           std::optional<DWORD> style, std::optional<DWORD> exStyle) {
    if (record_ == nullptr || GetProperty("hWnd") != 0) return false;
    if (!::IsWindow(parent)) return false;
    const ControlTraits& traits = Traits();

    DWORD finalStyle = style ? *style : traits.styleWhenNone;
    DWORD finalExStyle = (exStyle ? *exStyle : traits.exStyleWhenNone) | traits.exStyleAlways;
    if (HasProperty("Border")) {
        ApplyBorder(static_cast<int>(GetProperty("Border")), finalStyle, finalExStyle);
    }
    finalStyle |= traits.styleAlways | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    AdjustStyles(finalStyle, finalExStyle);

    const Text text = caption ? *caption : Text(traits.defaultCaption ? traits.defaultCaption : "");
    const WideText wideText = AnsiToWide(text);
    const int controlId = id ? *id : NextControlId();
    const HWND hwnd = ::CreateWindowExW(
        finalExStyle, traits.className, WinStr(wideText), finalStyle, x.value_or(0), y.value_or(0),
        width.value_or(traits.width), height.value_or(traits.height), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), ToolkitInstance(), record_);
    if (hwnd == nullptr) return false;
    if (!Attach(hwnd)) {
        WindowHandle::Close(hwnd);
        return false;
    }
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   0);
    AfterCreate();
    return ::IsWindow(hwnd) != FALSE;
}

bool ControlWindow::AttachItem(HWND parent, int id, bool useDefaultFont) {
    if (record_ == nullptr || GetProperty("hWnd") != 0 || !::IsWindow(parent)) return false;
    const HWND hwnd = ::GetDlgItem(parent, id);
    if (hwnd == nullptr || !Attach(hwnd)) return false;
    if (useDefaultFont) {
        ::SendMessageW(hwnd, WM_SETFONT,
                       reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), 0);
    }
    AfterCreate();
    return true;
}

int ControlWindow::GetId() const {
    const HWND hwnd = GetHandle();
    if (hwnd == nullptr) return 0;
    return static_cast<int>(::GetWindowLongPtrW(hwnd, GWLP_ID));
}

void ControlWindow::SetTextColor(COLORREF colour) {
    SetProperty("TextColor", static_cast<INT_PTR>(colour));
    if (HWND hwnd = GetHandle()) ::InvalidateRect(hwnd, nullptr, TRUE);
}

void ControlWindow::SetBackColor(int64_t colour) {
    if (record_ == nullptr) return;
    BrushHandle brush;
    if (colour < 0) {
        // A hollow brush leaves the parent's background showing through; deleting a stock
        // brush later does nothing.
        brush.Reset(static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
        SetProperty("BackColor", kTransparent);
    } else {
        brush.Reset(::CreateSolidBrush(static_cast<COLORREF>(colour)));
        SetProperty("BackColor", static_cast<INT_PTR>(colour));
    }
    PutBagHandle(record_->Bag(), "BackBrush", std::move(brush));
    if (HWND hwnd = GetHandle()) ::InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT ControlWindow::ColourReflected(WindowRecord* record, HWND, UINT message, WPARAM wParam,
                                       LPARAM, int* handled) {
    if (!IsColourMessage(message)) return 0;
    PropertyBag& bag = record->Bag();
    const auto dc = reinterpret_cast<HDC>(wParam);
    const auto brush = reinterpret_cast<HBRUSH>(bag.GetPtr("BackBrush"));
    if (bag.Has("TextColor")) {
        ::SetTextColor(dc, static_cast<COLORREF>(bag.GetPtr("TextColor")));
    }
    if (brush == nullptr) return 0;
    if (bag.GetPtr("BackColor") == kTransparent) {
        ::SetBkMode(dc, TRANSPARENT);
    } else {
        ::SetBkColor(dc, static_cast<COLORREF>(bag.GetPtr("BackColor")));
    }
    *handled = 1;
    return reinterpret_cast<LRESULT>(brush);
}

LRESULT ControlWindow::ButtonReflected(WindowRecord* record, HWND parent, UINT message,
                                       WPARAM wParam, LPARAM lParam, int* handled) {
    if (message == WM_COMMAND) {
        if (HIWORD(wParam) != BN_CLICKED) return 0;
        const auto result = record->Fire("OnClick", {reinterpret_cast<INT_PTR>(record->Handle()),
                                                     static_cast<INT_PTR>(LOWORD(wParam))});
        if (!result) return 0;
        *handled = 1;
        return *result;
    }
    return ColourReflected(record, parent, message, wParam, lParam, handled);
}

LRESULT ControlWindow::ControlMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam,
                                      LPARAM lParam, int* handled) {
    const LRESULT result = ControlDispatch(record, hwnd, message, wParam, lParam, handled);
    if (message == WM_NCDESTROY) ReleaseCommonResources(record);
    return result;
}

void ControlWindow::ControlCleanup(WindowRecord* record) {
    ReleaseCommonResources(record);
    WindowRecord::BaseCleanup(record);
}

void ControlWindow::ReleaseCommonResources(WindowRecord* record) {
    if (record == nullptr) return;
    CloseBagHandle<BrushHandle>(record->Bag(), "BackBrush");
}
