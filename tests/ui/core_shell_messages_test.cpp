// The window's look at messages the toolkit has no event for, and the taskbar button's progress
// with and without the shell's interface.
#include "core_test_support.h"

#include <objbase.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/recording_taskbar.h"
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

// Registered in this process as the shell's taskbar class.
class FakeTaskbar final : public RecordingTaskbar {
  public:
    HWND window = nullptr;
    std::string told;

  protected:
    void Told(HWND h, const std::string& line) override {
        told += (told.empty() ? "" : " ") + std::string(h == window ? "" : "elsewhere ") + line;
    }
};

TEST_F(ShellMessagesTest, ProgressIsShownOnlyWhereTheInterfaceExistsAndTheWindowLives) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    FakeTaskbar shell;
    shell.window = form.GetHandle();
    DWORD registration = 0;
    ASSERT_HRESULT_SUCCEEDED(
        CoRegisterClassObject(CLSID_TaskbarList, static_cast<IClassFactory*>(&shell),
                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &registration));
    const struct {
        TaskbarProgress::State state;
        int done, total;
        const char* told;  // the value (done/total) when there is one, then the TBPF_ state
    } calls[] = {{TaskbarProgress::State::kNormal, 0, 0, "state 2"},
                 {TaskbarProgress::State::kNormal, 5, 10, "value 5/10 state 2"},
                 {TaskbarProgress::State::kPaused, -1, 10, "value 0/10 state 8"},
                 {TaskbarProgress::State::kError, 20, 10, "value 10/10 state 4"},
                 {TaskbarProgress::State::kNone, 10, 10, "state 0"}};

    shell.refuse = true;
    TaskbarProgress missing;
    EXPECT_FALSE(missing.Connect(form.GetHandle()));
    EXPECT_FALSE(missing.Connected());
    for (const auto& c : calls) EXPECT_FALSE(missing.Show(c.state, c.done, c.total));

    shell.refuse = false;
    TaskbarProgress progress;
    EXPECT_FALSE(progress.Connect(nullptr));
    ASSERT_TRUE(progress.Connect(form.GetHandle()));
    EXPECT_TRUE(progress.Connected());
    for (const auto& c : calls) {
        shell.told.clear();
        EXPECT_TRUE(progress.Show(c.state, c.done, c.total));
        EXPECT_EQ(shell.told, c.told);
    }

    DestroyWindow(form.GetHandle());
    shell.told.clear();
    for (const auto& c : calls) EXPECT_FALSE(progress.Show(c.state, c.done, c.total));
    EXPECT_EQ(shell.told, "");
    progress.Release();
    EXPECT_FALSE(progress.Connected());
    CoRevokeClassObject(registration);
    EXPECT_EQ(shell.refs, 0) << "every reference taken was given back";
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
