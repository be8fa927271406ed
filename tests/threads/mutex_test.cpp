#include "threads/mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "threads/test_support.h"

namespace {

// Whether another thread can take the mutex right now (it releases it again at once).
bool FreeForOthers(Mutex m) {
    bool took = false;
    std::thread other([&] {
        took = m.Lock(0);
        if (took) m.Unlock();
    });
    other.join();
    return took;
}

}  // namespace

TEST(MutexHandle, WithoutAHandleEveryOperationFails) {
    Mutex m;
    EXPECT_FALSE(m.IsValid());
    EXPECT_EQ(m.Handle(), nullptr);
    EXPECT_FALSE(m.Lock());
    EXPECT_FALSE(m.Lock(0));
    EXPECT_FALSE(m.Unlock());
    EXPECT_TRUE(m.Close());  // nothing to close
}

TEST(MutexHandle, CreatingTwiceKeepsTheFirstMutex) {
    Mutex m;
    ASSERT_TRUE(m.Create());
    HANDLE first = m.Handle();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(m.Create(true));
    EXPECT_EQ(m.Handle(), first);
    EXPECT_TRUE(FreeForOthers(m));  // the second call did not make an owned mutex
    EXPECT_TRUE(m.Close());
    EXPECT_FALSE(m.IsValid());
}

TEST(MutexHandle, CopiesShareTheHandleAndDestructionDoesNotCloseIt) {
    Mutex m;
    ASSERT_TRUE(m.Create());
    {
        Mutex copy = m;
        EXPECT_EQ(copy.Handle(), m.Handle());
        Mutex assigned;
        assigned = m;
        EXPECT_EQ(assigned.Handle(), m.Handle());
    }
    ASSERT_TRUE(m.Lock(0));  // the handle still works after the copies went away
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(m.Close());
}

TEST(MutexHandle, ConcurrentCreateOnOneObjectLeavesOneHandleAndNoLeak) {
    DWORD before = 0, after = 0;
    ASSERT_TRUE(::GetProcessHandleCount(::GetCurrentProcess(), &before));
    for (int round = 0; round < 20; ++round) {
        Mutex m;
        std::atomic<int> ok{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) threads.emplace_back([&] { ok += m.Create(); });
        for (auto& t : threads) t.join();
        EXPECT_EQ(ok.load(), 8);
        EXPECT_TRUE(m.Close());
    }
    ASSERT_TRUE(::GetProcessHandleCount(::GetCurrentProcess(), &after));
    // Thread creation may leave a few handles of its own behind; 20 rounds of lost mutexes
    // would leave far more.
    EXPECT_LT(after, before + 20);
}

TEST(MutexLock, OwnerLocksRecursivelyAndOthersWaitUntilFullyReleased) {
    Mutex m;
    ASSERT_TRUE(m.Create());
    ASSERT_TRUE(m.Lock());
    ASSERT_TRUE(m.Lock(0));
    EXPECT_FALSE(FreeForOthers(m));
    EXPECT_TRUE(m.Unlock());
    EXPECT_FALSE(FreeForOthers(m));
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(FreeForOthers(m));
    EXPECT_FALSE(m.Unlock());  // not owned any more
    EXPECT_TRUE(m.Close());
}

TEST(MutexLock, InitiallyOwnedBelongsToTheCreator) {
    Mutex m;
    ASSERT_TRUE(m.Create(true));
    EXPECT_FALSE(FreeForOthers(m));
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(FreeForOthers(m));
    EXPECT_TRUE(m.Close());
}

TEST(MutexLock, UnlockFromAThreadThatDoesNotOwnItFails) {
    Mutex m;
    ASSERT_TRUE(m.Create());
    ASSERT_TRUE(m.Lock());
    bool released = true;
    std::thread other([&] { released = m.Unlock(); });
    other.join();
    EXPECT_FALSE(released);
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(m.Close());
}

// Regression: an abandoned mutex used to report failure although the waiter had become its
// owner, so nobody ever released it and every later Lock hung.
TEST(MutexLock, AMutexAbandonedByADeadThreadPassesToTheNextLocker) {
    Mutex m;
    ASSERT_TRUE(m.Create());
    std::thread dies([&] { ASSERT_TRUE(m.Lock()); });  // ends without Unlock
    dies.join();
    ASSERT_TRUE(m.Lock(5000));
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(FreeForOthers(m));
    EXPECT_TRUE(m.Close());
}

TEST(MutexNamed, OpenFindsAMutexByItsChineseName) {
    const Text name = "Pictalon\xB2\xE2\xCA\xD4\xCB\xF8";  // "...测试锁"
    Mutex made, opened, missing;
    ASSERT_TRUE(made.Create(false, name));
    ASSERT_TRUE(opened.Open(false, name));
    EXPECT_NE(opened.Handle(), made.Handle());
    ASSERT_TRUE(made.Lock());
    EXPECT_FALSE(FreeForOthers(opened));  // the same kernel object under two handles
    EXPECT_TRUE(made.Unlock());
    EXPECT_TRUE(FreeForOthers(opened));
    EXPECT_FALSE(missing.Open(false, "Pictalon\xCE\xDE\xB4\xCB\xCB\xF8"));
    EXPECT_FALSE(missing.IsValid());
    EXPECT_FALSE(missing.Open(false, ""));
    EXPECT_TRUE(opened.Close());
    EXPECT_TRUE(made.Close());
}
