// Window objects and the generic dispatcher: binding, claiming, coordinates, sharing, hover,
// reflection, life and death of the binding.
#include "core_test_support.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "ui/dispatch.h"
#include "ui/form_window.h"
#include "ui/window_registry.h"

using namespace core_test;

namespace {

class WindowObjectTest : public WindowTest {};

TEST_F(WindowObjectTest, HandlersBoundAfterCreationReceiveEvents) {
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    int calls = 0;
    form.OnLButtonDown([&](HWND h, int x, int y) {
        EXPECT_EQ(h, form.GetHandle());
        EXPECT_EQ(x, 12);
        EXPECT_EQ(y, 34);
        ++calls;
        return 0;
    });
    SendMessageW(form.GetHandle(), WM_LBUTTONDOWN, 0, MAKELPARAM(12, 34));
    EXPECT_EQ(calls, 1);
    form.Unbind("OnLButtonDown");
    SendMessageW(form.GetHandle(), WM_LBUTTONDOWN, 0, MAKELPARAM(12, 34));
    EXPECT_EQ(calls, 1) << "an unbound event calls nothing";
}

TEST_F(WindowObjectTest, OnWndMsgThatClaimsStopsAllFurtherProcessing) {
    HWND plain = Track(MakePlainWindow());
    WindowObject obj;
    ASSERT_TRUE(obj.Attach(plain));
    int paints = 0, clicks = 0;
    obj.OnPaint([&] { ++paints; });
    obj.OnLButtonDown([&] {
        ++clicks;
        return 1;
    });
    obj.OnWndMsg([](HWND, UINT message, WPARAM, LPARAM, int* handled) -> INT_PTR {
        if (message == WM_PAINT || message == WM_LBUTTONDOWN || message == WM_USER + 77) {
            *handled = 1;
            return 99;
        }
        return 0;
    });
    Log().messages.clear();
    EXPECT_EQ(SendMessageW(plain, WM_USER + 77, 0, 0), 99);
    EXPECT_EQ(SendMessageW(plain, WM_PAINT, 0, 0), 99);
    EXPECT_EQ(SendMessageW(plain, WM_LBUTTONDOWN, 0, 0), 99);
    EXPECT_EQ(paints, 0);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(Log().Saw(WM_USER + 77)) << "the previous procedure must not see it";
    EXPECT_FALSE(Log().Saw(WM_PAINT));

    // Not claimed: the message goes on to the original procedure with its own answer.
    EXPECT_EQ(SendMessageW(plain, WM_USER + 78, 0, 0), 0);
    EXPECT_TRUE(Log().Saw(WM_USER + 78));
}

TEST_F(WindowObjectTest, OnWndMsgComesBeforeTheFormsOwnEventsButCannotStopTheCleanUp) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    int closes = 0;
    form.OnClose([&] {
        ++closes;
        return 0;
    });
    form.OnWndMsg([](HWND, UINT message, WPARAM, LPARAM, int* handled) {
        if (message == WM_CLOSE || message == WM_NCDESTROY) *handled = 1;
        return 0;
    });
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(IsWindow(h));
    DestroyWindow(h);
    EXPECT_EQ(WindowRegistry::Find(h), nullptr) << "claiming WM_NCDESTROY still unbinds";
    EXPECT_EQ(form.GetHandle(), nullptr);
}

TEST_F(WindowObjectTest, NonZeroHandlerSuppressesTheControlsOwnClickAndZeroLetsItRun) {
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    WindowObject button;
    ASSERT_TRUE(button.Create(form.GetHandle(), "Push", 10, 10, 80, 30, 501,
                              WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, u"Button"));
    HWND b = button.GetHandle();
    INT_PTR answer = 1;
    button.OnLButtonDown([&] { return answer; });

    SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_FALSE(SendMessageW(b, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_NE(GetCapture(), b);

    answer = 0;
    SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(SendMessageW(b, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ReleaseCapture();
}

TEST_F(WindowObjectTest, MouseAndMoveCoordinatesAreSignExtended) {
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    int gotX = 0, gotY = 0, moveX = 0, moveY = 0, wheel = 0;
    form.OnRButtonUp([&](HWND, int x, int y, int) {
        gotX = x;
        gotY = y;
    });
    form.OnMove([&](HWND, int x, int y) {
        moveX = x;
        moveY = y;
    });
    form.OnMouseWheel([&](HWND, int delta) { wheel = delta; });
    SendMessageW(form.GetHandle(), WM_RBUTTONUP, 0, MAKELPARAM(-3, -700));
    EXPECT_EQ(gotX, -3);
    EXPECT_EQ(gotY, -700);
    SendMessageW(form.GetHandle(), WM_MOVE, 0, MAKELPARAM(-20, 5));
    EXPECT_EQ(moveX, -20);
    EXPECT_EQ(moveY, 5);
    SendMessageW(form.GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
    EXPECT_EQ(wheel, -120);
}

TEST_F(WindowObjectTest, TwoObjectsOnOneWindowShareOneRecordAndBag) {
    HWND plain = Track(MakePlainWindow());
    WindowObject first;
    ASSERT_TRUE(first.Attach(plain));
    WindowObject second;
    ASSERT_TRUE(second.Attach(plain));
    EXPECT_EQ(first.Record(), second.Record());
    EXPECT_EQ(first.Record()->RefCount(), 2);

    second.SetProperty("Shared", 42);
    EXPECT_EQ(first.GetProperty("Shared"), 42);
    int fromSecond = 0;
    second.OnChar([&](HWND, int ch) {
        fromSecond = ch;
        return 1;
    });
    SendMessageW(plain, WM_CHAR, 'q', 0);
    EXPECT_EQ(fromSecond, 'q');
    EXPECT_TRUE(first.IsBound("OnChar"));

    WindowObject fromHandle = WindowObject::FromHandle(plain);
    EXPECT_EQ(fromHandle.Record(), first.Record());
    EXPECT_FALSE(WindowObject::FromHandle(GetDesktopWindow()).Record());
}

TEST_F(WindowObjectTest, HandlersMayDeclareFewerParametersThanTheEventPasses) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    int none = 0, one = 0;
    INT_PTR sixth = -1;
    form.OnKeyDown([&] {
        ++none;
        return 0;
    });
    form.OnKeyUp([&](HWND w) {
        one += (w == h);
        return 0;
    });
    // More parameters than the event has: the extra slots arrive as zero.
    form.Bind("OnTimer", [&](HWND, UINT_PTR, int, int, int, INT_PTR extra) { sixth = extra; });
    SendMessageW(h, WM_KEYDOWN, 'A', 0);
    SendMessageW(h, WM_SYSKEYDOWN, 'B', 0);
    SendMessageW(h, WM_KEYUP, 'A', 0);
    SendMessageW(h, WM_TIMER, 5, 0);
    EXPECT_EQ(none, 2) << "WM_SYSKEYDOWN raises OnKeyDown too";
    EXPECT_EQ(one, 1);
    EXPECT_EQ(sixth, 0);
}

TEST_F(WindowObjectTest, MouseLeaveAloneTurnsOnHoverTrackingForEachEntry) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    int leaves = 0;
    form.OnMouseLeave([&] { ++leaves; });
    EXPECT_TRUE(form.HasProperty("EnlableHover"));

    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(form.GetProperty("isMoveIn"), 1);
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(6, 5));
    SendMessageW(h, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(form.GetProperty("isMoveIn"), 0);

    int entries = 0;
    form.OnMouseIn([&](HWND, int x) { entries += (x == 7); });
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(7, 5));
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(8, 5));
    EXPECT_EQ(entries, 1) << "one OnMouseIn per entry";
    EXPECT_EQ(form.GetProperty("isMoveIn"), 1);
}

TEST_F(WindowObjectTest, ParentNotificationsReachTheChildRecord) {
    FormWindow form;
    HWND parent = TrackedQuick(form);
    ASSERT_TRUE(parent);
    WindowObject child = MakeReflectingObject();
    ASSERT_TRUE(child.Create(parent, "&Go", 5, 5, 60, 24, 601,
                             WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, u"Button"));
    HWND c = child.GetHandle();

    EXPECT_EQ(
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(601, BN_CLICKED), reinterpret_cast<LPARAM>(c)),
        4321);
    NMHDR header{c, 601, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(SendMessageW(parent, WM_NOTIFY, 601, reinterpret_cast<LPARAM>(&header)), 4321);
    EXPECT_EQ(SendMessageW(parent, WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM>(c)), 4321);
    MEASUREITEMSTRUCT measure{};
    measure.CtlID = 601;
    SendMessageW(parent, WM_MEASUREITEM, 601, reinterpret_cast<LPARAM>(&measure));
    ASSERT_EQ(Reflections().size(), 4u);
    EXPECT_EQ(Reflections()[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(Reflections()[0].parent, parent);
    EXPECT_EQ(Reflections()[1].message, static_cast<UINT>(WM_NOTIFY));
    EXPECT_EQ(Reflections()[3].message, static_cast<UINT>(WM_MEASUREITEM));

    // A child the toolkit does not know: nothing is reflected and nothing breaks.
    HWND stranger = MakePlainWindow(parent);
    NMHDR unknown{stranger, 1, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(SendMessageW(parent, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&unknown)), 0);
    EXPECT_EQ(Reflections().size(), 4u);
}

TEST_F(WindowObjectTest, DroppedFilesArriveAsCodePage936Texts) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    std::vector<Text> got;
    form.OnDropFiles([&](HWND, const std::vector<Text>* files) { got = *files; });

    const wchar_t names[] = L"C:\\a.txt\0C:\\\x4E2D.jpg\0";  // second name: U+4E2D
    const size_t bytes = sizeof(DROPFILES) + sizeof(names);
    HGLOBAL mem = GlobalAlloc(GHND, bytes);
    ASSERT_TRUE(mem);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names, sizeof(names));
    GlobalUnlock(mem);

    EXPECT_EQ(SendMessageW(h, WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0), 0);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "C:\\a.txt");
    EXPECT_EQ(got[1], "C:\\\xD6\xD0.jpg");
}

TEST_F(WindowObjectTest, DestroyingTheWindowUnbindsButKeepsTheObjectUsable) {
    HWND plain = MakePlainWindow();
    WindowObject obj;
    ASSERT_TRUE(obj.Attach(plain));
    obj.SetProperty("Kept", 3);
    const int before = WindowRegistry::Count();
    Log().messages.clear();
    DestroyWindow(plain);
    EXPECT_TRUE(Log().Saw(WM_NCDESTROY)) << "the original procedure still sees the last message";
    EXPECT_EQ(obj.GetHandle(), nullptr);
    EXPECT_EQ(WindowRegistry::Find(plain), nullptr);
    EXPECT_EQ(WindowRegistry::Count(), before - 1);
    EXPECT_EQ(obj.GetProperty("Kept"), 3);
    EXPECT_FALSE(obj.SetText("x"));
    EXPECT_FALSE(obj.Disabled(true));
    EXPECT_EQ(obj.GetSize().width, 0);
}

TEST_F(WindowObjectTest, DroppingTheLastObjectGivesTheWindowItsProcedureBack) {
    HWND plain = Track(MakePlainWindow());
    const LONG_PTR original = GetWindowLongPtrW(plain, GWLP_WNDPROC);
    {
        WindowObject obj;
        ASSERT_TRUE(obj.Attach(plain));
        EXPECT_NE(GetWindowLongPtrW(plain, GWLP_WNDPROC), original);
        EXPECT_EQ(WindowRegistry::Find(plain), obj.Record());
    }
    EXPECT_EQ(GetWindowLongPtrW(plain, GWLP_WNDPROC), original);
    EXPECT_EQ(WindowRegistry::Find(plain), nullptr);
    EXPECT_EQ(SendMessageW(plain, WM_USER + 77, 0, 0), 7700);

    WindowObject again;
    ASSERT_TRUE(again.Attach(plain));
    EXPECT_TRUE(again.Detach());
    EXPECT_EQ(GetWindowLongPtrW(plain, GWLP_WNDPROC), original);
    EXPECT_FALSE(again.Detach());
}

TEST_F(WindowObjectTest, CreateRefusesABoundObjectAndAttachRefusesNonWindows) {
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    EXPECT_FALSE(form.CreateTopLevel());
    EXPECT_FALSE(form.Create(nullptr, "x", 0, 0, 10, 10, 0, WS_POPUP, 0, u"koWindow"));
    WindowObject obj;
    EXPECT_FALSE(obj.Attach(nullptr));
    EXPECT_FALSE(obj.Attach(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF1234))));
    WindowObject empty(nullptr, WindowObject::Share::Adopt);
    empty.SetProperty("a", 1);
    EXPECT_EQ(empty.GetProperty("a"), 0);
    EXPECT_FALSE(empty.Attach(form.GetHandle()));
}

TEST_F(WindowObjectTest, TextCrossesAsCodePage936AndStylesAndBordersApply) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    ASSERT_TRUE(form.SetText("\xD7\xB4\xCC\xAC"));  // "状态"
    wchar_t buffer[16] = {};
    GetWindowTextW(h, buffer, 16);
    EXPECT_EQ(std::wstring(buffer), L"\x72B6\x6001");
    EXPECT_EQ(form.GetText(), "\xD7\xB4\xCC\xAC");

    ASSERT_TRUE(form.AddStyle(WS_THICKFRAME));
    EXPECT_TRUE(GetWindowLongPtrW(h, GWL_STYLE) & WS_THICKFRAME);
    ASSERT_TRUE(form.SetBorder(3));
    EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_STATICEDGE);
    ASSERT_TRUE(form.SetBorder(5));
    EXPECT_FALSE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_STATICEDGE);
    EXPECT_TRUE(GetWindowLongPtrW(h, GWL_STYLE) & WS_BORDER);
    EXPECT_EQ(form.GetProperty("Border"), 5);
    EXPECT_FALSE(form.SetBorder(9));

    ASSERT_TRUE(form.Disabled(true));
    EXPECT_TRUE(form.Disabled());
    form.Disabled(false);
    EXPECT_FALSE(form.Disabled());
}

TEST_F(WindowObjectTest, AHandlerMayDropItsOwnWindowObjectWhileRunning) {
    auto* form = new FormWindow;
    ASSERT_TRUE(CreateQuick(*form));
    HWND h = Track(form->GetHandle());
    bool ran = false;
    form->OnChar([&, form](HWND) mutable {
        delete form;  // the last object goes while its handler runs
        ran = true;
        return 1;
    });
    EXPECT_EQ(SendMessageW(h, WM_CHAR, 'x', 0), 1);
    EXPECT_TRUE(ran);
    EXPECT_EQ(WindowRegistry::Find(h), nullptr);
    DestroyWindow(h);
}

}  // namespace
