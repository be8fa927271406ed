// Forms: window events, closing rules, Escape and default buttons, mnemonics, top-level and
// modal creation, the layout hook and background painting.
#include "core_test_support.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "draw/gdi_handles.h"
#include "ui/dispatch.h"
#include "ui/form_window.h"
#include "ui/window_registry.h"

using namespace core_test;

namespace {

class FormTest : public WindowTest {};

// A push button whose parent reflections are counted (stands in for the button control).
WindowObject MakeButton(HWND parent, const char* caption, int id, DWORD extraStyle = 0) {
    WindowObject b = MakeReflectingObject();
    b.Create(parent, caption, 10, 10 + id % 7 * 30, 80, 26, id,
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | extraStyle, 0, u"Button");
    return b;
}

int ClicksOf(HWND button) {
    int n = 0;
    for (const Reflection& r : Reflections()) {
        if (r.message == WM_COMMAND && HIWORD(r.wParam) == BN_CLICKED &&
            LOWORD(r.wParam) == static_cast<WORD>(GetWindowLongPtrW(button, GWLP_ID))) {
            ++n;
        }
    }
    return n;
}

TEST_F(FormTest, CreationRunsOnCreateThenTheFirstLayoutWithTheClientSize) {
    FormWindow form;
    std::string order;
    int width = 0, height = 0;
    form.OnCreate([&](HWND h) {
        order += "create;";
        EXPECT_EQ(form.GetHandle(), h) << "bound before OnCreate runs";
    });
    form.OnSize([&](HWND, int w, int h) {
        order += "size;";
        width = w;
        height = h;
    });
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    EXPECT_EQ(order.rfind("create;size;", 0), 0u) << order;
    EXPECT_EQ(width, 240);
    EXPECT_EQ(height, 160);
}

TEST_F(FormTest, WindowEventsCarryTheirArgumentsFromTheRightHalves) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    std::vector<std::string> seen;
    auto note = [&](const char* name) {
        return [&seen, name](HWND w, INT_PTR a, INT_PTR b, INT_PTR c) {
            seen.push_back(std::string(name) + (w ? "" : "!") + ":" + std::to_string(a) + "," +
                           std::to_string(b) + "," + std::to_string(c));
        };
    };
    form.OnActivate(note("act"));
    form.OnUnActivate(note("unact"));
    form.OnShow(note("show"));
    form.OnHide(note("hide"));
    form.OnFirstActivate(note("first"));
    form.OnSetFocus(note("focus"));
    form.OnKillFocus(note("kill"));
    form.OnInitMenuPopup(note("popup"));
    form.OnMenuSelect(note("select"));
    form.OnLButtonDblClk([&](HWND, int x, int y) {
        seen.push_back("dbl:" + std::to_string(x) + "," + std::to_string(y));
        return 0;
    });

    SendMessageW(h, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0);
    SendMessageW(h, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    SendMessageW(h, WM_SHOWWINDOW, 1, 0);
    SendMessageW(h, WM_SHOWWINDOW, 0, 0);
    SendMessageW(h, WM_ACTIVATEAPP, 1, 0);
    SendMessageW(h, WM_ACTIVATEAPP, 1, 0);  // only the first activation counts
    SendMessageW(h, WM_SETFOCUS, 0, 0);
    SendMessageW(h, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(SendMessageW(h, WM_INITMENUPOPUP, 0x1234, MAKELPARAM(3, 1)), 0);
    EXPECT_EQ(SendMessageW(h, WM_MENUSELECT, MAKEWPARAM(7, MF_POPUP), 0x5678), 0);
    SendMessageW(h, WM_LBUTTONDBLCLK, 0, MAKELPARAM(-1, 2));
    const std::vector<std::string> want = {
        "act:0,0,0",  "unact:0,0,0",    "show:0,0,0",
        "hide:0,0,0", "first:0,0,0",    "focus:0,0,0",
        "kill:0,0,0", "popup:4660,3,1", "select:22136,7," + std::to_string(MF_POPUP),
        "dbl:-1,2"};
    // Default handling of WM_ACTIVATE really activates the window, which adds events of its
    // own; what matters is that each expected one came with its arguments.
    for (const std::string& w : want) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), w), seen.end()) << w;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string("first:0,0,0")), 1);
    EXPECT_EQ(form.GetProperty("FirstActivte"), 1);

    // Looks that the form keeps regardless of the platform's wishes.
    form.SetNCEverActive(true);
    EXPECT_EQ(SendMessageW(h, WM_NCACTIVATE, 0, 0), 1);
    form.SetWaitCursor(true);
    EXPECT_EQ(SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, 0)),
              TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
}

TEST_F(FormTest, OnCloseNonZeroKeepsTheWindowAndZeroLetsItClose) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    INT_PTR keep = 1;
    int destroys = 0;
    form.OnClose([&] { return keep; });
    form.OnDestroy([&] { ++destroys; });
    EXPECT_EQ(SendMessageW(h, WM_CLOSE, 0, 0), 1);
    EXPECT_TRUE(IsWindow(h));
    keep = 0;
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(destroys, 1);
}

TEST_F(FormTest, OnUserCloseDropsOnlyTheSystemClose) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    int asked = 0;
    form.OnUserClose([&] {
        ++asked;
        return 1;
    });
    SendMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(IsWindow(h)) << "the system close is ignored";
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h)) << "a programmatic close still works";
}

TEST_F(FormTest, MenuCommandsOneAndTwoAreDialogCommandsAndOthersAreMenuClicks) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    WindowObject ok = MakeButton(h, "OK", 701);
    WindowObject cancel = MakeButton(h, "Cancel", 702);
    form.SetDefaultButton(ok);
    form.SetCancelButton(cancel);
    std::vector<int> menuIds;
    form.OnMenuItemClick([&](HWND, int id) { menuIds.push_back(id); });

    SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_EQ(ClicksOf(ok.GetHandle()), 1) << "IDOK clicks the default button";
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_EQ(ClicksOf(cancel.GetHandle()), 1);
    EXPECT_TRUE(IsWindow(h)) << "no EscClose: the form stays";
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(10000, 0), 0);
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(40, 1), 0);  // accelerator
    EXPECT_EQ(menuIds, (std::vector<int>{10000, 40}));

    // The form holds its own references to both buttons.
    EXPECT_EQ(ok.Record()->RefCount(), 2);
    DestroyWindow(h);
    EXPECT_EQ(ok.Record()->RefCount(), 1) << "released when the form is destroyed";
    EXPECT_EQ(cancel.Record()->RefCount(), 1);
}

TEST_F(FormTest, EscapeInAControlReachesIdCancelAndClosesAnEscCloseForm) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    WindowObject edit;
    ASSERT_TRUE(
        edit.Create(h, "", 10, 100, 100, 20, 801, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, u"Edit"));
    WindowObject cancel = MakeButton(h, "Cancel", 802);
    form.SetCancelButton(cancel);

    MSG esc{edit.GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    ProcessLoopMessage(esc, true);
    EXPECT_EQ(ClicksOf(cancel.GetHandle()), 1);
    EXPECT_TRUE(IsWindow(h));

    form.SetEscClose(true);
    MSG again{edit.GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    ProcessLoopMessage(again, true);
    EXPECT_FALSE(IsWindow(h)) << "EscClose closes the form";
}

TEST_F(FormTest, AltAndAMnemonicClicksTheButtonWithThatLetter) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    WindowObject edit;
    ASSERT_TRUE(edit.Create(h, "", 10, 120, 100, 20, 901, WS_CHILD | WS_VISIBLE, 0, u"Edit"));
    WindowObject open = MakeButton(h, "&Open", 902);
    WindowObject save = MakeButton(h, "Sa&ve", 903);
    WindowObject literal = MakeButton(h, "R&&D", 904);
    WindowObject hidden = MakeButton(h, "&Xray", 905);
    ShowWindow(hidden.GetHandle(), SW_HIDE);
    WindowObject disabled = MakeButton(h, "&Zoom", 906);
    EnableWindow(disabled.GetHandle(), FALSE);

    EXPECT_EQ(SendMessageW(edit.GetHandle(), WM_SYSCHAR, 'V', 0), 0);
    EXPECT_EQ(ClicksOf(save.GetHandle()), 1) << "case-insensitive";
    EXPECT_EQ(ClicksOf(open.GetHandle()), 0);
    SendMessageW(edit.GetHandle(), WM_SYSCHAR, 'd', 0);
    EXPECT_EQ(ClicksOf(literal.GetHandle()), 0) << "&& is a literal ampersand";
    SendMessageW(edit.GetHandle(), WM_SYSCHAR, 'x', 0);
    EXPECT_EQ(ClicksOf(hidden.GetHandle()), 0) << "a hidden button cannot be pressed";
    SendMessageW(edit.GetHandle(), WM_SYSCHAR, 'z', 0);
    EXPECT_EQ(ClicksOf(disabled.GetHandle()), 0) << "nor a disabled one";
    SendMessageW(h, WM_SYSCHAR, 'o', 0);
    EXPECT_EQ(ClicksOf(open.GetHandle()), 1) << "from the form itself too";
}

TEST_F(FormTest, EscapeInAnOwnedTopLevelWindowGoesToThatWindowNotItsOwner) {
    FormWindow main;
    HWND mainHandle = TrackedQuick(main);
    FormWindow dialog;
    HWND h = TrackedQuick(dialog, mainHandle);
    ASSERT_TRUE(mainHandle && h);
    WindowObject mainCancel = MakeButton(mainHandle, "Cancel", 811);
    main.SetCancelButton(mainCancel);
    WindowObject cancel = MakeButton(h, "Cancel", 812);
    dialog.SetCancelButton(cancel);

    MSG esc{h, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    ProcessLoopMessage(esc, true);
    EXPECT_EQ(ClicksOf(cancel.GetHandle()), 1);
    EXPECT_EQ(ClicksOf(mainCancel.GetHandle()), 0);
}

TEST_F(FormTest, CreateTopLevelWithoutSizeMakesTheDefaultWindow) {
    FormWindow form;
    TopLevelOptions options;
    options.style = WS_CAPTION | WS_SYSMENU;  // not shown: the geometry is what matters
    ASSERT_TRUE(form.CreateTopLevel(options));
    HWND h = Track(form.GetHandle());
    RECT rc{};
    GetWindowRect(h, &rc);
    EXPECT_EQ(rc.left, 50);
    EXPECT_EQ(rc.top, 50);
    EXPECT_EQ(rc.right - rc.left, 380);
    EXPECT_EQ(rc.bottom - rc.top, 250);
    const auto style = GetWindowLongPtrW(h, GWL_STYLE);
    EXPECT_TRUE(style & WS_CLIPCHILDREN);
    EXPECT_TRUE(style & WS_CLIPSIBLINGS);
    wchar_t cls[32] = {};
    GetClassNameW(h, cls, 32);
    EXPECT_EQ(std::wstring(cls), L"koWindow");

    FormWindow plain;
    TopLevelOptions defaults;
    defaults.style = std::nullopt;
    ASSERT_TRUE(plain.CreateTopLevel(defaults));
    Track(plain.GetHandle());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(plain.GetHandle(), GWL_STYLE)) & 0x10C80000u,
              0x10C80000u);
}

TEST_F(FormTest, TheTaskbarFlagGivesAnInvisibleOwnerThatGoesWithTheWindow) {
    FormWindow form;
    TopLevelOptions options = QuickOptions();
    options.taskbarFlag = true;
    ASSERT_TRUE(form.CreateTopLevel(options));
    HWND h = Track(form.GetHandle());
    HWND owner = GetWindow(h, GW_OWNER);
    ASSERT_TRUE(owner);
    wchar_t caption[32] = {};
    GetWindowTextW(owner, caption, 32);
    EXPECT_EQ(std::wstring(caption), L"koShowTaskbar");
    EXPECT_FALSE(IsWindowVisible(owner));
    DestroyWindow(h);
    Pump();
    EXPECT_FALSE(IsWindow(owner)) << "the helper owner must not leak";
}

TEST_F(FormTest, QuitDuringAModalLoopDoesNotEndItAndIsHandedOnAfterwards) {
    FormWindow owner;
    HWND ownerHandle = TrackedQuick(owner);
    ASSERT_TRUE(ownerHandle);
    FormWindow modal;
    bool ownerDisabledWhileOpen = false;
    int timerTicks = 0;
    modal.OnCreate([&](HWND h) {
        PostQuitMessage(7);
        SetTimer(h, 1, 10, nullptr);
    });
    modal.OnTimer([&](HWND h) {
        ++timerTicks;
        ownerDisabledWhileOpen = !IsWindowEnabled(ownerHandle);
        KillTimer(h, 1);
        modal.SetDialogResult(55);
        PostMessageW(h, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(modal.ShowModal(QuickOptions(ownerHandle)), 55);
    EXPECT_EQ(timerTicks, 1) << "the loop went on after WM_QUIT";
    EXPECT_TRUE(ownerDisabledWhileOpen);
    EXPECT_TRUE(IsWindowEnabled(ownerHandle)) << "the owner is enabled again";
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u) << "the quit request reaches the outer loop";
}

TEST_F(FormTest, TheOwnerIsEnabledAgainEvenWhenTheModalWindowIsDestroyedDirectly) {
    FormWindow owner;
    HWND ownerHandle = TrackedQuick(owner);
    ASSERT_TRUE(ownerHandle);
    FormWindow modal;
    modal.OnCreate([](HWND h) { PostMessageW(h, WM_USER + 1, 0, 0); });
    modal.OnWndMsg([](HWND h, UINT message) {
        if (message == WM_USER + 1) DestroyWindow(h);
    });
    modal.ShowModal(QuickOptions(ownerHandle));
    EXPECT_TRUE(IsWindowEnabled(ownerHandle));
}

// A layout object that records what it is told and asks for a minimum client size.
struct LayoutLog {
    std::vector<std::pair<UINT, WPARAM>> calls;
    LPARAM lastHeight = 0;
};
LayoutLog g_layout;

LRESULT LayoutMessage(WindowRecord*, HWND, UINT message, WPARAM wParam, LPARAM lParam,
                      int* handled) {
    g_layout.calls.emplace_back(message, wParam);
    if (message == kLayoutResize) g_layout.lastHeight = lParam;
    if (message == kLayoutMinSize) {
        *handled = 1;
        return MAKELONG(300, 200);
    }
    return 0;
}

TEST_F(FormTest, TheLayoutHookSeesEverySizeAndSetsTheMinimumTrackingSize) {
    g_layout = {};
    FormWindow form;
    TopLevelOptions options = QuickOptions();
    options.style = WS_POPUP | WS_THICKFRAME;
    ASSERT_TRUE(form.CreateTopLevel(options));
    HWND h = Track(form.GetHandle());
    WindowRecord* layout = WindowRecord::Create(&LayoutMessage);
    ASSERT_TRUE(layout);
    layout->AddRef();  // one for the form, one for the test to watch it
    form.SetProperty("koLayout", reinterpret_cast<INT_PTR>(layout));

    SendMessageW(h, WM_SIZE, 0, MAKELPARAM(111, 77));
    ASSERT_GE(g_layout.calls.size(), 2u);
    EXPECT_EQ(g_layout.calls[0], std::make_pair(kLayoutResize, WPARAM{111}));
    EXPECT_EQ(g_layout.lastHeight, 77);
    EXPECT_EQ(g_layout.calls[1].first, kLayoutApply);

    RECT window{}, client{};
    GetWindowRect(h, &window);
    GetClientRect(h, &client);
    MINMAXINFO info{};
    SendMessageW(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 300 + (window.right - window.left) - client.right);
    EXPECT_EQ(info.ptMinTrackSize.y, 200 + (window.bottom - window.top) - client.bottom);

    DestroyWindow(h);
    EXPECT_EQ(layout->RefCount(), 1) << "the form released its layout";
    layout->Release();
}

TEST_F(FormTest, FocusMovesToTheNextTabStopAndWrapsFromTheLast) {
    FormWindow form;
    ASSERT_TRUE(form.CreateTopLevel(QuickOptions()));
    HWND h = Track(form.GetHandle());
    ShowWindow(h, SW_SHOW);
    WindowObject a = MakeButton(h, "a", 1001);
    WindowObject off = MakeButton(h, "off", 1002, WS_DISABLED);
    WindowObject b = MakeButton(h, "b", 1003);
    WindowObject c = MakeButton(h, "c", 1004);
    SetFocus(a.GetHandle());
    EXPECT_EQ(AppHost::FocusNextControl(a.GetHandle()), b.GetHandle()) << "skips the disabled";
    EXPECT_EQ(GetFocus(), b.GetHandle());
    SetFocus(c.GetHandle());
    EXPECT_EQ(AppHost::FocusNextControl(c.GetHandle()), a.GetHandle());
    EXPECT_EQ(GetFocus(), a.GetHandle());
    EXPECT_EQ(AppHost::RootWindow(b.GetHandle()), h);
    EXPECT_EQ(AppHost::RootWindow(nullptr), nullptr);
}

TEST_F(FormTest, EnterGoesToAControlThatWantsItAndOtherwisePressesTheDefaultButton) {
    FormWindow form;
    ASSERT_TRUE(form.CreateTopLevel(QuickOptions()));
    HWND h = Track(form.GetHandle());
    ShowWindow(h, SW_SHOW);
    WindowObject ok = MakeButton(h, "OK", 1101);
    form.SetDefaultButton(ok);
    WindowObject edit;
    ASSERT_TRUE(
        edit.Create(h, "", 10, 120, 100, 20, 1102, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, u"Edit"));
    int enterSeen = 0;
    edit.OnKeyDown([&](HWND, int key) { enterSeen += (key == VK_RETURN); });
    SetFocus(edit.GetHandle());

    edit.SetProperty("koStyle", kStyleWantsEnter);
    MSG wanted{edit.GetHandle(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    ProcessLoopMessage(wanted, true);
    EXPECT_EQ(enterSeen, 1);
    EXPECT_EQ(ClicksOf(ok.GetHandle()), 0);

    edit.SetProperty("koStyle", 0);
    MSG dialog{edit.GetHandle(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    ProcessLoopMessage(dialog, true);
    EXPECT_EQ(enterSeen, 1) << "the dialog manager took the key";
    EXPECT_EQ(ClicksOf(ok.GetHandle()), 1);

    // Tab still moves the focus from a control that only wants Enter.
    edit.SetProperty("koStyle", kStyleWantsEnter);
    SetFocus(edit.GetHandle());  // the click of the default button took the focus
    MSG tab{edit.GetHandle(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    ProcessLoopMessage(tab, true);
    EXPECT_EQ(GetFocus(), ok.GetHandle());
}

TEST(WantsDialogProcessing, FollowsTheKoStyleBits) {
    TheAppHost().Startup();
    HWND plain = MakePlainWindow();
    WindowObject control;
    ASSERT_TRUE(control.Attach(plain));
    struct Case {
        INT_PTR style;
        UINT message;
        WPARAM key;
        bool wants;
    };
    const Case cases[] = {
        {0, WM_KEYDOWN, VK_TAB, true},     {1, WM_KEYDOWN, VK_TAB, false},
        {2, WM_KEYDOWN, VK_TAB, true},     {0, WM_KEYUP, VK_RETURN, true},
        {2, WM_KEYDOWN, VK_RETURN, false}, {1, WM_KEYDOWN, VK_RETURN, false},
        {4, WM_KEYDOWN, VK_RETURN, true},  {0, WM_KEYDOWN, VK_LEFT, true},
        {4, WM_KEYDOWN, VK_DOWN, false},   {1, WM_KEYDOWN, VK_UP, false},
        {2, WM_KEYDOWN, VK_RIGHT, true},   {0, WM_KEYDOWN, 'A', false},
        {0, WM_CHAR, VK_TAB, false},       {7, WM_LBUTTONDOWN, 0, true},
        {0, WM_MOUSEMOVE, 0, true},        {0, WM_SYSKEYDOWN, VK_TAB, false},
    };
    for (const Case& c : cases) {
        control.SetProperty("koStyle", c.style);
        MSG msg{plain, c.message, c.key, 0, 0, {}};
        EXPECT_EQ(WantsDialogProcessing(plain, msg), c.wants)
            << "style " << c.style << " message " << c.message << " key " << c.key;
    }
    DestroyWindow(plain);
}

// Placement 3 of a 300 x 200 picture in a 182 x 182 client: 182 x 121 at top 30.
class BackgroundTest : public WindowTest {
  protected:
    static constexpr COLORREF kBlue = RGB(0, 0, 255);

    static BitmapHandle RedPicture(int w, int h) {
        BITMAPINFO info = Dib32Info(w, h);
        void* bits = nullptr;
        BitmapHandle bmp(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        auto* px = static_cast<uint32_t*>(bits);
        for (int i = 0; i < w * h; ++i) px[i] = 0x00FF0000;  // red in BGRA order
        return bmp;
    }

    // Reads one row of a 32-bit top-down capture as RGB values.
    struct Capture {
        int w = 0, h = 0;
        std::vector<uint32_t> px;
        COLORREF At(int x, int y) const {
            uint32_t v = px[static_cast<size_t>(y) * w + x];
            return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        }
    };

    static Capture Grab(HDC source, int w, int h) {
        Capture c{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
        BITMAPINFO info = Dib32Info(w, h);
        HBITMAP current = static_cast<HBITMAP>(GetCurrentObject(source, OBJ_BITMAP));
        GetDIBits(source, current, 0, h, c.px.data(), &info, DIB_RGB_COLORS);
        return c;
    }

    static void ExpectFitted(const Capture& c) {
        for (int x : {0, 1, 90, 180, 181}) {
            EXPECT_EQ(c.At(x, 29), kBlue) << "above the picture, x " << x;
            EXPECT_EQ(c.At(x, 30), RGB(255, 0, 0)) << "first picture row, x " << x;
            EXPECT_EQ(c.At(x, 150), RGB(255, 0, 0)) << "last picture row, x " << x;
            EXPECT_EQ(c.At(x, 151), kBlue) << "below the picture, x " << x;
        }
        EXPECT_EQ(c.At(0, 0), kBlue);
        EXPECT_EQ(c.At(181, 181), kBlue);
    }
};

TEST_F(BackgroundTest, PlacementThreeFitsAndCentresThePicture) {
    const RECT fit = FitRect(182, 182, 300, 200);
    EXPECT_EQ(fit.left, 0);
    EXPECT_EQ(fit.top, 30);
    EXPECT_EQ(fit.right - fit.left, 182);
    EXPECT_EQ(fit.bottom - fit.top, 121);
    const RECT tall = FitRect(182, 182, 100, 200);
    EXPECT_EQ(tall.right - tall.left, 91);
    EXPECT_EQ(tall.left, 45);
    const RECT same = FitRect(100, 50, 200, 100);
    EXPECT_EQ(same.right, 100);
    EXPECT_EQ(same.bottom, 50);

    FormWindow form;
    TopLevelOptions options = QuickOptions();
    options.size = SIZE{182, 182};
    ASSERT_TRUE(form.CreateTopLevel(options));
    HWND h = Track(form.GetHandle());
    // The form keeps its own copy of the picture.
    ASSERT_TRUE(form.SetBackBitmap(RedPicture(300, 200).Get()));
    form.SetBackColor(kBlue);
    form.SetShowImageType(3);

    // The erase message painting into a memory DC of the client's size.
    WindowDc screen(nullptr);
    MemoryDc memory(CreateCompatibleDC(screen.Get()));
    BitmapHandle target(CreateCompatibleBitmap(screen.Get(), 182, 182));
    {
        ScopedSelect select(memory.Get(), target.Get());
        EXPECT_EQ(SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory.Get()), 0), 1);
    }
    {
        MemoryDc reader(CreateCompatibleDC(screen.Get()));
        ScopedSelect select(reader.Get(), target.Get());
        ExpectFitted(Grab(reader.Get(), 182, 182));
    }

    // The same through the platform's own printing of the window.
    ShowWindow(h, SW_SHOWNOACTIVATE);
    BitmapHandle printed(CreateCompatibleBitmap(screen.Get(), 182, 182));
    ScopedSelect select(memory.Get(), printed.Get());
    ASSERT_TRUE(PrintWindow(h, memory.Get(), PW_CLIENTONLY));
    ExpectFitted(Grab(memory.Get(), 182, 182));
}

TEST_F(BackgroundTest, NothingIsPaintedWithoutPictureOrColourAndTheOtherPlacementsHoldTheirArea) {
    FormWindow form;
    TopLevelOptions options = QuickOptions();
    options.size = SIZE{100, 100};
    ASSERT_TRUE(form.CreateTopLevel(options));
    HWND h = Track(form.GetHandle());
    WindowDc screen(nullptr);
    MemoryDc owned(CreateCompatibleDC(screen.Get()));
    const HDC memory = owned.Get();
    BitmapHandle target(CreateCompatibleBitmap(screen.Get(), 100, 100));
    ScopedSelect select(memory, target.Get());
    EXPECT_EQ(form.GetProperty("pBackImage"), 0);
    // Without either property the default erase runs (not claimed by the form).
    RECT all{0, 0, 100, 100};
    FillRect(memory, &all, BrushHandle(CreateSolidBrush(RGB(0, 255, 0))).Get());
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_NE(GetPixel(memory, 50, 50), RGB(0, 255, 0)) << "class background erased";

    ASSERT_TRUE(form.SetBackBitmap(RedPicture(30, 20).Get()));
    form.SetBackColor(kBlue);
    form.SetShowImageType(1);  // once at the top-left, own size
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(GetPixel(memory, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(memory, 29, 19), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(memory, 30, 19), kBlue);
    EXPECT_EQ(GetPixel(memory, 29, 20), kBlue);

    form.SetShowImageType(2);  // stretched over everything
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(GetPixel(memory, 99, 99), RGB(255, 0, 0));

    form.SetShowImageType(0);  // tiled
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(GetPixel(memory, 95, 95), RGB(255, 0, 0));

    form.SetBackColor(0);  // 0 means the button face
    form.ClearBackImage();
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(GetPixel(memory, 50, 50), GetSysColor(COLOR_BTNFACE));
}

}  // namespace
