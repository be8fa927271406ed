#pragma once
// The pages of a photo list, asked for a few at a time on the listing workers and handed to
// the driver in page order. An album whose pictures are all in its folder already is nothing
// but its listing, and one page after another spends that time waiting on the network.
#include <functional>
#include <memory>

#include "app/service_answers.h"

class PagesAhead {
  public:
    using Fetch = std::function<PhotoPage(int page)>;
    // Runs a task on a listing worker; false when it was refused (the task then never runs).
    using Post = std::function<bool(std::function<void()>)>;

    // Pages 1 to last, at most `ahead` of them asked for at once, counted from the page the
    // driver waits for: a total that lies costs a few pages past the end, never thousands.
    PagesAhead(Fetch fetch, Post post, int last, int ahead);
    // Pages not yet begun are never asked for; those on the network finish on their own.
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

    // The page as fetch gave it; not ok when it could not be asked for or stopped() said so
    // while it was awaited (stopped is asked every few milliseconds).
    PhotoPage Take(int page, const std::function<bool()>& stopped);

    // Asks for every page up to this one (within the last) now, whatever the driver awaits.
    void AskUpTo(int page);

  private:
    struct Shared;

    std::shared_ptr<Shared> shared_;
    Post post_;
    int last_;
    int ahead_;
    int asked_ = 0;  // pages handed to the workers so far: 1 to asked_
};
