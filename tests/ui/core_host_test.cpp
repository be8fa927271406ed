// The app host's process questions, the main loop, and running code on the window thread.
#include "core_test_support.h"

#include <atomic>
#include <thread>

#include "ui/marshal.h"
#include "ui/window_registry.h"

using namespace core_test;

namespace {

bool EndsWithNoCase(const WideText& text, const WideText& tail) {
    if (tail.size() > text.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char16_t a = text[text.size() - tail.size() + i];
        char16_t b = tail[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b - u'A' + u'a');
        if (a != b) return false;
    }
    return true;
}

TEST(AppHost, AnswersProcessQuestionsAboutThisProgram) {
    AppHost& host = TheAppHost();
    host.Startup();
    EXPECT_EQ(host.InstanceHandle(), GetModuleHandleW(nullptr));
    EXPECT_TRUE(host.GdiplusStarted());

    const WideText name = host.ModuleFileNameW();
    EXPECT_TRUE(EndsWithNoCase(name, u"test_ui.exe"));
    EXPECT_EQ(name.find(u'\\'), WideText::npos) << "no folder in the file name";
    const WideText folder = host.ModuleDirectoryW();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), u'\\');
    wchar_t full[520] = {};
    GetModuleFileNameW(nullptr, full, 520);
    EXPECT_EQ(WideText(reinterpret_cast<const char16_t*>(full)), folder + u"\\" + name);
    EXPECT_EQ(host.ModuleFileName(), "test_ui.exe");

    const auto args = host.CommandLineW();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find(u"test_ui"), WideText::npos);
    const auto texts = host.CommandLine();
    ASSERT_EQ(texts.size(), args.size());
    EXPECT_NE(texts[0].find("test_ui"), Text::npos);

    // A given instance handle replaces the module's; absent it is the module again.
    host.Startup(reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x1000)));
    EXPECT_EQ(host.InstanceHandle(), reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x1000)));
    host.Startup();
    EXPECT_EQ(host.InstanceHandle(), GetModuleHandleW(nullptr));
    EXPECT_NE(NextControlId(), NextControlId());
}

class LoopTest : public WindowTest {};

TEST_F(LoopTest, TheMainLoopEndsWhenItsWindowGoesOrOnQuit) {
    FormWindow form;
    ASSERT_TRUE(form.CreateTopLevel(QuickOptions()));
    HWND h = Track(form.GetHandle());
    int shown = 0;
    form.OnShow([&] { ++shown; });
    PostMessageW(h, WM_CLOSE, 0, 0);
    TheAppHost().RunMessageLoop(form);
    EXPECT_EQ(shown, 1) << "the loop shows the window first";
    EXPECT_FALSE(IsWindow(h));

    FormWindow second;
    ASSERT_TRUE(second.CreateTopLevel(QuickOptions()));
    Track(second.GetHandle());
    TheAppHost().Quit();
    TheAppHost().RunMessageLoop(second, false);
    EXPECT_TRUE(IsWindow(second.GetHandle())) << "WM_QUIT ends the loop, not the window";
    EXPECT_FALSE(IsWindowVisible(second.GetHandle())) << "showFirst false leaves it hidden";

    // A window object without a live window: the loop returns at once.
    FormWindow never;
    TheAppHost().RunMessageLoop(never);
}

TEST_F(LoopTest, AcceleratorsOfTheRootWindowBecomeMenuCommands) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    ACCEL accel{FVIRTKEY | FCONTROL, 'K', 4242};
    ASSERT_TRUE(form.SetAcceleratorTable(CreateAcceleratorTableW(&accel, 1)));
    std::vector<int> ids;
    form.OnMenuItemClick([&](HWND, int id) { ids.push_back(id); });
    // TranslateAccelerator reads the key state; fake Ctrl down for this thread.
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE saved = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG msg{h, WM_KEYDOWN, 'K', 0, 0, {}};
    ProcessLoopMessage(msg, true);
    keys[VK_CONTROL] = saved;
    SetKeyboardState(keys);
    EXPECT_EQ(ids, std::vector<int>{4242});
}

TEST_F(LoopTest, PostedCallsRunLaterOnTheWindowThreadAndGoWithTheirWindow) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    FormWindow doomed;
    HWND gone = TrackedQuick(doomed);
    ASSERT_TRUE(gone);
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> doomedRan{false};
    bool posted = false;
    bool postedToDoomed = false;
    // Joined before the window thread looks at its queue: posting never waits for it.
    std::thread([&] {
        posted = PostToWindowThread(h, [&] { ranOn = GetCurrentThreadId(); });
        postedToDoomed = PostToWindowThread(gone, [&] { doomedRan = true; });
    }).join();
    ASSERT_TRUE(posted);
    ASSERT_TRUE(postedToDoomed);
    EXPECT_EQ(ranOn.load(), 0u) << "ran before the window thread took it from its queue";
    DestroyWindow(gone);
    Pump();
    EXPECT_EQ(ranOn.load(), GetCurrentThreadId());
    EXPECT_FALSE(doomedRan.load());
}

TEST_F(LoopTest, WorkerThreadsRunCodeOnTheWindowThread) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    const DWORD windowThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> result{false};
    std::atomic<bool> strangerResult{true};
    HWND stranger = MakePlainWindow();  // not a toolkit window
    UniqueHandle owned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(owned);
    const HANDLE done = owned.Get();
    std::thread worker([&] {
        result = RunOnWindowThread(h, [&] {
            ranOn = GetCurrentThreadId();
            SetWindowTextW(h, L"from worker");
        });
        strangerResult = RunOnWindowThread(stranger, [&] { ranOn = 1; });
        SetEvent(done);
    });
    // The window thread keeps its queue moving while it waits, as the program's waits do.
    while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        Pump();
    }
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn.load(), windowThread);
    EXPECT_FALSE(strangerResult) << "only toolkit windows take marshalled calls";
    EXPECT_EQ(form.GetText(), "from worker");
    DestroyWindow(stranger);

    // On the window thread itself the call runs directly.
    bool direct = false;
    EXPECT_TRUE(RunOnWindowThread(h, [&] { direct = true; }));
    EXPECT_TRUE(direct);
    EXPECT_FALSE(RunOnWindowThread(nullptr, [] {}));
}

TEST_F(LoopTest, AForgedMarshalMessageRunsNothing) {
    FormWindow form;
    HWND h = TrackedQuick(form);
    ASSERT_TRUE(h);
    bool ran = false;
    std::function<void()> fn = [&] { ran = true; };
    for (WPARAM tag : {WPARAM{0}, WPARAM{0x6B6F4D53}, WPARAM{1}}) {
        SendMessageW(h, RunOnWindowThreadMessage(), tag, reinterpret_cast<LPARAM>(&fn));
    }
    EXPECT_FALSE(ran) << "a call that RunOnWindowThread did not send is never made";
}

}  // namespace
