#pragma once
// The pages of a photo list, asked for ahead of the driver on the listing workers and handed
// to the driver in page order. An album whose pictures are all in its folder already is nothing
// but its listing, and one page after another spends that time waiting on the network.
#include <functional>
#include <memory>
#include <stop_token>

#include "app/service/service_answers.h"

class PagesAhead {
  public:
    using Fetch = std::function<PhotoPage(int page)>;
    // Runs a task on a listing worker; false when it was refused (the task then never runs).
    using Post = std::function<bool(std::function<void()>)>;

    // Pages 1 to last, the pages the album's total promises, are asked for ahead of the driver,
    // at most `ahead` of them on their way at once: a page that comes full asks for the next one
    // as it arrives, whether or not the driver has taken it yet, so the listing goes on while
    // the driver does other work; a page that is not full or fails asks for nothing, so a total
    // that lies high costs at most `ahead` pages past the end. Pages past `last` (a total that
    // lies low) are asked for one at a time as the driver takes them, and with `ahead` 0 so are
    // all.
    PagesAhead(Fetch fetch, Post post, int last, int ahead);
    // Pages not yet begun are never asked for; those on the network finish on their own.
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

    // The first page, fetched by the caller for the total: it is handed over as it is rather
    // than asked for again, and when it brings photos the pages after it are asked for now.
    void Begin(PhotoPage first);

    // The page as fetch gave it; not ok when it could not be asked for or a stop of `stop` came
    // while it was awaited (the stop wakes the wait at once). A page not asked for yet (the one
    // before it came empty or failed) is asked for now.
    PhotoPage Take(int page, std::stop_token stop);

  private:
    struct Shared;

    std::shared_ptr<Shared> shared_;
};
