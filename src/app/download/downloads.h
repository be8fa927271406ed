#pragma once
// The download side of the application: the pool that runs the jobs, the gate that bounds the
// picture requests in flight, the count of jobs writing a file and the board of runs. The window
// and the flows ask it; nothing else holds the pool.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "app/download/download_run.h"
#include "app/service/fetch_gate.h"
#include "threads/thread_pool.h"

class Downloads {
  public:
    Downloads() = default;
    Downloads(const Downloads&) = delete;
    Downloads& operator=(const Downloads&) = delete;

    // The pools (1 to kParallelFetches + kWritingWorkers workers for the jobs, 1 to
    // kListingWorkers for listing pages); false when either cannot be made.
    [[nodiscard]] bool Start();
    // Stops every run, lets a file write under way finish, and stops the pool without waiting
    // for jobs inside network calls (they may take minutes to notice).
    void Stop();
    // After Stop: waits until no worker of either pool runs any more; false when timeoutMs passed
    // first.
    [[nodiscard]] bool WaitStopped(unsigned long timeoutMs);

    // Window thread, at "下载选中": retires the current run and begins the next.
    std::shared_ptr<DownloadRun> Begin(std::shared_ptr<FlowToken> token, PictureSize size) {
        std::shared_ptr<DownloadRun> run = runs_.Begin(std::move(token), size);
        run->ListingBackoff().SetBoundMs(limitBoundMs_.load());
        run->PictureBackoff().SetBoundMs(limitBoundMs_.load());
        return run;
    }
    // How long the service may limit a run before the run ends (RateBackoff::kLimitBoundMs).
    void SetLimitBoundMs(unsigned ms) { limitBoundMs_.store(ms); }
    const RunBoard& Runs() const { return runs_; }
    RunBoard& Runs() { return runs_; }
    void NumberRunsFrom(unsigned first) { runs_.NumberFrom(first); }

    // Queues one job; false when the pool refused it (the job then never runs).
    [[nodiscard]] bool Queue(std::function<void()> job);
    // Runs a listing task (a page of a photo list) beside the jobs, so a listing never waits
    // behind the pictures already queued; false when the pool refused it.
    [[nodiscard]] bool QueueListing(std::function<void()> task);
    // No job runs or waits.
    bool Idle() const { return pool_.IsIdle(); }
    // The workers a finished run called up would idle for seconds, holding their memory.
    void RetireSpareWorkers() {
        pool_.RetireSpareWorkers();
        listing_.RetireSpareWorkers();
    }
    FetchGate& PictureGate() { return pictureGate_; }

    // A job between "may I write?" and the end of its file write: shutdown waits for it so the
    // process never ends with a half-written temporary file.
    class WriteTurn {
      public:
        explicit WriteTurn(Downloads& owner);
        ~WriteTurn();
        WriteTurn(const WriteTurn&) = delete;
        WriteTurn& operator=(const WriteTurn&) = delete;

      private:
        Downloads& owner_;
    };

  private:
    ThreadPool pool_;
    ThreadPool listing_;
    FetchGate pictureGate_{kParallelFetches};
    RunBoard runs_;
    std::mutex writersMutex_;
    std::condition_variable writersDone_;
    int writers_ = 0;
    std::atomic<unsigned> limitBoundMs_{RateBackoff::kLimitBoundMs};
};
