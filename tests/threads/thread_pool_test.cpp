#include "threads/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "threads/test_support.h"

using threads_test::Gate;
using threads_test::WaitUntil;

namespace {

// Context handed to tasks through the pointer-sized second argument.
struct Counter {
    std::atomic<int> runs{0};
    Gate* gate = nullptr;
    ThreadPool* pool = nullptr;
    std::atomic<int> sawIdleInside{0};
    std::atomic<LONG> mostThreads{0};
};

void CountTask(INT_PTR, INT_PTR context) {
    ++reinterpret_cast<Counter*>(context)->runs;
}

void BlockedTask(INT_PTR, INT_PTR context) {
    auto* c = reinterpret_cast<Counter*>(context);
    if (c->pool != nullptr) {
        LONG threads = c->pool->ThreadCount();
        LONG seen = c->mostThreads.load();
        while (threads > seen && !c->mostThreads.compare_exchange_weak(seen, threads)) {
        }
    }
    c->gate->Pass();
    if (c->pool != nullptr && c->pool->IsIdle()) ++c->sawIdleInside;
    ++c->runs;
}

INT_PTR Ctx(Counter& c) {
    return reinterpret_cast<INT_PTR>(&c);
}

// Once shrunk, new demand grows the pool to its limit again and every task runs.
void ExpectGrowsAgain(ThreadPool& pool, int limit) {
    Gate gate;
    Counter c;
    c.gate = &gate;
    for (int i = 0; i < limit; ++i) ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == limit; }));
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == limit; }));
}

}  // namespace

TEST(ThreadPoolCreate, DefaultsStartFiveWorkersWithLimitTwentyAndTenSecondIdle) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create());
    EXPECT_EQ(pool.State(), ThreadPool::kRunning);
    EXPECT_EQ(pool.ThreadCount(), 5);
    EXPECT_EQ(pool.MaxThreads(), 20);
    EXPECT_EQ(pool.IdleTimeout(), 10000);
    EXPECT_EQ(pool.StackSize(), 0u);
    EXPECT_TRUE(pool.IsIdle());
    EXPECT_EQ(pool.IdleThreadCount(), 5);
    EXPECT_TRUE(pool.Stop());
    EXPECT_EQ(pool.State(), ThreadPool::kStopped);
    EXPECT_EQ(pool.ThreadCount(), 0);
}

TEST(ThreadPoolCreate, SettingsAreNormalised) {
    struct Case {
        std::optional<LONG> min, max, idle;
        std::optional<LONG_PTR> stack;
        LONG threads, maxThreads, idleTimeout;
        SIZE_T stackSize;
    } cases[] = {
        {1, 5, std::nullopt, std::nullopt, 1, 5, 10000, 0},  // the application's pool
        {4, 2, std::nullopt, std::nullopt, 4, 4, 10000, 0},  // limit raised to the minimum
        {0, 3, 50, 100, 1, 3, 100, 8192},                    // minimum 1, idle at least 100
        {-7, std::nullopt, 99, 10000, 1, 20, 100, 8192},
        {2, 2, 100, 8191, 2, 2, 100, 8192},
        {1, 1, 250, 70000, 1, 1, 250, 69632},  // rounded down to 4096s
        {1, 1, 250, 0, 1, 1, 250, 0},          // zero keeps the platform default
    };
    for (const Case& c : cases) {
        ThreadPool pool;
        ASSERT_TRUE(pool.Create(c.min, c.max, c.idle, false, c.stack));
        EXPECT_EQ(pool.ThreadCount(), c.threads);
        EXPECT_EQ(pool.MaxThreads(), c.maxThreads);
        EXPECT_EQ(pool.IdleTimeout(), c.idleTimeout);
        EXPECT_EQ(pool.StackSize(), c.stackSize);
        EXPECT_TRUE(pool.Stop());
    }
}

TEST(ThreadPoolCreate, SettersApplyOnlyWhileRunningAndRoundStackTo8192s) {
    ThreadPool pool;
    pool.SetMaxThreads(9);
    pool.SetIdleTimeout(5000);
    EXPECT_EQ(pool.MaxThreads(), 0);
    ASSERT_TRUE(pool.Create(1, 2));
    pool.SetStackSize(20000);
    EXPECT_EQ(pool.StackSize(), 16384u);
    pool.SetStackSize(5000);
    EXPECT_EQ(pool.StackSize(), 8192u);
    pool.SetIdleTimeout(10);
    EXPECT_EQ(pool.IdleTimeout(), 100);
    pool.SetMaxThreads(0);
    EXPECT_EQ(pool.MaxThreads(), 1);
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolCreate, CreateOnARunningPoolFailsAndChangesNothing) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, 3, 700));
    EXPECT_FALSE(pool.Create(6, 9, 200, false, 65536));
    EXPECT_EQ(pool.State(), ThreadPool::kRunning);
    EXPECT_EQ(pool.ThreadCount(), 2);
    EXPECT_EQ(pool.MaxThreads(), 3);
    EXPECT_EQ(pool.IdleTimeout(), 700);
    EXPECT_EQ(pool.StackSize(), 0u);
    Counter c;
    EXPECT_TRUE(pool.Post(&CountTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 1; }));
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolCreate, StoppedPoolRefusesWorkAndStopsAgainAtOnce) {
    ThreadPool pool;
    Counter c;
    EXPECT_TRUE(pool.Stop());
    EXPECT_FALSE(pool.Post(&CountTask, 0, Ctx(c)));
    EXPECT_FALSE(pool.Pause());
    EXPECT_FALSE(pool.Resume());
    EXPECT_FALSE(pool.WaitResumed(0));
    EXPECT_FALSE(pool.WaitTaskDone(0));
    EXPECT_EQ(pool.QueuedCount(), 0);
    EXPECT_TRUE(pool.IsIdle());
}

// Regression: quit packets left in the port by one run used to end the next run's workers.
TEST(ThreadPoolCreate, APoolCanBeCreatedAgainAfterStopAndItsWorkersSurvive) {
    ThreadPool pool;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(pool.Create(2, 2)) << "round " << round;
        Counter c;
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(pool.Post(&CountTask, i, Ctx(c)));
        ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 20; })) << "round " << round;
        EXPECT_EQ(pool.ThreadCount(), 2) << "round " << round;
        EXPECT_TRUE(pool.Stop(round == 0 ? 2 : 0));
        ASSERT_TRUE(WaitUntil([&] { return pool.State() == ThreadPool::kStopped; }));
    }
}

TEST(ThreadPoolPost, EveryTaskRunsExactlyOnceWithItsArguments) {
    constexpr int kPosters = 4, kPerPoster = 2500, kTotal = kPosters * kPerPoster;
    struct Hits {
        std::atomic<int> count[kTotal];
        std::atomic<int> badArgument{0};
    };
    auto hits = std::make_unique<Hits>();
    for (auto& h : hits->count) h = 0;

    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, 5, 200));
    // The first argument goes out signed and negative, to show it survives the 32-bit slot.
    PoolTask task = [](INT_PTR a1, INT_PTR a2) {
        auto* h = reinterpret_cast<Hits*>(a2);
        INT_PTR index = -a1 - 1;
        if (index < 0 || index >= kTotal) {
            ++h->badArgument;
            return;
        }
        ++h->count[index];
    };
    std::atomic<int> refused{0};
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < kPerPoster; ++i) {
                INT_PTR index = p * kPerPoster + i;
                if (!pool.Post(task, -index - 1, reinterpret_cast<INT_PTR>(hits.get()))) {
                    ++refused;
                }
            }
        });
    }
    for (auto& t : posters) t.join();
    ASSERT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));

    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(hits->badArgument.load(), 0);
    int missing = 0, doubled = 0;
    for (auto& h : hits->count) {
        missing += h.load() == 0;
        doubled += h.load() > 1;
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(doubled, 0);
    // Regression: a stale "started" signal let the manager start workers past the limit.
    EXPECT_LE(pool.ThreadCount(), 5);
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolPost, RefusesWhatCannotTravelInAPacket) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1));
    Counter c;
    EXPECT_FALSE(pool.Post(nullptr, 0, Ctx(c)));
    EXPECT_FALSE(pool.PostAddress(0, 0, Ctx(c)));
    EXPECT_FALSE(pool.PostAddress(-2, 0, Ctx(c)));  // the quit marker
    EXPECT_FALSE(pool.Post(&CountTask, INT_PTR(1) << 40, Ctx(c)));
    EXPECT_EQ(pool.QueuedCount(), 0);
    EXPECT_TRUE(pool.IsIdle());
    EXPECT_TRUE(pool.PostAddress(reinterpret_cast<INT_PTR>(&CountTask), 0x7FFFFFFF, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 1; }));
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolIdle, IsIdleStaysFalseFromPostUntilTheTaskHasReturned) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1));
    Gate gate;
    Counter c;
    c.gate = &gate;
    c.pool = &pool;
    ASSERT_TRUE(pool.Pause());  // hold the task between the port and its start
    ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)));
    EXPECT_FALSE(pool.IsIdle());
    ::Sleep(30);
    EXPECT_FALSE(pool.IsIdle());
    ASSERT_TRUE(pool.Resume());
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 1; }));
    EXPECT_FALSE(pool.IsIdle());
    EXPECT_EQ(pool.QueuedCount(), 0);
    EXPECT_EQ(pool.IdleThreadCount(), 0);
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));
    EXPECT_EQ(c.runs.load(), 1);
    EXPECT_EQ(c.sawIdleInside.load(), 0);
    EXPECT_TRUE(pool.Stop());
}

// A watcher that finds the pool idle must find every task whose Post had returned finished.
TEST(ThreadPoolIdle, IdleNeverShowsWhileAPostedTaskIsUnfinished) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, 4, 100));
    struct Shared {
        std::atomic<int> posted{0}, finished{0}, violations{0};
        std::atomic<bool> done{false};
    } s;
    PoolTask task = [](INT_PTR, INT_PTR a2) {
        auto* sh = reinterpret_cast<Shared*>(a2);
        for (int k = 0; k < 200; ++k) YieldProcessor();
        ++sh->finished;
    };
    std::thread watcher([&] {
        while (!s.done.load()) {
            int postedBefore = s.posted.load();
            if (pool.IsIdle() && s.finished.load() < postedBefore) ++s.violations;
        }
    });
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(pool.Post(task, 0, reinterpret_cast<INT_PTR>(&s)));
        ++s.posted;
        if (i % 50 == 0) ::Sleep(0);
    }
    ASSERT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));
    s.done = true;
    watcher.join();
    EXPECT_EQ(s.finished.load(), 5000);
    EXPECT_EQ(s.violations.load(), 0);
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolSize, GrowsToItsLimitUnderLoadAndShrinksBackAfterTheIdleTimeout) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 3, 100));
    Gate gate;
    Counter c;
    c.gate = &gate;
    c.pool = &pool;
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool.ThreadCount() == 3; }));
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 3; }));
    ::Sleep(100);  // the manager must not go past the limit while demand lasts
    EXPECT_EQ(pool.ThreadCount(), 3);
    EXPECT_EQ(pool.QueuedCount(), 5);
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));
    EXPECT_EQ(c.runs.load(), 8);
    EXPECT_LE(c.mostThreads.load(), 3);
    ASSERT_TRUE(WaitUntil([&] { return pool.ThreadCount() == 1; }));
    ::Sleep(300);  // and the first worker stays: it waits without limit
    EXPECT_EQ(pool.ThreadCount(), 1);
    EXPECT_EQ(pool.State(), ThreadPool::kRunning);
    ExpectGrowsAgain(pool, 3);
    EXPECT_TRUE(pool.Stop());
}

// Idle workers here would live for ten minutes, so any the pool started without a task waiting
// for them would still be counted.
TEST(ThreadPoolSize, NeverGrowsPastItsBusyAndQueuedTasksWhateverItsLimit) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 10, 600000));
    Gate gate;
    Counter c;
    c.gate = &gate;
    ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)) && pool.Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 2; }));
    pool.SetMaxThreads(20);
    ::Sleep(200);
    EXPECT_EQ(pool.ThreadCount(), 2);
    gate.Open();
    EXPECT_TRUE(pool.Stop(1));
    EXPECT_EQ(c.runs.load(), 2);
}

TEST(ThreadPoolSize, RaisingTheLimitAddsWorkersForWaitingTasks) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1, 100));
    Gate gate;
    Counter c;
    c.gate = &gate;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 1; }));
    ::Sleep(50);
    EXPECT_EQ(pool.ThreadCount(), 1);
    pool.SetMaxThreads(3);
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 3; }));
    EXPECT_EQ(pool.ThreadCount(), 3);
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 3; }));
    EXPECT_TRUE(pool.Stop());
}

// Idle workers here would live for ten minutes, ten times the longest wait below: only the
// retiring can have sent them away.
TEST(ThreadPoolSize, RetiredSpareWorkersLeaveAtOnceButNeverBeforeTheQueuedTasks) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, 4, 600000));
    Gate gate;
    Counter c;
    c.gate = &gate;
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 4 && pool.QueuedCount() == 3; }));
    pool.RetireSpareWorkers();  // behind three queued tasks, which still run
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 7 && pool.IsIdle(); }));
    pool.RetireSpareWorkers();
    ASSERT_TRUE(WaitUntil([&] { return pool.ThreadCount() == 2; }));
    ::Sleep(100);  // the first workers pass the requests over and stay
    EXPECT_EQ(pool.ThreadCount(), 2);
    ExpectGrowsAgain(pool, 4);
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolPause, PausedWorkersHoldTakenTasksUntilResume) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, 2));
    Counter c;
    ASSERT_TRUE(pool.Pause());
    EXPECT_FALSE(pool.WaitResumed(0));
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(pool.Post(&CountTask, 0, Ctx(c)));
    ::Sleep(100);
    EXPECT_EQ(c.runs.load(), 0);
    EXPECT_FALSE(pool.IsIdle());
    ASSERT_TRUE(pool.Resume());
    EXPECT_TRUE(pool.WaitResumed(0));
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 6; }));
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolPause, StoppingAPausedPoolReleasesItsWorkers) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, 2));
    Counter c;
    ASSERT_TRUE(pool.Pause());
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(pool.Post(&CountTask, 0, Ctx(c)));
    EXPECT_TRUE(pool.Stop(1));
    EXPECT_EQ(pool.State(), ThreadPool::kStopped);
    EXPECT_EQ(c.runs.load(), 4);
}

TEST(ThreadPoolWait, WaitTaskDoneReportsFinishedTasksAndTimesOutOtherwise) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1));
    EXPECT_FALSE(pool.WaitTaskDone(30));
    EXPECT_FALSE(pool.WaitTaskDone(30, true));
    Counter c;
    ASSERT_TRUE(pool.Post(&CountTask, 0, Ctx(c)));
    EXPECT_TRUE(pool.WaitTaskDone());
    EXPECT_EQ(c.runs.load(), 1);
    ASSERT_TRUE(pool.Post(&CountTask, 0, Ctx(c)));
    EXPECT_TRUE(pool.WaitTaskDone(-1, true));
    EXPECT_TRUE(pool.Stop());
}

namespace {

// One blocked task holding the only worker, five counting tasks queued behind it.
struct StopScene {
    ThreadPool pool;
    Gate gate;
    Counter blocker, queued;
    StopScene() {
        blocker.gate = &gate;
        EXPECT_TRUE(pool.Create(1, 1));
        EXPECT_TRUE(pool.Post(&BlockedTask, 0, Ctx(blocker)));
        EXPECT_TRUE(WaitUntil([&] { return pool.BusyCount() == 1; }));
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(pool.Post(&CountTask, 0, Ctx(queued)));
    }
};

}  // namespace

TEST(ThreadPoolStop, EachModeDropsOrRunsTheQueuedTasks) {
    struct Case {
        int mode;
        int queuedRuns;
    } cases[] = {{0, 0}, {1, 5}, {2, 0}, {3, 5}, {7, 0}, {-1, 0}};
    for (const Case& c : cases) {
        StopScene scene;
        // The blocked task lets go shortly, so the waiting modes have something to wait for.
        std::thread opener([&] {
            ::Sleep(50);
            scene.gate.Open();
        });
        EXPECT_TRUE(scene.pool.Stop(c.mode)) << "mode " << c.mode;
        EXPECT_FALSE(scene.pool.Post(&CountTask, 0, Ctx(scene.queued))) << "mode " << c.mode;
        opener.join();
        ASSERT_TRUE(scene.pool.WaitStopped(INFINITE));
        EXPECT_EQ(scene.pool.State(), ThreadPool::kStopped);
        EXPECT_EQ(scene.blocker.runs.load(), 1) << "mode " << c.mode;
        EXPECT_EQ(scene.queued.runs.load(), c.queuedRuns) << "mode " << c.mode;
        EXPECT_EQ(scene.pool.ThreadCount(), 0);
        EXPECT_EQ(scene.pool.QueuedCount(), 0);
        EXPECT_TRUE(scene.pool.IsIdle());
    }
}

TEST(ThreadPoolStop, WaitingModesReturnAfterTheWorkersLeft) {
    for (int mode : {0, 1}) {
        StopScene scene;
        std::thread opener([&] {
            ::Sleep(50);
            scene.gate.Open();
        });
        ASSERT_TRUE(scene.pool.Stop(mode, std::nullopt, true));
        EXPECT_EQ(scene.pool.State(), ThreadPool::kStopped) << "mode " << mode;
        EXPECT_EQ(scene.pool.ThreadCount(), 0) << "mode " << mode;
        opener.join();
    }
}

TEST(ThreadPoolStop, TimedOutStopLeavesTheTeardownToTheLastWorker) {
    StopScene scene;
    EXPECT_FALSE(scene.pool.Stop(0, 60));
    EXPECT_EQ(scene.pool.State(), ThreadPool::kStopping);
    EXPECT_FALSE(scene.pool.Stop());        // already being stopped
    EXPECT_FALSE(scene.pool.Create(1, 1));  // not stopped yet
    EXPECT_FALSE(scene.pool.WaitStopped(0));
    scene.gate.Open();
    ASSERT_TRUE(scene.pool.WaitStopped(INFINITE));
    EXPECT_EQ(scene.queued.runs.load(), 0);
    EXPECT_TRUE(scene.pool.Create(1, 1));
    EXPECT_TRUE(scene.pool.Stop());
}

// Regression: the workers used to reach back into the pool object after it was destroyed.
TEST(ThreadPoolLifetime, DestroyingThePoolWhileATaskRunsLetsTheWorkerFinishSafely) {
    alignas(ThreadPool) unsigned char storage[sizeof(ThreadPool)];
    auto* pool = new (storage) ThreadPool;
    ASSERT_TRUE(pool->Create(1, 1));
    Gate gate;
    Counter c;
    c.gate = &gate;
    ASSERT_TRUE(pool->Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(pool->Post(&CountTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool->BusyCount() == 1; }));
    pool->~ThreadPool();
    std::memset(storage, 0xDD, sizeof storage);  // what a reused allocation would hold
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 1; }));
    ::Sleep(100);                 // the worker leaves and tears down after the task
    EXPECT_EQ(c.runs.load(), 1);  // the queued task was dropped with the pool
}

TEST(ThreadPoolThreads, WorkersCarryTheirName) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1));
    struct Seen {
        std::wstring name;
        std::atomic<bool> done{false};
    } seen;
    ASSERT_TRUE(pool.Post(
        [](INT_PTR, INT_PTR a2) {
            auto* s = reinterpret_cast<Seen*>(a2);
            s->name = threads_test::ThreadDescription(::GetCurrentThread());
            s->done = true;
        },
        0, reinterpret_cast<INT_PTR>(&seen)));
    ASSERT_TRUE(WaitUntil([&] { return seen.done.load(); }));
    EXPECT_EQ(seen.name, L"pool worker");
    EXPECT_TRUE(pool.Stop());
}

// A stack no machine can commit makes every thread creation fail.
constexpr LONG_PTR kImpossibleStack = LONG_PTR(1) << 44;

TEST(ThreadPoolFailures, CreateWithNoWorkerUndoesEverythingAndCanBeRetried) {
    ThreadPool pool;
    EXPECT_FALSE(pool.Create(2, 2, std::nullopt, false, kImpossibleStack));
    EXPECT_EQ(pool.State(), ThreadPool::kStopped);
    EXPECT_EQ(pool.ThreadCount(), 0);
    Counter c;
    EXPECT_FALSE(pool.Post(&CountTask, 0, Ctx(c)));
    ASSERT_TRUE(pool.Create(1, 1));
    ASSERT_TRUE(pool.Post(&CountTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 1; }));
    EXPECT_TRUE(pool.Stop());
}

TEST(ThreadPoolFailures, RepeatedStartFailuresLowerTheLimitToTheWorkersThereAre) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 4, 100));
    pool.SetStackSize(kImpossibleStack);
    Gate gate;
    Counter c;
    c.gate = &gate;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(pool.Post(&BlockedTask, 0, Ctx(c)));
    ASSERT_TRUE(WaitUntil([&] { return pool.MaxThreads() == 1; }));
    EXPECT_EQ(pool.ThreadCount(), 1);
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return c.runs.load() == 3; }));  // the one worker did them all
    EXPECT_TRUE(pool.Stop());
}

namespace {

void SendToWindow(INT_PTR, INT_PTR hwnd) {
    ::SendMessageW(reinterpret_cast<HWND>(hwnd), WM_APP, 0, 0);
}

}  // namespace

// A task that needs the window thread (as the download jobs do, through the window) must not
// deadlock against that thread waiting for the pool.
TEST(ThreadPoolPump, PumpingWaitsAnswerTheTasksMessagesToTheWaitingThread) {
    threads_test::MessageSink sink;
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1, std::nullopt, true));
    ASSERT_TRUE(pool.Post(&SendToWindow, 0, reinterpret_cast<INT_PTR>(sink.hwnd())));
    EXPECT_TRUE(pool.WaitTaskDone(-1, true));
    EXPECT_EQ(sink.received(), 1);

    ASSERT_TRUE(pool.Post(&SendToWindow, 0, reinterpret_cast<INT_PTR>(sink.hwnd())));
    ASSERT_TRUE(pool.Post(&SendToWindow, 0, reinterpret_cast<INT_PTR>(sink.hwnd())));
    EXPECT_TRUE(pool.Stop(1, std::nullopt, true));
    EXPECT_EQ(sink.received(), 3);
    EXPECT_EQ(pool.State(), ThreadPool::kStopped);
}

TEST(ThreadPoolPump, WithoutPumpingAStopWithATimeoutGivesUpOnABlockedTask) {
    threads_test::MessageSink sink;
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, 1));
    ASSERT_TRUE(pool.Post(&SendToWindow, 0, reinterpret_cast<INT_PTR>(sink.hwnd())));
    ASSERT_TRUE(WaitUntil([&] { return pool.BusyCount() == 1; }));
    EXPECT_FALSE(pool.Stop(1, 100));
    EXPECT_EQ(sink.received(), 0);
    ASSERT_TRUE(WaitUntil([&] {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // answers the pending send
        return pool.State() == ThreadPool::kStopped;
    }));
    EXPECT_EQ(sink.received(), 1);
}
