#pragma once
// The state the flows share: login cookies, the analysed user, the chosen size, the save
// folder, the album list, the current download run, the three flow slots, the pool and the lock.
// The main window owns one; tests make their own around a recording view.
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "app/app_view.h"
#include "app/flow_slot.h"
#include "app/records.h"
#include "threads/mutex.h"
#include "threads/thread_pool.h"

// One download run: its own photo list and counters, so that jobs queued by an earlier run can
// never claim a later run's photos or raise its counts.
struct DownloadRun {
    unsigned id = 0;
    std::shared_ptr<FlowToken> token;
    Text albumFolder;
    Text sizeSegment;

    std::atomic<int> downloadedCount{0};
    std::atomic<int> listedCount{0};
    std::atomic<int> claimedCount{0};
    std::atomic<int> failedCount{0};
    std::atomic<int> settledCount{0};  // jobs that finished, written or not

    // Appended by the driver while jobs copy entries out; storage may move, so both sides lock.
    void AppendPhoto(const PhotoRecord& photo);
    bool PhotoAt(int position, PhotoRecord& out) const;  // 1-based
    int PhotoCount() const;

  private:
    mutable std::mutex photosMutex_;
    std::vector<PhotoRecord> photos_;
};

class AppState {
  public:
    explicit AppState(AppView& view);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Pool (1 to 5 workers) and lock; false when either cannot be made.
    bool Start();
    // Retires every flow and stops the pool without waiting for running downloads.
    void Shutdown();
    // After Shutdown: waits until no thread of the flows or the pool can touch this object any
    // more. For tests; the program ends the process instead.
    bool WaitForThreads(unsigned long timeoutMs);

    AppView& view;

    // Shared fields. Texts written by one flow before another reads them; the small lock below
    // guards the ones that change while others may read.
    Text cookieText;
    Text qrId;
    Text loginAlt;
    Text ownerId;
    Text ownerNick;
    Text viewerId;
    Text viewerNick;
    Text avatarUrl;
    Text saveFolder;
    Text albumFolder;
    Text sizeSegment;

    std::vector<AlbumRecord> albums;  // position i + 1 belongs to album item i

    FlowSlot analysisThread;
    FlowSlot downloadThread;
    FlowSlot loginThread;

    ThreadPool pool;
    Mutex lock;  // status updates of worker threads and the jobs' error boxes

    // Jobs between "may I write?" and the end of their file write; shutdown waits for them so
    // the process never ends with a half-written temporary file.
    std::atomic<int> writers{0};

    // Guards the fields above that cross threads (cookieText, owner fields, albums, albumFolder,
    // saveFolder, sizeSegment, currentRun).
    mutable std::mutex fieldsMutex;

    // A copy of one of the text fields above, read under fieldsMutex.
    Text Field(Text AppState::*field) const {
        std::lock_guard<std::mutex> guard(fieldsMutex);
        return this->*field;
    }

    // The run whose jobs may still claim photos, or null.
    std::shared_ptr<DownloadRun> CurrentRun() const;
    std::shared_ptr<DownloadRun> BeginRun(const std::shared_ptr<FlowToken>& token);
    std::shared_ptr<DownloadRun> RunById(unsigned id) const;

    // Runs fn on the window thread only while stillCurrent() holds there; false when the flow
    // was retired (fn then did not run). The check runs on the window thread, where every
    // command that retires a flow runs too, so nothing can slip in between.
    bool OnWindowIf(const std::function<bool()>& stillCurrent, const std::function<void()>& fn);
    bool OnWindowIf(const FlowSlot& slot, const std::shared_ptr<FlowToken>& token,
                    const std::function<void()>& fn) {
        return OnWindowIf([&] { return slot.IsCurrent(token); }, fn);
    }
    // Sets the status text under the lock, if the flow is still current.
    bool StatusIf(const std::function<bool()>& stillCurrent, const Text& text);
    bool StatusIf(const FlowSlot& slot, const std::shared_ptr<FlowToken>& token, const Text& text) {
        return StatusIf([&] { return slot.IsCurrent(token); }, text);
    }

  private:
    std::shared_ptr<DownloadRun> currentRun_;
    unsigned nextRunId_ = 1;
};

// Waits about 500 ms in 15 ms slices, handling the thread's window messages after each, as the
// login poll and the end of a download run do. Returns early when the token asks to stop.
void PumpedWait500(const FlowToken* token);
