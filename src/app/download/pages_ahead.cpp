#include "app/download/pages_ahead.h"

#include "app/download/listing_plan.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

// Outlives the driver's object while a worker still fetches a page for it.
struct PagesAhead::Shared : std::enable_shared_from_this<Shared> {
    Fetch fetch;
    Post post;
    int last = 0;
    int ahead = 1;
    std::mutex mutex;
    std::condition_variable_any arrived;
    std::map<int, PhotoPage> pages;  // fetched and not yet taken
    int asked = 0;                   // pages handed to the workers so far: 1 to asked
    int onTheirWay = 0;
    // A page came empty: the list ends there, so nothing more is asked for, not even in the
    // place of pages with photos that came since (every page before it was asked already).
    bool endSeen = false;
    bool closed = false;

    void Put(int page, PhotoPage listed) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!closed) pages[page] = std::move(listed);
        }
        arrived.notify_all();
    }

    // Asks for every page up to `through`, then for more while fewer than `ahead` are on their
    // way: after a page that brought photos (through 0), or when the driver awaits a page not
    // asked for yet. A driver taking a page already asked for asks nothing: that page may be
    // the empty one that ends the list. The pages are counted under the lock and posted
    // outside it, as a worker may run the task before post returns.
    void AskMore(int through) {
        std::vector<int> next;
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (closed) return;
            const bool fill = through == 0 || asked < through;
            while (asked < through || (fill && asked < last && onTheirWay < ahead && !endSeen)) {
                next.push_back(++asked);
                ++onTheirWay;
            }
        }
        for (const int page : next) {
            const std::shared_ptr<Shared> self = shared_from_this();
            if (!post([self, page] { self->FetchOne(page); })) Arrive(page, PhotoPage{});
        }
    }

    void FetchOne(int page) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (closed) return;
        }
        Arrive(page, fetch(page));
    }

    void Arrive(int page, PhotoPage listed) {
        // A page that is not full is the last, whatever the total said.
        const bool full = listed.ok && listed.photos.size() >= static_cast<size_t>(kPhotosPerPage);
        {
            std::lock_guard<std::mutex> guard(mutex);
            --onTheirWay;
            if (listed.ok && !full) endSeen = true;
        }
        Put(page, std::move(listed));
        if (full) AskMore(0);
    }
};

PagesAhead::PagesAhead(Fetch fetch, Post post, int last, int ahead)
    : shared_(std::make_shared<Shared>()) {
    shared_->fetch = std::move(fetch);
    shared_->post = std::move(post);
    shared_->last = std::max(last, 0);
    shared_->ahead = std::max(ahead, 0);
}

PagesAhead::~PagesAhead() {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    shared_->closed = true;
    shared_->pages.clear();
}

void PagesAhead::Begin(PhotoPage first) {
    {
        std::lock_guard<std::mutex> guard(shared_->mutex);
        if (shared_->asked != 0) return;
        shared_->asked = 1;
        ++shared_->onTheirWay;
    }
    shared_->Arrive(1, std::move(first));
}

PhotoPage PagesAhead::Take(int page, std::stop_token stop) {
    if (page < 1) return PhotoPage{};
    shared_->AskMore(page);
    std::unique_lock<std::mutex> guard(shared_->mutex);
    const auto& pages = shared_->pages;
    if (!shared_->arrived.wait(guard, stop, [&] { return pages.contains(page); }))
        return PhotoPage{};
    const auto found = shared_->pages.find(page);
    PhotoPage listed = std::move(found->second);
    shared_->pages.erase(found);
    return listed;
}
