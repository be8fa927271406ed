#include "threads/thread_helpers.h"

#include <gtest/gtest.h>

#include <atomic>

#include "threads/test_support.h"

using threads_test::Gate;
using threads_test::MessageSink;

namespace {

DWORD WINAPI ReturnParameter(void* p) {
    return static_cast<DWORD>(reinterpret_cast<INT_PTR>(p));
}

DWORD WINAPI WaitForGate(void* p) {
    static_cast<Gate*>(p)->Pass();
    return 7;
}

// Says it is inside its procedure, then waits: a thread killed before it gets there may still
// hold the loader's lock (its libraries are told of it first), and every thread started later
// in the process would wait for that lock forever.
struct EnteredThenGate {
    Gate entered;
    Gate gate;
};
DWORD WINAPI EnterThenWait(void* p) {
    auto* both = static_cast<EnteredThenGate*>(p);
    both->entered.Open();
    both->gate.Pass();
    return 7;
}

// Sends to a window of the starting thread: completes only while that thread handles messages.
DWORD WINAPI SendToSink(void* p) {
    return static_cast<DWORD>(::SendMessageW(static_cast<HWND>(p), WM_APP, 0, 0));
}

bool StillRunning(const UniqueHandle& h) {
    return ::WaitForSingleObject(h.Get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

TEST(ThreadStackSize, RoundsLikeThePoolDoes) {
    struct Case {
        std::optional<LONG_PTR> asked;
        SIZE_T used;
    } cases[] = {{std::nullopt, 0}, {0, 0},         {-5, 0},           {1, 8192},
                 {5000, 8192},      {8191, 8192},   {8192, 8192},      {12289, 12288},
                 {70000, 69632},    {65536, 65536}, {1 << 20, 1 << 20}};
    for (const Case& c : cases) {
        EXPECT_EQ(RoundThreadStackSize(c.asked), c.used) << (c.asked ? *c.asked : -999);
    }
}

TEST(StartThread, WithoutWaitingHandsBackTheRunningThread) {
    Gate gate;
    UniqueHandle h;
    ASSERT_TRUE(StartThread(&WaitForGate, &gate, &h));
    ASSERT_TRUE(static_cast<bool>(h));
    EXPECT_TRUE(StillRunning(h));
    gate.Open();
    ASSERT_EQ(::WaitForSingleObject(h.Get(), 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(::GetExitCodeThread(h.Get(), &code));
    EXPECT_EQ(code, 7u);
}

TEST(StartThread, WaitingReportsTheExitCodeAndClosesTheHandle) {
    for (bool pump : {false, true}) {
        UniqueHandle h(::CreateEventW(nullptr, FALSE, FALSE, nullptr));  // to see it cleared
        DWORD code = 0;
        ASSERT_TRUE(StartThread(&ReturnParameter, reinterpret_cast<void*>(INT_PTR(1234)), &h, false,
                                true, std::nullopt, &code, pump));
        EXPECT_EQ(code, 1234u) << "pump " << pump;
        EXPECT_FALSE(static_cast<bool>(h)) << "pump " << pump;
    }
}

TEST(StartThread, SuspendedThreadDoesNotRunAndIsNotWaitedFor) {
    std::atomic<int> ran{0};
    UniqueHandle h;
    ASSERT_TRUE(StartThread(
        [](void* p) -> DWORD {
            ++*static_cast<std::atomic<int>*>(p);
            return 0;
        },
        &ran, &h, true, true, 50));
    ASSERT_TRUE(static_cast<bool>(h));
    ::Sleep(50);
    EXPECT_EQ(ran.load(), 0);
    ::ResumeThread(h.Get());
    ASSERT_EQ(::WaitForSingleObject(h.Get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(ran.load(), 1);
}

TEST(StartThread, TimedOutWaitHandsBackTheStillRunningThread) {
    for (bool pump : {false, true}) {
        Gate gate;
        UniqueHandle h;
        DWORD code = 99;
        const DWORD begin = ::GetTickCount();
        ASSERT_TRUE(StartThread(&WaitForGate, &gate, &h, false, true, 100, &code, pump));
        const DWORD waited = ::GetTickCount() - begin;
        ASSERT_TRUE(static_cast<bool>(h)) << "pump " << pump;
        EXPECT_TRUE(StillRunning(h)) << "pump " << pump;
        EXPECT_EQ(code, 99u);
        // It did wait: the 100 ms, give or take the tick's resolution.
        EXPECT_GE(waited, 80u) << "pump " << pump;
        gate.Open();
        ASSERT_EQ(::WaitForSingleObject(h.Get(), 60000), WAIT_OBJECT_0);
    }
}

TEST(StartThread, PumpingWaitKeepsTheCallersWindowsAnswering) {
    MessageSink sink;
    DWORD code = 0;
    ASSERT_TRUE(
        StartThread(&SendToSink, sink.hwnd(), nullptr, false, true, std::nullopt, &code, true));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(sink.received(), 1);

    // The same wait with a limit, pumping: still answered.
    code = 0;
    UniqueHandle h;
    ASSERT_TRUE(StartThread(&SendToSink, sink.hwnd(), &h, false, true, 30000, &code, true));
    EXPECT_EQ(code, 42u);
    EXPECT_FALSE(static_cast<bool>(h));
    EXPECT_EQ(sink.received(), 2);
}

TEST(StartThread, PlainWaitDoesNotAnswerMessagesSoTheSenderIsStillBlocked) {
    MessageSink sink;
    UniqueHandle h;
    ASSERT_TRUE(StartThread(&SendToSink, sink.hwnd(), &h, false, true, 150, nullptr, false));
    ASSERT_TRUE(static_cast<bool>(h));
    EXPECT_TRUE(StillRunning(h));
    EXPECT_EQ(sink.received(), 0);
    // Answering now lets it finish.
    ASSERT_TRUE(threads_test::WaitUntil([&] {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        return !StillRunning(h);
    }));
    EXPECT_EQ(sink.received(), 1);
}

TEST(StartThread, NamesTheThreadWhenAsked) {
    Gate gate;
    UniqueHandle h;
    ASSERT_TRUE(StartThread(&WaitForGate, &gate, &h, false, false, std::nullopt, nullptr, false,
                            std::nullopt, L"download driver"));
    EXPECT_EQ(threads_test::ThreadDescription(h.Get()), L"download driver");
    gate.Open();
    ASSERT_EQ(::WaitForSingleObject(h.Get(), 60000), WAIT_OBJECT_0);
}

TEST(StartThread, RefusesAMissingProcedure) {
    UniqueHandle h(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    EXPECT_FALSE(StartThread(nullptr, nullptr, &h));
    EXPECT_FALSE(static_cast<bool>(h));
}

TEST(KillAndClose, KillEndsABlockedThreadAndCloseEmptiesTheSlot) {
    EnteredThenGate both;
    UniqueHandle h;
    ASSERT_TRUE(StartThread(&EnterThenWait, &both, &h));
    ASSERT_EQ(::WaitForSingleObject(both.entered.handle(), 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(KillThread(h));
    ASSERT_EQ(::WaitForSingleObject(h.Get(), 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    ASSERT_TRUE(::GetExitCodeThread(h.Get(), &code));
    EXPECT_EQ(code, 0u);  // killed, not returned (it would have returned 7)
    EXPECT_TRUE(CloseThreadHandle(h));
    EXPECT_FALSE(static_cast<bool>(h));
    // An empty slot: both do nothing and say so.
    EXPECT_FALSE(KillThread(h));
    EXPECT_FALSE(CloseThreadHandle(h));
    EXPECT_FALSE(KillThread(nullptr));
}

TEST(UniqueHandleOwner, MovesOwnershipAndClosesOnce) {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    UniqueHandle a(raw);
    UniqueHandle b(std::move(a));
    EXPECT_FALSE(static_cast<bool>(a));
    EXPECT_EQ(b.Get(), raw);
    UniqueHandle c;
    c = std::move(b);
    EXPECT_EQ(c.Get(), raw);
    EXPECT_TRUE(c.Reset());
    EXPECT_FALSE(c.Reset());
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));  // really closed
    UniqueHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(static_cast<bool>(invalid));
    EXPECT_FALSE(invalid.Reset());
    // A kind whose free call reports success in its result: freed, and said so.
    const HMENU rawMenu = ::CreateMenu();
    MenuHandle menu(rawMenu);
    EXPECT_TRUE(menu.Reset());
    EXPECT_FALSE(::IsMenu(rawMenu));
}

TEST(StartThread, ReportsAThreadThatCannotBeCreated) {
    UniqueHandle h(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // No machine commits this much stack; the size reaches the platform unchanged.
    EXPECT_FALSE(StartThread(&ReturnParameter, nullptr, &h, false, false, std::nullopt, nullptr,
                             false, LONG_PTR(1) << 44));
    EXPECT_FALSE(static_cast<bool>(h));
}
