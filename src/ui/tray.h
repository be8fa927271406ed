#pragma once
// The notification-area (tray) icon of a window: one per window (id 1), reporting mouse and
// balloon activity through the window's "OnNotifIcon" event, and put back when the task bar
// restarts ("TaskbarCreated").
//
// State lives in the window's properties: "NotifyiconData" (the platform record, owned by the
// window), "NotifyIcon" (the window's own copy of the icon) and "TaskbarCreatedMsg". The form
// dispatcher hands the tray messages and the final clean-up to TrayMessage.
#include <windows.h>
#include <shellapi.h>

#include "text/text_types.h"
#include "ui/window_object.h"

// "OnNotifIcon" codes.
enum TrayEventCode : int {
    kTrayLeftClick = 1,
    kTrayRightClick = 2,
    kTrayLeftDoubleClick = 3,
    kTrayRightDoubleClick = 4,
    kTrayMouseMove = 5,
    kTrayBalloonShow = 6,
    kTrayBalloonTimeout = 7,
    kTrayBalloonClick = 8,
};

// The tip field holds 128 UTF-16 units including its terminator; longer tips are cut.
inline constexpr size_t kTrayTipUnits = 128;

// Shows `icon` (the window keeps its own copy) with a tip. Without an icon the tray icon is
// removed instead and the result is false.
bool AddTrayIcon(WindowObject& window, HICON icon, const WideText& tip = WideText());
bool AddTrayIcon(WindowObject& window, HICON icon, const Text& tip);
// The operations below return false when no icon was added.
bool SetTrayTip(WindowObject& window, const WideText& tip);
bool SetTrayTip(WindowObject& window, const Text& tip);
bool SetTrayIcon(WindowObject& window, HICON icon);
// kind: NIIF_* (1 = information); timeout in milliseconds.
bool ShowTrayBalloon(WindowObject& window, const WideText& title, const WideText& text,
                     DWORD kind = NIIF_INFO, UINT timeoutMs = 10000);
bool ShowTrayBalloon(WindowObject& window, const Text& title, const Text& text,
                     DWORD kind = NIIF_INFO, UINT timeoutMs = 10000);
// Takes the icon out of the tray and forgets it (a later task-bar restart does not bring it
// back).
bool RemoveTrayIcon(WindowObject& window);
// The platform record of the window's tray icon; null when none.
const NOTIFYICONDATAW* TrayIconData(const WindowObject& window);

// The form dispatcher's tray hook: the callback message, "TaskbarCreated" and WM_NCDESTROY.
LRESULT TrayMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                    int* handled);
