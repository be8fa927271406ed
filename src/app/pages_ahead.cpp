#include "app/pages_ahead.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace {

// How often a driver waiting for a page looks whether its run was stopped.
constexpr auto kStopLook = std::chrono::milliseconds(50);

}  // namespace

// Outlives the driver's object while a worker still fetches a page for it.
struct PagesAhead::Shared {
    Fetch fetch;
    std::mutex mutex;
    std::condition_variable arrived;
    std::map<int, PhotoPage> pages;  // fetched and not yet taken
    bool closed = false;

    void Put(int page, PhotoPage listed) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!closed) pages[page] = std::move(listed);
        }
        arrived.notify_all();
    }
};

PagesAhead::PagesAhead(Fetch fetch, Post post, int last, int ahead)
    : shared_(std::make_shared<Shared>()),
      post_(std::move(post)),
      last_(last),
      ahead_(std::max(ahead, 1)) {
    shared_->fetch = std::move(fetch);
}

PagesAhead::~PagesAhead() {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    shared_->closed = true;
    shared_->pages.clear();
}

void PagesAhead::AskUpTo(int page) {
    for (const int upTo = std::min(page, last_); asked_ < upTo;) {
        const int next = ++asked_;
        const std::shared_ptr<Shared> shared = shared_;
        const bool posted = post_([shared, next] {
            {
                std::lock_guard<std::mutex> guard(shared->mutex);
                if (shared->closed) return;
            }
            shared->Put(next, shared->fetch(next));
        });
        if (!posted) shared_->Put(next, PhotoPage{});
    }
}

PhotoPage PagesAhead::Take(int page, const std::function<bool()>& stopped) {
    if (page < 1 || page > last_) return PhotoPage{};
    AskUpTo(page + ahead_ - 1);
    std::unique_lock<std::mutex> guard(shared_->mutex);
    for (;;) {
        const auto found = shared_->pages.find(page);
        if (found != shared_->pages.end()) {
            PhotoPage listed = std::move(found->second);
            shared_->pages.erase(found);
            return listed;
        }
        if (stopped && stopped()) return PhotoPage{};
        shared_->arrived.wait_for(guard, kStopLook);
    }
}
