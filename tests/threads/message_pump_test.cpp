#include "threads/message_pump.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

#include "threads/handle.h"
#include "threads/test_support.h"

using threads_test::MessageSink;

namespace {

// Empties the calling thread's queue so each case starts clean.
void Drain() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

bool QuitIsNext() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message == WM_QUIT;
}

}  // namespace

TEST(PumpPendingMessages, DispatchesWhatIsQueuedAndReturnsOnAnEmptyQueue) {
    Drain();
    MessageSink sink;
    EXPECT_EQ(PumpPendingMessages(), 0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(::PostMessageW(sink.hwnd(), WM_APP, 0, 0));
    EXPECT_EQ(PumpPendingMessages(), 3);
    EXPECT_EQ(sink.received(), 3);
    EXPECT_EQ(PumpPendingMessages(), 0);
}

TEST(PumpPendingMessages, LeavesTheQuitMessageForTheRealLoop) {
    Drain();
    MessageSink sink;
    ASSERT_TRUE(::PostMessageW(sink.hwnd(), WM_APP, 0, 0));
    ::PostQuitMessage(3);
    ASSERT_TRUE(::PostMessageW(sink.hwnd(), WM_APP, 0, 0));
    PumpPendingMessages();
    EXPECT_EQ(sink.received(), 2);  // posted messages come before the quit
    ASSERT_TRUE(QuitIsNext());
    EXPECT_EQ(PumpPendingMessages(), 0);  // and it stays there however often we pump
    MSG msg;
    EXPECT_EQ(::GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST(PumpPendingMessages, HandlesMessagesSentFromOtherThreads) {
    Drain();
    MessageSink sink;
    LRESULT answer = 0;
    std::pair<HWND, LRESULT*> target(sink.hwnd(), &answer);
    UniqueHandle sender(::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* s = static_cast<std::pair<HWND, LRESULT*>*>(p);
            *s->second = ::SendMessageW(s->first, WM_APP, 0, 0);
            return 0;
        },
        &target, 0, nullptr));
    ASSERT_TRUE(sender);
    ASSERT_TRUE(threads_test::WaitUntil([&] {
        PumpPendingMessages();
        return ::WaitForSingleObject(sender.Get(), 0) == WAIT_OBJECT_0;
    }));
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(sink.received(), 1);
}
