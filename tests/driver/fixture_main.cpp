// driver_fixture: a small window built the way Pictalon's is (a koWindow holding a tab control
// with koPanel pages, buttons 20001/20002, two edits, an icon-view list and a status bar), so the
// driver's own tests can check every command against known reactions. Each reaction shows up in
// the status bar: "clicked 20001 <first edit>", "command 10003", "download 1", "menu x,y".
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "threads/handle.h"

namespace {

HWND gMain, gTabs, gStatus, gList;
HWND gPages[3];
HWND gQr, gHomeLabel, gFolderLabel, gAnalyze, gBrowse, gHomeEdit, gFolderEdit;
HMENU gAlbumMenu;
HIMAGELIST gImages;
int gExitCode = 0;

void SetStatus(const std::wstring& text) {
    SendMessageW(gStatus, SB_SETTEXTW, 0, (LPARAM)text.c_str());
}

std::wstring TextOf(HWND w) {
    wchar_t buf[1024] = {};
    GetWindowTextW(w, buf, 1024);
    return buf;
}

DWORD WINAPI BoxThread(LPVOID param) {
    if (param == nullptr) {
        MessageBoxW(nullptr, L"TestCookies = \x5047", L"", MB_OK);
    } else {
        MessageBoxW(nullptr, L"\x62D2\x7EDD\x8BBF\x95EE\x3002", L"[2017.08.22-16.14]a.jpg",
                    MB_OK | MB_ICONERROR);
    }
    return 0;
}

void ShowBoxFromWorker(bool failedWrite) {
    // The box runs on by itself; its thread's handle is not needed.
    UniqueHandle thread(
        CreateThread(nullptr, 0, BoxThread, failedWrite ? (LPVOID)1 : nullptr, 0, nullptr));
}

void ShowPage(int index) {
    for (int i = 0; i < 3; ++i) ShowWindow(gPages[i], i == index ? SW_SHOW : SW_HIDE);
}

void LayoutMain(int w, int h) {
    MoveWindow(gTabs, 10, 10, w - 20, h - 40, TRUE);
    RECT area;
    GetClientRect(gTabs, &area);
    SendMessageW(gTabs, TCM_ADJUSTRECT, FALSE, (LPARAM)&area);
    for (HWND page : gPages) {
        MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    }
    RECT tab;
    GetWindowRect(gTabs, &tab);
    MoveWindow(gQr, (tab.right - tab.left) / 2 - 91, (tab.bottom - tab.top) / 2 - 91, 182, 182,
               TRUE);
    SendMessageW(gStatus, WM_SIZE, 0, 0);
}

void LayoutOperatePage(int w, int h) {
    MoveWindow(gHomeLabel, 20, 20, 70, 25, TRUE);
    MoveWindow(gAnalyze, w - 90, 20, 70, 25, TRUE);
    MoveWindow(gFolderLabel, 20, 50, 70, 25, TRUE);
    MoveWindow(gBrowse, w - 90, 50, 70, 25, TRUE);
    MoveWindow(gHomeEdit, 100, 20, w - 200, 25, TRUE);
    MoveWindow(gFolderEdit, 100, 50, w - 200, 25, TRUE);
    MoveWindow(gList, 20, 80, w - 40, h - 100, TRUE);
}

void OnCommand(WPARAM w) {
    const int id = LOWORD(w);
    switch (id) {
        case 20001:
            SetStatus(L"clicked 20001 " + TextOf(gHomeEdit));
            return;
        case 20002:
            ShowBoxFromWorker(false);
            return;
        case 10000: {
            const int sel = (int)SendMessageW(gList, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
            if (sel >= 0) SetStatus(L"download " + std::to_wstring(sel));
            return;
        }
        case 10001:
            ShowBoxFromWorker(true);
            return;
        default:
            if (id >= 10002 && id <= 10005) SetStatus(L"command " + std::to_wstring(id));
    }
}

LRESULT CALLBACK PageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_COMMAND:
            OnCommand(wp);
            return 0;
        case WM_SIZE:
            if (w == gPages[1] && gList != nullptr) LayoutOperatePage(LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<NMHDR*>(lp);
            if (n->hwndFrom == gList && n->code == (UINT)NM_RCLICK) {
                POINT at;
                GetCursorPos(&at);
                SetStatus(L"menu " + std::to_wstring(at.x) + L"," + std::to_wstring(at.y));
                TrackPopupMenu(gAlbumMenu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, gMain,
                               nullptr);
                return 0;
            }
            break;
        }
    }
    return DefWindowProcW(w, m, wp, lp);
}

HBITMAP SolidBitmap(COLORREF colour, int size) {
    HDC screen = GetDC(nullptr);
    MemoryDc dc(CreateCompatibleDC(screen));
    HBITMAP bmp = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(dc.Get(), bmp);
    BrushHandle brush(CreateSolidBrush(colour));
    RECT r{0, 0, size, size};
    FillRect(dc.Get(), &r, brush.Get());
    SelectObject(dc.Get(), old);
    ReleaseDC(nullptr, screen);
    return bmp;
}

void BuildContent(HWND main) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    gTabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            10, 10, main, nullptr, inst, nullptr);
    const wchar_t* captions[3] = {L"\x767B\x5F55", L"\x64CD\x4F5C", L"\x5173\x4E8E"};
    for (int i = 0; i < 3; ++i) {
        gPages[i] = CreateWindowExW(WS_EX_CONTROLPARENT, L"koPanel", L"", WS_CHILD, 0, 0, 10, 10,
                                    gTabs, nullptr, inst, nullptr);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(captions[i]);
        SendMessageW(gTabs, TCM_INSERTITEMW, i, (LPARAM)&item);
    }
    gQr = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 0, 0, 182, 182,
                          gPages[0], nullptr, inst, nullptr);
    HWND op = gPages[1];
    gImages = ImageList_Create(48, 48, ILC_COLOR32 | ILC_MASK, 0, 0);
    const COLORREF colours[3] = {RGB(220, 40, 40), RGB(40, 200, 40), RGB(40, 40, 220)};
    for (COLORREF c : colours) {
        BitmapHandle b(SolidBitmap(c, 48));
        ImageList_Add(gImages, b.Get(), nullptr);
    }
    gList = CreateWindowExW(0, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_ICON | LVS_SINGLESEL |
                                LVS_SHOWSELALWAYS | LVS_AUTOARRANGE,
                            0, 0, 10, 10, op, nullptr, inst, nullptr);
    SendMessageW(gList, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)gImages);
    const wchar_t* items[3] = {L"[\x65C5\x884C] 25\x5F20", L"[\x7F8E\x98DF] 40\x5F20",
                               L"[B] 0\x5F20"};
    for (int i = 0; i < 3; ++i) {
        LVITEMW it{};
        it.mask = LVIF_TEXT | LVIF_IMAGE;
        it.iItem = i;
        it.iImage = i;
        it.pszText = const_cast<wchar_t*>(items[i]);
        SendMessageW(gList, LVM_INSERTITEMW, 0, (LPARAM)&it);
    }
    gHomeLabel =
        CreateWindowExW(0, WC_STATICW, L"\x7528\x6237\x4E3B\x9875\xFF1A",
                        WS_CHILD | WS_VISIBLE | SS_RIGHT, 0, 0, 10, 10, op, nullptr, inst, nullptr);
    gAnalyze = CreateWindowExW(0, WC_BUTTONW, L"\x5206\x6790", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                               op, (HMENU)20001, inst, nullptr);
    gFolderLabel =
        CreateWindowExW(0, WC_STATICW, L"\x4FDD\x5B58\x76EE\x5F55\xFF1A",
                        WS_CHILD | WS_VISIBLE | SS_RIGHT, 0, 0, 10, 10, op, nullptr, inst, nullptr);
    gBrowse = CreateWindowExW(0, WC_BUTTONW, L"\x6D4F\x89C8", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                              op, (HMENU)20002, inst, nullptr);
    gHomeEdit = CreateWindowExW(0, WC_EDITW, L"http://weibo.com/u/1234567890?from=myfollow_all",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 10, 10,
                                op, nullptr, inst, nullptr);
    gFolderEdit = CreateWindowExW(0, WC_EDITW, L"C:\\", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 10,
                                  10, op, nullptr, inst, nullptr);
    gStatus = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0,
                              0, 0, 0, main, nullptr, inst, nullptr);
    SetStatus(L"  \x72B6\x6001:\x7B49\x5F85\x64CD\x4F5C\xFF01");

    HMENU sizes = CreatePopupMenu();
    AppendMenuW(sizes, MF_STRING, 10002, L"\x539F\x56FE");
    AppendMenuW(sizes, MF_STRING, 10003, L"\x9AD8\x6E05");
    gAlbumMenu = CreatePopupMenu();
    AppendMenuW(gAlbumMenu, MF_STRING, 10000, L"\x4E0B\x8F7D\x9009\x4E2D");
    AppendMenuW(gAlbumMenu, MF_STRING, 10001, L"\x6253\x5F00\x76EE\x5F55");
    AppendMenuW(gAlbumMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(gAlbumMenu, MF_POPUP, (UINT_PTR)sizes, L"\x4E0B\x8F7D\x7C7B\x578B");
    ShowPage(0);
}

LRESULT CALLBACK MainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_CREATE:
            BuildContent(w);
            return 0;
        case WM_SIZE:
            if (gTabs != nullptr) LayoutMain(LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_COMMAND:
            OnCommand(wp);
            return 0;
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<NMHDR*>(lp);
            if (n->hwndFrom == gTabs && n->code == (UINT)TCN_SELCHANGE) {
                ShowPage((int)SendMessageW(gTabs, TCM_GETCURSEL, 0, 0));
            }
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(gExitCode);
            return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wcscmp(argv[i], L"--exit-code") == 0) gExitCode = _wtoi(argv[i + 1]);
    }
    LocalFree(argv);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW page{};
    page.lpfnWndProc = PageProc;
    page.hInstance = inst;
    page.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    page.lpszClassName = L"koPanel";
    RegisterClassW(&page);
    WNDCLASSW cls{};
    cls.lpfnWndProc = MainProc;
    cls.hInstance = inst;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    cls.lpszClassName = L"koWindow";
    RegisterClassW(&cls);
    gMain = CreateWindowExW(0, L"koWindow", L"PictalonV6.0 https://pictalon.example/",
                            WS_OVERLAPPEDWINDOW, 50, 50, 640, 540, nullptr, nullptr, inst, nullptr);
    ShowWindow(gMain, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}
