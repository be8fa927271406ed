// The tab control with panels as pages: page switching by the toolkit alone, cancelling a
// switch, tooltips, and pages sized to the display area.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ctl_support.h"
#include "ui/tab_control.h"

namespace {

using ctl::HostWindow;

struct TabFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(tabs.Create(host.form, {}, 10, 10, 500, 360));
        const char* captions[] = {"\xB5\xC7\xC2\xBC", "\xB2\xD9\xD7\xF7", "\xB9\xD8\xD3\xDA"};
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(pages[i].CreatePanel(tabs.GetHandle()));
            ASSERT_EQ(tabs.InsertTab(pages[i], i, captions[i], -1, Text("tip ") + char('1' + i)),
                      i);
        }
    }
    bool Visible(int page) const { return ::IsWindowVisible(pages[page].GetHandle()) != FALSE; }
    // Clicks a tab the way the mouse does.
    void ClickTab(int index) {
        RECT rect{};
        ASSERT_TRUE(::SendMessageW(tabs.GetHandle(), TCM_GETITEMRECT, index,
                                   reinterpret_cast<LPARAM>(&rect)));
        const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        ::SendMessageW(tabs.GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(tabs.GetHandle(), WM_LBUTTONUP, 0, at);
        ctl::PumpFor(20);
    }

    HostWindow host;
    TabControl tabs;
    FormWindow pages[3];
};

TEST_F(TabFixture, SelectingTheSecondTabShowsItsPageAndHidesTheOthersWithoutHandlers) {
    EXPECT_EQ(tabs.GetCurSel(), 0);
    EXPECT_TRUE(Visible(0));
    EXPECT_FALSE(Visible(1));
    EXPECT_FALSE(Visible(2));

    ClickTab(1);
    EXPECT_EQ(tabs.GetCurSel(), 1);
    EXPECT_FALSE(Visible(0));
    EXPECT_TRUE(Visible(1));
    EXPECT_FALSE(Visible(2));

    ASSERT_TRUE(tabs.SetCurSel(2));
    EXPECT_FALSE(Visible(1));
    EXPECT_TRUE(Visible(2));
}

TEST_F(TabFixture, OnSelChangingCanCancelAndOnSelChangeFollowsAnAcceptedSwitch) {
    bool refuse = true;
    int changes = 0;
    tabs.OnSelChanging([&refuse](HWND) { return refuse ? 1 : 0; });
    tabs.OnSelChange([&changes](HWND) { ++changes; });

    ClickTab(2);
    EXPECT_EQ(tabs.GetCurSel(), 0) << "the switch was cancelled";
    EXPECT_TRUE(Visible(0));
    EXPECT_FALSE(Visible(2));
    EXPECT_EQ(changes, 0);

    refuse = false;
    ClickTab(2);
    EXPECT_EQ(tabs.GetCurSel(), 2);
    EXPECT_TRUE(Visible(2));
    EXPECT_FALSE(Visible(0));
    EXPECT_EQ(changes, 1);
}

TEST_F(TabFixture, PagesFillTheDisplayAreaAndFollowTheControlsSize) {
    auto displayArea = [&] {
        RECT area{};
        ::GetClientRect(tabs.GetHandle(), &area);
        ::SendMessageW(tabs.GetHandle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        return area;
    };
    auto pageRect = [&](int i) {
        RECT rect{};
        ::GetWindowRect(pages[i].GetHandle(), &rect);
        ::MapWindowPoints(nullptr, tabs.GetHandle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    RECT area = displayArea();
    for (int i = 0; i < 3; ++i) {
        const RECT page = pageRect(i);
        EXPECT_EQ(page.left, area.left);
        EXPECT_EQ(page.top, area.top);
        EXPECT_EQ(page.right, area.right);
        EXPECT_EQ(page.bottom, area.bottom);
    }
    EXPECT_GT(area.top, 10) << "below the row of tabs";

    ::SetWindowPos(tabs.GetHandle(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    area = displayArea();
    const RECT resized = pageRect(1);
    EXPECT_EQ(resized.right, area.right);
    EXPECT_EQ(resized.bottom, area.bottom);
}

TEST_F(TabFixture, TooltipsAreAnsweredPerPageThroughTheParent) {
    EXPECT_EQ(tabs.TooltipText(1), "tip 2");
    const auto tooltip =
        reinterpret_cast<HWND>(::SendMessageW(tabs.GetHandle(), TCM_GETTOOLTIPS, 0, 0));
    ASSERT_NE(tooltip, nullptr) << "TCS_TOOLTIPS is the default style";
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = tooltip;
    info.hdr.idFrom = 2;  // the tab under the pointer
    info.hdr.code = TTN_GETDISPINFOW;
    ::SendMessageW(host.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_EQ(std::wstring(info.lpszText), L"tip 3");
}

TEST_F(TabFixture, TabsKeepTheirPagesAliveAfterTheApplicationsObjectsGo) {
    TabControl more;
    ASSERT_TRUE(more.Create(host.form, {}, 0, 0, 200, 150));
    HWND first = nullptr;
    HWND second = nullptr;
    {
        FormWindow a;
        FormWindow b;
        ASSERT_TRUE(a.CreatePanel(more.GetHandle()));
        ASSERT_TRUE(b.CreatePanel(more.GetHandle()));
        first = a.GetHandle();
        second = b.GetHandle();
        more.InsertTab(a, {}, "a");
        more.InsertTab(b, {}, "b");
    }
    EXPECT_EQ(more.PageWindow(1), second);
    ASSERT_TRUE(more.SetCurSel(1));
    EXPECT_FALSE(::IsWindowVisible(first));
    EXPECT_TRUE(::IsWindowVisible(second));
    ::DestroyWindow(more.GetHandle());
    EXPECT_FALSE(::IsWindow(second));
}

}  // namespace
