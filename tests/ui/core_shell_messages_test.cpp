// The window's look at messages the toolkit has no event for, and the taskbar button's progress
// with and without the shell's interface.
#include "core_test_support.h"

#include <objbase.h>

#include <algorithm>
#include <vector>

#include "ui/form_window.h"
#include "ui/message_tap.h"
#include "ui/taskbar_progress.h"

using namespace core_test;

namespace {

class ShellMessagesTest : public WindowTest {};

TEST_F(ShellMessagesTest, TapAnswersItsMessagesPassesTheRestAndLetsGoWithTheWindow) {
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    int sized = 0;
    form.OnSize([&](HWND, int, int) { ++sized; });
    std::vector<UINT> seen;
    MessageTap tap;
    ASSERT_TRUE(tap.Attach(form.GetHandle(), [&](UINT message, WPARAM w, LPARAM l, LRESULT& r) {
        seen.push_back(message);
        if (message != WM_DPICHANGED) return false;
        const RECT* suggested = reinterpret_cast<const RECT*>(l);
        r = HIWORD(w) + suggested->right;
        return true;
    }));
    RECT suggested{0, 0, 7, 9};
    EXPECT_EQ(SendMessageW(form.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                           reinterpret_cast<LPARAM>(&suggested)),
              144 + 7);
    SetWindowPos(form.GetHandle(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_GT(sized, 0) << "a message the tap passes on still reaches the toolkit";
    EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_SIZE)), seen.end());

    DestroyWindow(form.GetHandle());
    const size_t before = seen.size();
    tap.Detach();  // after the window: nothing left to undo, nothing called
    EXPECT_EQ(seen.size(), before);
}

TEST_F(ShellMessagesTest, ProgressIsShownOnlyWhereTheInterfaceExistsAndTheWindowLives) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    const struct {
        TaskbarProgress::State state;
        int done, total;
    } calls[] = {{TaskbarProgress::State::kNormal, 0, 0},
                 {TaskbarProgress::State::kNormal, 5, 10},
                 {TaskbarProgress::State::kPaused, -1, 10},
                 {TaskbarProgress::State::kError, 20, 10},
                 {TaskbarProgress::State::kNone, 10, 10}};

    TaskbarProgress unconnected;
    EXPECT_FALSE(unconnected.Connected());
    for (const auto& c : calls) EXPECT_FALSE(unconnected.Show(c.state, c.done, c.total));

    TaskbarProgress progress;
    EXPECT_FALSE(progress.Connect(nullptr));
    const bool shell = progress.Connect(form.GetHandle());
    EXPECT_EQ(progress.Connected(), shell);
    RecordProperty("taskbar_interface", shell ? "present" : "missing");
    for (const auto& c : calls) EXPECT_EQ(progress.Show(c.state, c.done, c.total), shell);

    DestroyWindow(form.GetHandle());
    for (const auto& c : calls) EXPECT_FALSE(progress.Show(c.state, c.done, c.total));
    progress.Release();
    EXPECT_FALSE(progress.Connected());
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
