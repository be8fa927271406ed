// Listing pages asked for ahead: handed over in page order, each asked once, never more than
// allowed on their way at once, nothing asked past an empty page beyond those already on their
// way, and nothing asked once the listing is over.
#include "app/download/pages_ahead.h"

#include "app/download/listing_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace {

// A page of kind 'F' comes full, 'P' brings a photo, 'E' comes empty, 'X' fails; its total
// carries its number.
PhotoPage PageOfKind(int page, char kind) {
    PhotoPage listed;
    listed.ok = kind != 'X';
    listed.total = page;
    if (kind == 'F') listed.photos.resize(kPhotosPerPage);
    if (kind == 'P') listed.photos.resize(1);
    return listed;
}

char KindOf(const PhotoPage& listed) {
    return !listed.ok                                                   ? 'X'
           : listed.photos.empty()                                      ? 'E'
           : listed.photos.size() < static_cast<size_t>(kPhotosPerPage) ? 'P'
                                                                        : 'F';
}

// Records every page asked for.
struct Asked {
    std::string kinds = std::string(64, 'F');  // kinds[page - 1]
    std::mutex mutex;
    std::vector<int> pages;
    PagesAhead::Fetch Fetch() {
        return [this](int page) {
            std::lock_guard<std::mutex> guard(mutex);
            pages.push_back(page);
            return PageOfKind(page, kinds[page - 1]);
        };
    }
    std::vector<int> Sorted() {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<int> sorted = pages;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
};

// Tasks kept until the test runs them (or refused, or run at once).
struct Held {
    std::deque<std::function<void()>> tasks;
    bool refuse = false;
    bool runAtOnce = false;
    PagesAhead::Post Post() {
        return [this](std::function<void()> task) {
            if (refuse) return false;
            if (runAtOnce) {
                task();
            } else {
                tasks.push_back(std::move(task));
            }
            return true;
        };
    }
};

// Stopped from the start: a page already there is still handed over, one that is not fails the
// test instead of hanging it.
std::stop_token Stopped() {
    std::stop_source source;
    source.request_stop();
    return source.get_token();
}

TEST(PagesAhead, RunsAheadOfTheDriverInPageOrderWithinTheWindowAndStopsAtAnEmptyPage) {
    const struct {
        const char* kinds;  // page 1 first; it comes from the caller, never asked again
        int ahead;
        std::vector<int> asked;    // pages asked for, each once
        const char* taken;         // what the driver gets, up to the first empty page
        bool newestFirst = false;  // the workers' order: pages may come in any
        int promised = -1;         // the pages the total promises; -1: all of kinds
    } cases[] = {
        {"FFFFF", 2, {2, 3, 4, 5}, "FFFFF"},
        {"FFFFF", 0, {2, 3, 4, 5}, "FFFFF"},
        // Past an empty page only those already on their way: a lying total costs that much.
        {"FFFEEEEEE", 3, {2, 3, 4, 5, 6}, "FFFE"},
        // Nor in the place of an empty page that came before the pages with photos.
        {"FFFEEEEEE", 3, {2, 3, 4}, "FFFE", true},
        // A page that is not full is the last, whatever the total said; past the pages the
        // total promised, each page is asked for as the driver takes it.
        {"FFPFFFF", 3, {2, 3, 4, 5}, "FFP"},
        {"FFFFP", 3, {2, 3, 4, 5}, "FFFFP", false, 2},
        {"FFFP", 0, {2, 3, 4}, "FFFP"},
        {"F", 4, {}, "F"},
        {"E", 4, {}, "E"},
        // A failed page asks for nothing; once every page on its way failed, the driver's wait
        // for the next one asks for it and fills the window again.
        {"FXFFFF", 2, {2, 3, 4, 5, 6}, "FXFFFF"},
        {"FXXFFF", 2, {2, 3, 4, 5, 6}, "FXXFFF"},
    };
    for (const auto& c : cases) {
        const std::string kinds = c.kinds;
        const int last = static_cast<int>(kinds.size());
        const int promised = c.promised < 0 ? last : c.promised;
        SCOPED_TRACE(testing::Message()
                     << kinds << ", ahead " << c.ahead << (c.newestFirst ? ", newest first" : ""));
        Asked asked;
        asked.kinds = kinds;
        Held held;
        PagesAhead ahead(asked.Fetch(), held.Post(), promised, c.ahead);
        EXPECT_FALSE(ahead.Take(0, Stopped()).ok);
        ahead.Begin(PageOfKind(1, kinds[0]));
        // The workers, one task at a time, before the driver takes anything.
        while (!held.tasks.empty()) {
            EXPECT_LE(static_cast<int>(held.tasks.size()), std::max(c.ahead, 1));
            EXPECT_LE(asked.Sorted().size() + held.tasks.size(), static_cast<size_t>(promised));
            std::function<void()> task;
            if (c.newestFirst) {
                task = std::move(held.tasks.back());
                held.tasks.pop_back();
            } else {
                task = std::move(held.tasks.front());
                held.tasks.pop_front();
            }
            task();
        }
        held.runAtOnce = true;
        std::string taken;
        for (int page = 1; page <= last; ++page) {
            const PhotoPage listed = ahead.Take(page, Stopped());
            EXPECT_EQ(listed.total, page);
            taken += KindOf(listed);
            if (KindOf(listed) == 'E' || KindOf(listed) == 'P') break;
        }
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(asked.Sorted(), c.asked);
    }
}

TEST(PagesAhead, WaitsForAPageOnItsWayStopsWhenToldAndAsksNothingOnceOver) {
    Asked asked;
    Held held;
    {
        // A page fetched on another thread, before or while the driver waits for it, is handed
        // over.
        PagesAhead ahead(asked.Fetch(), held.Post(), 10, 3);
        ahead.Begin(PageOfKind(1, 'F'));
        ASSERT_EQ(held.tasks.size(), 3u);  // pages 2 to 4
        std::thread later(held.tasks[0]);
        EXPECT_EQ(KindOf(ahead.Take(1, Stopped())), 'F');
        EXPECT_EQ(ahead.Take(2, std::stop_token()).total, 2);
        later.join();
        // A page that does not come while the run stops is given up: the stop wakes the wait.
        std::stop_source stopping;
        std::thread stopper([&stopping] { stopping.request_stop(); });
        EXPECT_FALSE(ahead.Take(3, stopping.get_token()).ok);
        stopper.join();
        EXPECT_EQ(held.tasks.size(), 4u);  // page 2 brought a photo: page 5 was asked for
    }
    // The listing is over: pages handed to the workers but not begun are never fetched.
    for (size_t i = 1; i < held.tasks.size(); ++i) held.tasks[i]();
    EXPECT_EQ(asked.Sorted(), std::vector<int>{2});

    // A worker that refuses the task: the page is not ok at once, without waiting.
    held.refuse = true;
    PagesAhead refused(asked.Fetch(), held.Post(), 3, 2);
    refused.Begin(PageOfKind(1, 'F'));
    EXPECT_EQ(KindOf(refused.Take(1, std::stop_token())), 'F');
    EXPECT_FALSE(refused.Take(2, std::stop_token()).ok);
    EXPECT_FALSE(refused.Take(3, std::stop_token()).ok);
}

}  // namespace
