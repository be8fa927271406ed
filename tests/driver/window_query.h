#pragma once
// Finding the program's windows from outside: the main window, its controls in creation order,
// and the top-level windows its threads open (message boxes, pop-up menus).
#include <windows.h>

#include <string>
#include <vector>

namespace driver {

struct MainWindowQuery {
    std::wstring className = L"koWindow";
    std::wstring titlePrefix = L"PictalonV6.0";
    DWORD skipPid = 0;  // a window of this process is never the one (two Pictalons at once)
};

// The first visible top-level window matching the query, or nullptr.
HWND FindMainWindow(const MainWindowQuery& query);

std::wstring ClassOf(HWND window);
// The text through WM_GETTEXT (marshalled between processes, unlike GetWindowTextW on a window
// of another process); empty when the window does not answer within the time-out.
std::wstring TextOf(HWND window, UINT timeoutMs = 5000);
bool TextOf(HWND window, std::wstring& text, UINT timeoutMs);

// Every descendant in the order EnumChildWindows gives (parents before children, siblings in
// creation order).
std::vector<HWND> Descendants(HWND root);
std::vector<HWND> DescendantsOfClass(HWND root, const std::wstring& className);

DWORD ProcessOf(HWND window);

// Visible top-level windows of one class owned by a process; pid 0: every window of that class,
// visible or not, of any process.
std::vector<HWND> TopLevelOfProcess(DWORD pid, const std::wstring& className);

// The window's rectangle in screen coordinates and relative to its parent's client area.
RECT ScreenRect(HWND window);
RECT RectInParent(HWND window);
RECT ClientScreenRect(HWND window);

std::string RectJson(const RECT& r);

}  // namespace driver
