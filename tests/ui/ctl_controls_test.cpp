// Creating each kind of control with its defaults, and the events and colours of buttons,
// labels, edits and the status bar.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ctl_support.h"
#include "ui/controls_basic.h"
#include "ui/list_view.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"

namespace {

using ctl::HostWindow;

struct KindCase {
    const char* name;
    std::function<std::unique_ptr<ControlWindow>()> make;
    const wchar_t* className;
    int width;
    int height;
    DWORD styleBits;    // expected in the style when created without one
    DWORD exStyleBits;  // expected in the extended style when created without one
    const wchar_t* caption;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring CaptionOf(HWND hwnd) {
    wchar_t text[64] = {};
    ::GetWindowTextW(hwnd, text, 64);
    return text;
}

TEST(ControlCreation, EachKindGetsItsClassSizeStylesAndCaptionByDefault) {
    HostWindow host;
    const KindCase cases[] = {
        {"tab", [] { return std::make_unique<TabControl>(); }, L"SysTabControl32", 200, 200,
         TCS_TOOLTIPS | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, L""},
        {"list view", [] { return std::make_unique<ListView>(); }, L"SysListView32", 220, 180,
         LVS_SHAREIMAGELISTS, WS_EX_CLIENTEDGE, L""},
        {"button", [] { return std::make_unique<Button>(); }, L"Button", 80, 32, WS_TABSTOP, 0,
         L"按钮"},
        {"label", [] { return std::make_unique<Label>(); }, L"Static", 80, 24,
         SS_CENTERIMAGE | SS_NOTIFY, 0, L"标签"},
        {"edit", [] { return std::make_unique<Edit>(); }, L"Edit", 80, 20,
         ES_AUTOHSCROLL | WS_TABSTOP, 0, L""},
        {"picture box", [] { return std::make_unique<PictureBox>(); }, L"Static", 120, 120,
         SS_NOTIFY | SS_OWNERDRAW, 0, L""},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ControlWindow> control = c.make();
        EXPECT_EQ(control->GetProperty("Type"), 1);
        ASSERT_TRUE(control->Create(host.form));
        const HWND hwnd = control->GetHandle();
        EXPECT_EQ(::GetParent(hwnd), host.Handle());
        EXPECT_EQ(ClassOf(hwnd), c.className);
        RECT rect{};
        ::GetWindowRect(hwnd, &rect);
        EXPECT_EQ(rect.right - rect.left, c.width);
        EXPECT_EQ(rect.bottom - rect.top, c.height);
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
        EXPECT_EQ(style & (c.styleBits | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS),
                  c.styleBits | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
        const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
        EXPECT_EQ(exStyle & c.exStyleBits, c.exStyleBits);
        EXPECT_EQ(CaptionOf(hwnd), c.caption);
        EXPECT_EQ(::SendMessageW(hwnd, WM_GETFONT, 0, 0),
                  reinterpret_cast<LRESULT>(::GetStockObject(DEFAULT_GUI_FONT)));
        EXPECT_NE(control->GetId(), 0) << "an id is handed out when none is given";
        EXPECT_FALSE(control->Create(host.form)) << "a second Create makes nothing";
    }
}

TEST(ControlCreation, GivenStylesReplaceTheDefaultsButNotTheForcedBits) {
    HostWindow host;
    Button button;
    ASSERT_TRUE(button.Create(host.form, Text("&Go"), 5, 6, 70, 25, 20001, BS_PUSHBUTTON));
    EXPECT_EQ(button.GetId(), 20001);
    EXPECT_EQ(::GetWindowLongPtrW(button.GetHandle(), GWL_STYLE) & WS_TABSTOP, 0)
        << "WS_TABSTOP is only a default";
    EXPECT_EQ(CaptionOf(button.GetHandle()), L"&Go");

    PictureBox box;
    ASSERT_TRUE(box.Create(host.form, {}, 0, 0, 10, 10, {}, 0));
    EXPECT_EQ(::GetWindowLongPtrW(box.GetHandle(), GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);

    ListView list;
    list.SetProperty("Border", 5);  // thin border instead of the client edge
    ASSERT_TRUE(list.Create(host.form));
    EXPECT_EQ(::GetWindowLongPtrW(list.GetHandle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_NE(::GetWindowLongPtrW(list.GetHandle(), GWL_STYLE) & WS_BORDER, 0);
    EXPECT_EQ(::SendMessageW(list.GetHandle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
              LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP);

    Button orphan;
    EXPECT_FALSE(orphan.Create(nullptr)) << "no parent window";
    EXPECT_EQ(orphan.GetId(), 0);
}

TEST(ControlEvents, ButtonClickCarriesTheIdAndAttachedItemsRaiseEventsToo) {
    HostWindow host;
    std::vector<std::pair<HWND, INT_PTR>> clicks;
    Button button;
    button.OnClick([&clicks](HWND hwnd, INT_PTR id) { clicks.emplace_back(hwnd, id); });
    ASSERT_TRUE(button.Create(host.form, {}, 0, 0, 80, 30, 20002));
    ::SendMessageW(button.GetHandle(), BM_CLICK, 0, 0);
    ctl::PumpFor(10);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].first, button.GetHandle());
    EXPECT_EQ(clicks[0].second, 20002);

    // A native button bound afterwards by its id.
    const HWND native =
        ::CreateWindowExW(0, L"Button", L"native", WS_CHILD | WS_VISIBLE, 0, 40, 80, 30,
                          host.Handle(), reinterpret_cast<HMENU>(INT_PTR{321}), nullptr, nullptr);
    Button attached;
    ASSERT_TRUE(attached.AttachItem(host.form, 321));
    attached.OnClick([&clicks](HWND hwnd, INT_PTR id) { clicks.emplace_back(hwnd, id); });
    ::SendMessageW(native, BM_CLICK, 0, 0);
    ctl::PumpFor(10);
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[1].second, 321);
    EXPECT_FALSE(Button().AttachItem(host.form, 9999)) << "no such item";
}

TEST(ControlEvents, EditTextRoundTripsInCodePage936AndRaisesOnTextChange) {
    HostWindow host;
    Edit edit;
    int changes = 0;
    edit.OnTextChange([&changes](HWND, INT_PTR) { ++changes; });
    ASSERT_TRUE(edit.Create(host.form, {}, 0, 0, 200, 24));
    // "保存目录" in code page 936.
    const Text folder = "C:\\\xB1\xA3\xB4\xE6\xC4\xBF\xC2\xBC\\";
    ASSERT_TRUE(edit.Text(folder));
    EXPECT_EQ(edit.Text(), folder);
    EXPECT_EQ(CaptionOf(edit.GetHandle()), L"C:\\保存目录\\");
    EXPECT_GE(changes, 1);
    const int before = changes;
    ::SendMessageW(edit.GetHandle(), WM_CHAR, L'x', 0);
    EXPECT_GT(changes, before) << "typing raises it too";
}

TEST(ControlColours, TransparentLabelAndColouredButtonAnswerTheirParentsColourRequests) {
    HostWindow host;
    Label label;
    ASSERT_TRUE(label.Create(host.form, Text("text")));
    label.SetTextColor(RGB(200, 0, 0));
    label.SetBackColor(-1);
    HDC dc = ::GetDC(host.Handle());
    ::SetBkMode(dc, OPAQUE);
    const auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(host.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(label.GetHandle())));
    EXPECT_EQ(brush, ::GetStockObject(NULL_BRUSH));
    EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(::GetTextColor(dc), RGB(200, 0, 0));

    Button button;
    ASSERT_TRUE(button.Create(host.form));
    button.SetBackColor(RGB(1, 2, 3));
    const auto solid = reinterpret_cast<HBRUSH>(
        ::SendMessageW(host.Handle(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(button.GetHandle())));
    LOGBRUSH info{};
    ASSERT_TRUE(::GetObjectW(solid, sizeof(info), &info));
    EXPECT_EQ(info.lbColor, RGB(1, 2, 3));
    EXPECT_EQ(::GetBkColor(dc), RGB(1, 2, 3));
    ::ReleaseDC(host.Handle(), dc);

    ::DestroyWindow(button.GetHandle());
    EXPECT_EQ(::GetObjectType(solid), 0u) << "the brush goes with the button";
}

TEST(ControlEvents, StatusBarShowsChineseTextAndReportsClicksWithPartAndPoint) {
    HostWindow host;
    StatusBar status;
    ASSERT_TRUE(status.Create(host.form, {}, {}, {}, {}, {}, {}, SBARS_SIZEGRIP));
    // "  状态:等待操作！" in code page 936.
    const Text waiting = "  \xD7\xB4\xCC\xAC:\xB5\xC8\xB4\xFD\xB2\xD9\xD7\xF7\xA3\xA1";
    ASSERT_TRUE(status.SetText(waiting));
    wchar_t shown[64] = {};
    ::SendMessageW(status.GetHandle(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(shown));
    EXPECT_EQ(std::wstring(shown), L"  状态:等待操作！");

    struct Click {
        INT_PTR part, x, y;
    };
    std::vector<Click> clicks;
    int rightClicks = 0;
    status.OnClick([&clicks](HWND, INT_PTR part, INT_PTR x, INT_PTR y) {
        clicks.push_back({part, x, y});
    });
    status.OnRClick([&rightClicks](HWND) {
        ++rightClicks;
        return 1;
    });
    const LPARAM at = MAKELPARAM(30, 8);
    ::SendMessageW(status.GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(status.GetHandle(), WM_LBUTTONUP, 0, at);
    ::SendMessageW(status.GetHandle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    ::SendMessageW(status.GetHandle(), WM_RBUTTONUP, 0, at);
    ctl::PumpFor(20);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].x, 30);
    EXPECT_EQ(clicks[0].y, 8);
    EXPECT_EQ(rightClicks, 1);
}

}  // namespace
