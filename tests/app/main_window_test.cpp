// The real main window, driven through the operations the flows use and read back with plain
// Win32 calls, as the user sees the controls.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <functional>
#include <string>
#include <utility>
#include <thread>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/texts.h"
#include "common/gif_bytes.h"
#include "common/recording_taskbar.h"
#include "common/standin.h"
#include "text/text_helpers.h"
#include "ui/dpi.h"

namespace {

Text TextOf(HWND hwnd) {
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return WideToAnsi(reinterpret_cast<const char16_t*>(buffer));
}

struct Controls {
    HWND tabs = nullptr, status = nullptr, list = nullptr, analyze = nullptr, browse = nullptr,
         homeEdit = nullptr, folderEdit = nullptr, aboutLabel = nullptr, code = nullptr,
         tip = nullptr, homeLabel = nullptr, folderLabel = nullptr;
};

Controls FindControls(HWND top) {
    Controls c;
    EnumChildWindows(
        top,
        [](HWND h, LPARAM to) {
            Controls& c = *reinterpret_cast<Controls*>(to);
            wchar_t name[64] = {};
            GetClassNameW(h, name, 64);
            const std::wstring kind = name;
            const Text text = TextOf(h);
            if (kind == WC_TABCONTROLW) c.tabs = h;
            if (kind == STATUSCLASSNAMEW) c.status = h;
            if (kind == WC_LISTVIEWW) c.list = h;
            if (kind == L"Button") (text == kAnalyze ? c.analyze : c.browse) = h;
            if (kind == L"Edit") (text.rfind("http", 0) == 0 ? c.homeEdit : c.folderEdit) = h;
            if (kind == L"Static" && text.rfind("What's new", 0) == 0) c.aboutLabel = h;
            if (kind == L"Static" && text == kHomeLabel) c.homeLabel = h;
            if (kind == L"Static" && text == kFolderLabel) c.folderLabel = h;
            // The pictures: the login code and the about page's tip.
            if (kind == L"Static" && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW)
                (c.code ? c.tip : c.code) = h;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&c));
    if (GetParent(c.code) == GetParent(c.aboutLabel)) std::swap(c.code, c.tip);
    return c;
}

// x, y, width and height in the parent's client area.
std::string PlaceOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

std::string Box(int x, int y, int width, int height) {
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
           std::to_string(height);
}

SIZE ClientOf(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return SIZE{r.right, r.bottom};
}

// The album items as "text@image", then the number of covers in the list's image list.
Text AlbumsOf(HWND list) {
    Text out;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        out += JoinTexts(WideToAnsi(reinterpret_cast<const char16_t*>(text)), "@",
                         std::to_string(item.iImage), "; ");
    }
    const auto images =
        reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
    return JoinTexts(out, std::to_string(ImageList_GetImageCount(images)), " covers");
}

// Lays the window out at a client size and tells where the controls went, as the layout for
// that size and dpi places them ("=" when they are all where they belong).
std::string LayoutAt(HWND top, const Controls& c, UINT dpi) {
    const auto s = [dpi](int value) { return ScaleForDpi(value, dpi); };
    const SIZE all = ClientOf(top);
    std::string wrong;
    const auto expect = [&](const char* name, HWND hwnd, const std::string& box) {
        if (PlaceOf(hwnd) != box) wrong += JoinTexts(name, " at ", PlaceOf(hwnd), " ");
    };
    expect("tabs", c.tabs, Box(s(10), s(10), all.cx - s(20), all.cy - s(40)));
    const SIZE page = ClientOf(GetParent(c.homeEdit));
    expect("home label", c.homeLabel, Box(s(20), s(20), s(70), s(25)));
    expect("folder label", c.folderLabel, Box(s(20), s(50), s(70), s(25)));
    expect("analyse", c.analyze, Box(page.cx - s(90), s(20), s(70), s(25)));
    expect("browse", c.browse, Box(page.cx - s(90), s(50), s(70), s(25)));
    expect("home", c.homeEdit, Box(s(100), s(20), page.cx - s(200), s(25)));
    expect("folder", c.folderEdit, Box(s(100), s(50), page.cx - s(200), s(25)));
    expect("albums", c.list, Box(s(20), s(80), page.cx - s(40), page.cy - s(100)));
    const SIZE about = ClientOf(GetParent(c.aboutLabel));
    expect("about", c.aboutLabel, Box(s(20), s(20), about.cx - s(240), about.cy));
    expect("tip", c.tip, Box(about.cx - s(220), s(20), s(201), s(272)));
    RECT tabs{};
    GetWindowRect(c.tabs, &tabs);
    const int code = s(182);
    expect("code", c.code,
           Box((tabs.right - tabs.left) / 2 - code / 2, (tabs.bottom - tabs.top) / 2 - code / 2,
               code, code));
    RECT bar{};
    GetWindowRect(c.status, &bar);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&bar), 2);
    if (bar.bottom != all.cy || bar.right != all.cx) wrong += "status line off the bottom";
    return wrong.empty() ? "=" : wrong;
}

// Where the radio mark of the size menu sits, "x" among "-".
Text Marks(HMENU sizes) {
    Text out;
    for (int i = 0; i < GetMenuItemCount(sizes); ++i)
        out += (GetMenuState(sizes, i, MF_BYPOSITION) & MF_CHECKED) ? "x" : "-";
    return out;
}

// The shell's taskbar object in this process, on the window's thread.
class TaskbarRecord final : public RecordingTaskbar {
  public:
    std::string told;

  protected:
    void Told(HWND, const std::string& line) override { told += line + "; "; }
};

LRESULT CALLBACK RefuseEveryWindow(int code, WPARAM w, LPARAM l) {
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, w, l);
}

TEST(MainWindowTest, TheFlowsOperationsReachTheControlsAndTheWindowEndsTheProgram) {
    ASSERT_TRUE(standin::Reset());
    {
        // A window the system will not make ends the program at once, as a failure.
        MainWindow refused;
        int code = -1;
        std::thread([&] {
            const HHOOK hook =
                SetWindowsHookExW(WH_CBT, RefuseEveryWindow, nullptr, GetCurrentThreadId());
            code = refused.Run(GetModuleHandleW(nullptr));
            UnhookWindowsHookEx(hook);
        }).join();
        EXPECT_EQ(code, 1);
        refused.State().Shutdown();
        EXPECT_TRUE(refused.State().WaitForThreads(60000));
    }

    // A first start: no settings another test kept (in the tests' own %LOCALAPPDATA% only).
    if (GetEnvironmentVariableW(L"PICTALON_LOCALAPPDATA", nullptr, 0) > 0)
        DeleteFileW(WinStr(UserDataFolder() + u"\\settings.txt"));
    MainWindow window;
    AppView& view = window.View();
    int exitCode = -1;
    TaskbarRecord shell;
    std::thread program([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        DWORD registration = 0;
        CoRegisterClassObject(CLSID_TaskbarList, static_cast<IClassFactory*>(&shell),
                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &registration);
        exitCode = window.Run(GetModuleHandleW(nullptr));
        CoRevokeClassObject(registration);
        CoUninitialize();
    });
    HWND top = nullptr;
    // Shown only once every control is made; the bound only keeps a broken start from hanging.
    for (int i = 0; i < 3000 && !(top && IsWindowVisible(top)); ++i) {
        Sleep(10);
        top = FindWindowW(nullptr, WinStr(AnsiToWide(kWindowTitle)));
    }
    ASSERT_TRUE(top && IsWindowVisible(top));
    const Controls c = FindControls(top);
    ASSERT_TRUE(c.tabs && c.status && c.list && c.analyze && c.browse && c.homeEdit &&
                c.folderEdit && c.aboutLabel && c.code && c.tip && c.homeLabel && c.folderLabel);
    const ByteBuffer cover = gifbytes::AnimatedGif(8, 8, {0x00FF00}, {0}, 0);

    // The album menu, opened by a right click on the list; "download all" waits for albums.
    NMHDR click{c.list, static_cast<UINT_PTR>(GetDlgCtrlID(c.list)), NM_RCLICK};
    PostMessageW(GetParent(c.list), WM_NOTIFY, click.idFrom, reinterpret_cast<LPARAM>(&click));
    HWND popup = nullptr;
    for (int i = 0; i < 3000 && !popup; ++i) {
        Sleep(10);
        popup = FindWindowW(L"#32768", nullptr);
    }
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    view.RunOnWindowThread([] { EndMenu(); });
    EXPECT_EQ(GetMenuItemCount(menu), 10);
    EXPECT_EQ(GetMenuState(menu, kCmdDownloadAll, MF_BYCOMMAND) & MF_GRAYED, UINT{MF_GRAYED});

    // Each operation and what it leaves on screen, read on the window thread, where the
    // sign-in flow running meanwhile cannot come between.
    const auto buttons = [&](bool on) {
        view.EnableButtons(on);
        return JoinTexts(IsWindowEnabled(c.analyze) ? "on" : "off", " ",
                         IsWindowEnabled(c.browse) ? "on" : "off");
    };
    const auto page = [&](AppView::Page shown) {
        view.ShowPage(shown);
        return JoinTexts(std::to_string(SendMessageW(c.tabs, TCM_GETCURSEL, 0, 0)),
                         view.LoginPageShown() ? " login" : " other");
    };
    const struct {
        const char* name;
        std::function<Text()> act;
        Text shown;
    } steps[] = {
        {"at start",
         [&] {
             RECT r{};
             GetWindowRect(top, &r);
             const LRESULT font = SendMessageW(c.homeEdit, WM_GETFONT, 0, 0);
             return JoinTexts(TextOf(c.homeEdit), " ", TextOf(c.folderEdit), " ",
                              Box(0, 0, r.right - r.left, r.bottom - r.top), " tabs ",
                              std::to_string(SendMessageW(c.tabs, TCM_GETITEMCOUNT, 0, 0)),
                              font && font == SendMessageW(c.status, WM_GETFONT, 0, 0)
                                  ? " one font"
                                  : " fonts differ");
         },
         JoinTexts("http://weibo.com/u/1000001?from=myfollow_all ", ProgramFolder(), " ",
                   Box(0, 0, ScaleForDpi(640, SystemDpi()), ScaleForDpi(540, SystemDpi())),
                   " tabs 3 one font")},
        {"size mark",
         [&] {
             const Text first = Marks(GetSubMenu(menu, 3));
             SendMessageW(top, WM_COMMAND, MAKEWPARAM(kCmdSizeFirst + 3, 0), 0);
             return JoinTexts(first, " then ", Marks(GetSubMenu(menu, 3)));
         },
         "-x-- then ---x"},
        // Once the shell says the button exists.
        {"taskbar",
         [&] {
             SendMessageW(top, TaskbarProgress::ButtonCreatedMessage(), 0, 0);
             view.ShowTaskbarProgress(AppView::Progress::kPaused, 3, 10);
             view.ShowTaskbarProgress(AppView::Progress::kError, 0, 0);
             return Text(shell.told);
         },
         "init; value 3/10; state 8; state 4; "},
        {"status line",
         [&] {
             view.SetStatus(kStatusCatalogueDone);
             wchar_t text[256] = {};
             SendMessageW(c.status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
             return WideToAnsi(reinterpret_cast<const char16_t*>(text));
         },
         kStatusCatalogueDone},
        {"buttons off", [&] { return buttons(false); }, "off off"},
        {"buttons on", [&] { return buttons(true); }, "on on"},
        {"operate page", [&] { return page(AppView::Page::kOperate); }, "1 other"},
        {"login page", [&] { return page(AppView::Page::kLogin); }, "0 login"},
        {"save folder",
         [&] {
             view.ShowSaveFolder("D:\\\xCF\xE0\xB2\xE1\\");
             return TextOf(c.folderEdit);
         },
         "D:\\\xCF\xE0\xB2\xE1\\"},
        {"login picture",
         [&] {
             view.ShowPage(AppView::Page::kLogin);
             view.ShowLoginPicture(gifbytes::AnimatedGif(8, 8, {0x0000FF}, {0}, 0));
             UpdateWindow(c.code);
             RECT r{};
             GetClientRect(c.code, &r);
             const HDC dc = GetDC(c.code);
             const COLORREF centre = GetPixel(dc, r.right / 2, r.bottom / 2);
             ReleaseDC(c.code, dc);
             return Text(centre == RGB(0, 0, 255) ? "blue" : "not blue");
         },
         "blue"},
        {"home address",
         [&] {
             SetWindowTextW(c.homeEdit, L"http://weibo.com/u/5005");
             return view.HomeAddress();
         },
         "http://weibo.com/u/5005"},
        // A cover that cannot be drawn still takes its place, so later albums keep theirs.
        {"albums",
         [&] {
             view.ClearAlbumItems();
             view.ClearCoverImages();
             view.AddCoverImage(cover);
             view.AddCoverImage("not a picture");
             view.AddCoverImage(cover);
             view.AppendAlbumItem("[a] 1", 2);
             view.AppendAlbumItem("[b] 2", 0);
             return JoinTexts(AlbumsOf(c.list),
                              view.SelectedAlbumItem() ? " selected" : " none selected");
         },
         "[a] 1@2; [b] 2@0; 3 covers none selected"},
        {"selection",
         [&] {
             ListView_SetItemState(c.list, 1, LVIS_SELECTED, LVIS_SELECTED);
             return std::to_string(view.SelectedAlbumItem().value_or(-1));
         },
         "1"},
        {"layout",
         [&] {
             SetWindowPos(top, nullptr, 0, 0, 700, 600, SWP_NOMOVE | SWP_NOZORDER);
             return LayoutAt(top, c, WindowDpi(top));
         },
         "="},
        // A monitor of 150 %: the window takes the size offered, covers are drawn again larger
        // in their order, every control gets a larger font that stays alive.
        {"dpi",
         [&] {
             RECT offered{40, 30, 1000, 840};
             SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(144, 144),
                          reinterpret_cast<LPARAM>(&offered));
             RECT now{};
             GetWindowRect(top, &now);
             const auto images = reinterpret_cast<HIMAGELIST>(
                 SendMessageW(c.list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
             int width = 0, height = 0;
             ImageList_GetIconSize(images, &width, &height);
             const DWORD spacing =
                 static_cast<DWORD>(SendMessageW(c.list, LVM_GETITEMSPACING, 0, 0));
             LOGFONTW font{};
             const auto handle =
                 reinterpret_cast<HFONT>(SendMessageW(c.homeEdit, WM_GETFONT, 0, 0));
             const bool sameFont = handle && handle == reinterpret_cast<HFONT>(
                                                           SendMessageW(c.tabs, WM_GETFONT, 0, 0));
             return JoinTexts(
                 Box(now.left, now.top, now.right - now.left, now.bottom - now.top), " covers ",
                 std::to_string(width), "x", std::to_string(height), " spaced ",
                 std::to_string(LOWORD(spacing)), "x", std::to_string(HIWORD(spacing)), " font ",
                 GetObjectW(handle, sizeof font, &font) && sameFont ? std::to_string(font.lfHeight)
                                                                    : "gone",
                 " ", AlbumsOf(c.list), " ", LayoutAt(top, c, 144));
         },
         JoinTexts(Box(40, 30, 960, 810), " covers 210x210 spaced 274x274 font ",
                   std::to_string(-16), " [a] 1@2; [b] 2@0; 3 covers =")},
        {"cleared",
         [&] {
             view.ClearAlbumItems();
             view.ClearCoverImages();
             return AlbumsOf(c.list);
         },
         "0 covers"},
        // An address of no owner: the analysis it starts finds nothing to list.
        {"analyse button",
         [&] {
             SetWindowTextW(c.homeEdit, L"http://weibo.com/u/999999999");
             SendMessageW(c.analyze, BM_CLICK, 0, 0);
             wchar_t text[256] = {};
             SendMessageW(c.status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
             return WideToAnsi(reinterpret_cast<const char16_t*>(text));
         },
         kStatusAnalysing},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        Text shown = "(not run)";
        view.RunOnWindowThread([&] { shown = step.act(); });
        EXPECT_EQ(shown, step.shown);
    }

    // Posted work runs on the window's thread.
    DWORD ranOn = 0;
    view.PostToWindowThread([&] { ranOn = GetCurrentThreadId(); });
    for (int i = 0; i < 3000 && !ranOn; ++i) Sleep(10);
    EXPECT_EQ(ranOn, GetWindowThreadProcessId(top, nullptr));

    // A box from any thread, with no owner, until the user closes it.
    std::thread boxer([&] { view.ShowMessageBox(kOutOfRange, kInfoTitle, MB_ICONINFORMATION); });
    HWND box = nullptr;
    for (int i = 0; i < 3000 && !box; ++i) {
        Sleep(10);
        box = FindWindowW(L"#32770", WinStr(AnsiToWide(kInfoTitle)));
    }
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), kOutOfRange);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    boxer.join();

    // The browse button opens the folder chooser.
    PostMessageW(c.browse, BM_CLICK, 0, 0);
    HWND chooser = nullptr;
    for (int i = 0; i < 3000 && !chooser; ++i) {
        Sleep(10);
        chooser = FindWindowW(L"#32770", nullptr);
    }
    EXPECT_TRUE(chooser);
    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);

    PostMessageW(top, WM_CLOSE, 0, 0);
    program.join();
    EXPECT_EQ(exitCode, 0);
    // The sign-in began with the window: its code was asked for.
    EXPECT_NE(standin::ReadLog("?path=/sso/qrcode/image").find("/sso/qrcode/image"),
              std::string::npos);
    EXPECT_TRUE(window.State().WaitForThreads(60000));
}

}  // namespace
