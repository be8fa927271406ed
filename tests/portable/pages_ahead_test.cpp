// Listing pages asked for ahead: handed over in page order, never asked past the last or further
// ahead than allowed, and nothing asked once the listing is over.
#include "app/pages_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Records every page asked for; the page's total carries its number.
struct Asked {
    std::mutex mutex;
    std::vector<int> pages;
    PagesAhead::Fetch Fetch() {
        return [this](int page) {
            std::lock_guard<std::mutex> guard(mutex);
            pages.push_back(page);
            PhotoPage listed;
            listed.ok = true;
            listed.total = page;
            return listed;
        };
    }
    int Highest() {
        std::lock_guard<std::mutex> guard(mutex);
        int most = 0;
        for (int page : pages) most = std::max(most, page);
        return most;
    }
};

// Tasks kept until the test runs them (or refused).
struct Held {
    std::vector<std::function<void()>> tasks;
    bool refuse = false;
    PagesAhead::Post Post() {
        return [this](std::function<void()> task) {
            if (refuse) return false;
            tasks.push_back(std::move(task));
            return true;
        };
    }
};

// Gives up after a few looks, so a page that never comes fails the test instead of hanging it.
struct Patience {
    int looks = 0;
    std::function<bool()> Stopped(int allowed) {
        return [this, allowed] { return ++looks > allowed; };
    }
};

TEST(PagesAhead, HandsPagesOverInOrderAskingOnlyAsFarAheadAsAllowed) {
    const struct {
        int last;
        int ahead;
        int along;  // pages asked beyond the awaited one
    } cases[] = {{5, 2, 1}, {5, 4, 3}, {3, 9, 2}, {4, 0, 0}, {1, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "last " << c.last << ", ahead " << c.ahead);
        Asked asked;
        const PagesAhead::Post inline_ = [](std::function<void()> task) {
            task();
            return true;
        };
        PagesAhead ahead(asked.Fetch(), inline_, c.last, c.ahead);
        Patience patience;
        EXPECT_FALSE(ahead.Take(0, patience.Stopped(0)).ok);
        EXPECT_TRUE(asked.pages.empty());
        for (int page = 1; page <= c.last; ++page) {
            const PhotoPage listed = ahead.Take(page, patience.Stopped(3));
            EXPECT_TRUE(listed.ok);
            EXPECT_EQ(listed.total, page);
            EXPECT_EQ(asked.Highest(), std::min(page + c.along, c.last));
        }
        EXPECT_FALSE(ahead.Take(c.last + 1, patience.Stopped(0)).ok);
        EXPECT_EQ(static_cast<int>(asked.pages.size()), c.last);  // each page once
    }
}

TEST(PagesAhead, WaitsForAPageOnItsWayStopsWhenToldAndAsksNothingOnceOver) {
    Asked asked;
    Held held;
    {
        // A page fetched on another thread once the driver is waiting for it is waited for.
        PagesAhead ahead(asked.Fetch(), held.Post(), 10, 3);
        ahead.AskUpTo(1);
        ASSERT_EQ(held.tasks.size(), 1u);
        std::atomic<bool> waiting{false};
        std::thread later([&waiting, task = held.tasks[0]] {
            while (!waiting.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            task();
        });
        Patience patience;
        const auto stopped = patience.Stopped(1000);
        const PhotoPage first = ahead.Take(1, [&] {
            waiting.store(true);
            return stopped();
        });
        later.join();
        EXPECT_TRUE(first.ok);
        // A page that does not come while the run stops is given up.
        EXPECT_FALSE(ahead.Take(2, patience.Stopped(patience.looks + 1)).ok);
        EXPECT_EQ(held.tasks.size(), 4u);  // pages 2 to 4 were asked for
    }
    // The listing is over: pages handed to the workers but not begun are never fetched.
    for (size_t i = 1; i < held.tasks.size(); ++i) held.tasks[i]();
    EXPECT_EQ(asked.pages, std::vector<int>{1});

    // A worker that refuses the task: the page is not ok at once, without waiting.
    held.refuse = true;
    PagesAhead refused(asked.Fetch(), held.Post(), 3, 2);
    Patience patience;
    EXPECT_FALSE(refused.Take(1, patience.Stopped(1000)).ok);
    EXPECT_EQ(patience.looks, 0);
}

}  // namespace
