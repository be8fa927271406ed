#include "ui/tray.h"

#include <memory>

#include "text/text_helpers.h"
#include "ui/control_window.h"
#include "ui/form_window.h"

namespace {

constexpr char kDataName[] = "NotifyiconData";
constexpr char kIconName[] = "NotifyIcon";
constexpr char kTaskbarName[] = "TaskbarCreatedMsg";
constexpr UINT kTrayIconId = 1;
constexpr UINT kBasicFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

NOTIFYICONDATAW* Data(WindowRecord* record) {
    return BagObject<NOTIFYICONDATAW>(record, kDataName);
}

// Copies at most units - 1 UTF-16 units and the terminator, never leaving half a surrogate pair.
template <size_t N>
void CopyField(wchar_t (&field)[N], const WideText& text) {
    size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    for (size_t i = 0; i < n; ++i) field[i] = static_cast<wchar_t>(text[i]);
    field[n] = L'\0';
}

void DropIconCopy(WindowRecord* record) {
    CloseBagHandle<IconHandle>(record->Bag(), kIconName);
}

void ReleaseTray(WindowRecord* record) {
    if (NOTIFYICONDATAW* data = Data(record)) {
        ::Shell_NotifyIconW(NIM_DELETE, data);
        DeleteBagObject<NOTIFYICONDATAW>(record, kDataName);
    }
    DropIconCopy(record);
}

int CallbackCode(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_MOUSEMOVE:
            return kTrayMouseMove;
        case WM_LBUTTONUP:
            return kTrayLeftClick;
        case WM_LBUTTONDBLCLK:
            return kTrayLeftDoubleClick;
        case WM_RBUTTONUP:
            return kTrayRightClick;
        case WM_RBUTTONDBLCLK:
            return kTrayRightDoubleClick;
        case NIN_BALLOONSHOW:
            return kTrayBalloonShow;
        case NIN_BALLOONTIMEOUT:
            return kTrayBalloonTimeout;
        case NIN_BALLOONUSERCLICK:
            return kTrayBalloonClick;
        default:
            return 0;
    }
}

}  // namespace

bool AddTrayIcon(WindowObject& window, HICON icon, const WideText& tip) {
    WindowRecord* record = window.Record();
    const HWND hwnd = window.GetHandle();
    if (record == nullptr || !::IsWindow(hwnd)) return false;
    if (icon == nullptr) {
        RemoveTrayIcon(window);
        return false;
    }
    SetFormTrayHook(&TrayMessage);
    if (!window.HasProperty(kTaskbarName)) {
        window.SetProperty(kTaskbarName, ::RegisterWindowMessageW(L"TaskbarCreated"));
    }
    // A second add replaces the first icon rather than leaving it behind.
    ReleaseTray(record);

    IconHandle owned(::CopyIcon(icon));
    if (!owned) return false;
    const HICON copy = owned.Get();
    PutBagHandle(record->Bag(), kIconName, std::move(owned));
    auto data = std::make_unique<NOTIFYICONDATAW>();
    *data = NOTIFYICONDATAW{};
    data->cbSize = NOTIFYICONDATAW_V2_SIZE;
    data->hWnd = hwnd;
    data->uID = kTrayIconId;
    data->uFlags = kBasicFlags;
    data->uCallbackMessage = kTrayCallbackMessage;
    data->hIcon = copy;
    CopyField(data->szTip, tip);
    NOTIFYICONDATAW* stored = data.release();
    window.SetProperty(kDataName, reinterpret_cast<INT_PTR>(stored));
    return ::Shell_NotifyIconW(NIM_ADD, stored) != FALSE;
}

bool AddTrayIcon(WindowObject& window, HICON icon, const Text& tip) {
    return AddTrayIcon(window, icon, AnsiToWide(tip));
}

bool SetTrayTip(WindowObject& window, const WideText& tip) {
    NOTIFYICONDATAW* data = Data(window.Record());
    if (data == nullptr) return false;
    data->uFlags = kBasicFlags;
    CopyField(data->szTip, tip);
    return ::Shell_NotifyIconW(NIM_MODIFY, data) != FALSE;
}

bool SetTrayTip(WindowObject& window, const Text& tip) {
    return SetTrayTip(window, AnsiToWide(tip));
}

bool SetTrayIcon(WindowObject& window, HICON icon) {
    WindowRecord* record = window.Record();
    NOTIFYICONDATAW* data = Data(record);
    if (data == nullptr || icon == nullptr) return false;
    IconHandle copy(::CopyIcon(icon));
    if (!copy) return false;
    data->uFlags = kBasicFlags;
    data->hIcon = copy.Get();
    const bool ok = ::Shell_NotifyIconW(NIM_MODIFY, data) != FALSE;
    // The old copy goes only once the shell has been told about the new one.
    PutBagHandle(record->Bag(), kIconName, std::move(copy));
    return ok;
}

bool ShowTrayBalloon(WindowObject& window, const WideText& title, const WideText& text, DWORD kind,
                     UINT timeoutMs) {
    NOTIFYICONDATAW* data = Data(window.Record());
    if (data == nullptr) return false;
    data->uFlags = kBasicFlags | NIF_STATE | NIF_INFO;
    CopyField(data->szInfo, text);
    CopyField(data->szInfoTitle, title);
    data->uTimeout = timeoutMs;
    data->dwInfoFlags = kind;
    const bool ok = ::Shell_NotifyIconW(NIM_MODIFY, data) != FALSE;
    // Later modifications must not show the balloon again.
    data->szInfo[0] = L'\0';
    data->szInfoTitle[0] = L'\0';
    data->uFlags = kBasicFlags;
    return ok;
}

bool ShowTrayBalloon(WindowObject& window, const Text& title, const Text& text, DWORD kind,
                     UINT timeoutMs) {
    return ShowTrayBalloon(window, AnsiToWide(title), AnsiToWide(text), kind, timeoutMs);
}

bool RemoveTrayIcon(WindowObject& window) {
    WindowRecord* record = window.Record();
    NOTIFYICONDATAW* data = Data(record);
    if (data == nullptr) return false;
    const bool ok = ::Shell_NotifyIconW(NIM_DELETE, data) != FALSE;
    DeleteBagObject<NOTIFYICONDATAW>(record, kDataName);
    DropIconCopy(record);
    return ok;
}

const NOTIFYICONDATAW* TrayIconData(const WindowObject& window) {
    return Data(window.Record());
}

LRESULT TrayMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM, LPARAM lParam,
                    int* handled) {
    if (record == nullptr) return 0;
    if (message == WM_NCDESTROY) {
        ReleaseTray(record);
        return 0;
    }
    if (message == kTrayCallbackMessage) {
        if (!record->IsBound("OnNotifIcon")) return 0;
        const auto mouse = static_cast<UINT>(lParam);
        if (mouse == WM_LBUTTONDOWN || mouse == WM_RBUTTONDOWN) {
            ::SetCapture(hwnd);
        } else if (const int code = CallbackCode(mouse)) {
            record->Fire("OnNotifIcon", {reinterpret_cast<INT_PTR>(hwnd), code});
            if (mouse == WM_LBUTTONUP || mouse == WM_RBUTTONUP) ::ReleaseCapture();
        }
        *handled = 1;
        return 0;
    }
    const INT_PTR taskbarCreated = record->Bag().GetPtr(kTaskbarName);
    if (taskbarCreated != 0 && message == static_cast<UINT>(taskbarCreated)) {
        if (NOTIFYICONDATAW* data = Data(record)) {
            // The new shell knows nothing of the icon: add it again with the same icon and tip.
            ::Shell_NotifyIconW(NIM_DELETE, data);
            data->uFlags = kBasicFlags;
            ::Shell_NotifyIconW(NIM_ADD, data);
        }
    }
    return 0;
}
