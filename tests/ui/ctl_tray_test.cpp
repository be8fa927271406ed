// The tray icon of a window: its record, tip cutting, callback codes, task-bar restarts and
// removal. Under Wine the notification area is the one of Wine's own shell; what it shows cannot
// be read back, so the tests look at the record the window keeps and at what the shell accepts
// (a modification only succeeds for an icon the shell knows).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctl_support.h"
#include "ui/tray.h"

namespace {

struct TrayFixture : ::testing::Test {
    void SetUp() override {
        ctl::StartToolkit();
        TopLevelOptions options;
        options.caption = "tray";
        options.style = WS_OVERLAPPEDWINDOW;  // never shown: no window-manager round trips
        ASSERT_TRUE(form.CreateTopLevel(options));
        icon = ::LoadIconW(nullptr, IDI_APPLICATION);
        form.OnNotifIcon([this](HWND, int code) { codes.push_back(code); });
    }
    void TearDown() override {
        if (::IsWindow(form.GetHandle())) ::DestroyWindow(form.GetHandle());
    }
    // Whether the shell still knows the icon (NIM_MODIFY fails for an unknown one).
    bool ShellKnowsIcon() {
        NOTIFYICONDATAW probe{};
        probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
        probe.hWnd = form.GetHandle();
        probe.uID = 1;
        return ::Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
    }
    LRESULT SendCallback(UINT mouseMessage) {
        return ::SendMessageW(form.GetHandle(), kTrayCallbackMessage, 1, mouseMessage);
    }

    FormWindow form;
    HICON icon = nullptr;
    std::vector<int> codes;
};

TEST_F(TrayFixture, AddFillsTheRecordWithItsOwnIconCopyAndTheTip) {
    // "状态" in code page 936.
    ASSERT_TRUE(AddTrayIcon(form, icon, Text("\xD7\xB4\xCC\xAC")));
    const NOTIFYICONDATAW* data = TrayIconData(form);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->hWnd, form.GetHandle());
    EXPECT_EQ(data->uID, 1u);
    EXPECT_EQ(data->uCallbackMessage, 0x3019u);
    EXPECT_EQ(data->uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_NE(data->hIcon, nullptr);
    EXPECT_NE(data->hIcon, icon) << "the window keeps a copy of its own";
    EXPECT_EQ(std::wstring(data->szTip), L"状态");
    EXPECT_TRUE(ShellKnowsIcon());
}

TEST_F(TrayFixture, TipsLongerThan127CharactersAreCut) {
    const WideText longTip(200, u'x');
    ASSERT_TRUE(AddTrayIcon(form, icon, longTip));
    EXPECT_EQ(std::wstring(TrayIconData(form)->szTip), std::wstring(127, L'x'));

    const WideText otherTip(300, u'y');
    ASSERT_TRUE(SetTrayTip(form, otherTip));
    EXPECT_EQ(std::wstring(TrayIconData(form)->szTip), std::wstring(127, L'y'));

    // A surrogate pair straddling the cut is dropped whole rather than split.
    WideText emoji(126, u'z');
    emoji += u"\U0001F600tail";
    ASSERT_TRUE(SetTrayTip(form, emoji));
    EXPECT_EQ(std::wstring(TrayIconData(form)->szTip), std::wstring(126, L'z'));
}

TEST_F(TrayFixture, LeftClickFiresOnceOnButtonUpAndOtherMessagesMapToTheirCodes) {
    ASSERT_TRUE(AddTrayIcon(form, icon, Text("tip")));
    SendCallback(WM_LBUTTONDOWN);
    EXPECT_TRUE(codes.empty()) << "nothing on button down";
    EXPECT_EQ(::GetCapture(), form.GetHandle());
    SendCallback(WM_LBUTTONUP);
    ASSERT_EQ(codes, std::vector<int>{1});
    EXPECT_EQ(::GetCapture(), nullptr) << "capture released after the click";

    codes.clear();
    const UINT messages[] = {WM_RBUTTONDOWN,     WM_RBUTTONUP,         WM_LBUTTONDBLCLK,
                             WM_RBUTTONDBLCLK,   WM_MOUSEMOVE,         NIN_BALLOONSHOW,
                             NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK, WM_MBUTTONUP};
    for (UINT message : messages) {
        SendCallback(message);
    }
    EXPECT_EQ(codes, (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(TrayFixture, TaskbarRestartAddsTheIconAgainWithTheSameIconAndTip) {
    ASSERT_TRUE(AddTrayIcon(form, icon, Text("kept")));
    const HICON shown = TrayIconData(form)->hIcon;
    // The shell forgets the icon, as a restarted task bar would.
    NOTIFYICONDATAW forget = *TrayIconData(form);
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &forget));
    ASSERT_FALSE(ShellKnowsIcon());

    ::SendMessageW(form.GetHandle(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(ShellKnowsIcon());
    EXPECT_EQ(TrayIconData(form)->hIcon, shown);
    EXPECT_EQ(std::wstring(TrayIconData(form)->szTip), L"kept");
}

TEST_F(TrayFixture, RemovedIconStaysGoneAcrossATaskbarRestart) {
    ASSERT_TRUE(AddTrayIcon(form, icon));
    ASSERT_TRUE(RemoveTrayIcon(form));
    EXPECT_EQ(TrayIconData(form), nullptr);
    EXPECT_FALSE(ShellKnowsIcon());
    ::SendMessageW(form.GetHandle(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_FALSE(ShellKnowsIcon());
    EXPECT_FALSE(SetTrayTip(form, Text("x"))) << "no icon to change";
    EXPECT_FALSE(SetTrayIcon(form, icon));
    EXPECT_FALSE(ShowTrayBalloon(form, Text("t"), Text("x")));
    EXPECT_FALSE(RemoveTrayIcon(form));
}

TEST_F(TrayFixture, AddingWithoutAnIconRemovesTheOneShown) {
    ASSERT_TRUE(AddTrayIcon(form, icon));
    EXPECT_FALSE(AddTrayIcon(form, nullptr));
    EXPECT_EQ(TrayIconData(form), nullptr);
    EXPECT_FALSE(ShellKnowsIcon());
}

TEST_F(TrayFixture, IconAndBalloonChangesReachTheShellAndTheBalloonIsNotRepeated) {
    ASSERT_TRUE(AddTrayIcon(form, icon));
    const HICON firstCopy = TrayIconData(form)->hIcon;
    const HICON other = ::LoadIconW(nullptr, IDI_WARNING);
    ASSERT_TRUE(SetTrayIcon(form, other));
    EXPECT_NE(TrayIconData(form)->hIcon, firstCopy);
    EXPECT_EQ(::GetIconInfo(firstCopy, nullptr), FALSE) << "the replaced copy is destroyed";

    EXPECT_TRUE(ShowTrayBalloon(form, WideText(u"标题"), WideText(u"内容"), NIIF_WARNING, 3000));
    EXPECT_EQ(TrayIconData(form)->szInfo[0], L'\0') << "a later change must not show it again";
    EXPECT_TRUE(SetTrayTip(form, Text("after")));
}

TEST_F(TrayFixture, DestroyingTheWindowTakesTheIconOutOfTheTray) {
    ASSERT_TRUE(AddTrayIcon(form, icon));
    const HWND hwnd = form.GetHandle();
    ::DestroyWindow(hwnd);
    NOTIFYICONDATAW probe{};
    probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
    probe.hWnd = hwnd;
    probe.uID = 1;
    EXPECT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &probe));
    EXPECT_EQ(TrayIconData(form), nullptr);
}

}  // namespace
