#include "app/download/downloads.h"

#include <windows.h>

#include <chrono>

#include "app/download/pool_tasks.h"

namespace {

// A write under way is short (the picture is in memory): this is ample for it to finish.
constexpr auto kWriteGrace = std::chrono::milliseconds(2000);

}  // namespace

bool Downloads::Start() {
    return pool_.Create(1, kParallelFetches + kWritingWorkers) &&
           listing_.Create(1, kListingWorkers);
}

void Downloads::Stop() {
    runs_.StopAll();
    {
        std::unique_lock<std::mutex> guard(writersMutex_);
        writersDone_.wait_for(guard, kWriteGrace, [this] { return writers_ == 0; });
    }
    // The process ends without waiting for the driver, which would remove it at its end.
    if (const std::shared_ptr<DownloadRun> run = runs_.Latest())
        if (const auto album = run->LatestAlbum()) album->RemovePartFolder();
    pool_.Stop(ThreadPool::kStopDropNoWait);
    listing_.Stop(ThreadPool::kStopDropNoWait);
}

bool Downloads::WaitStopped(unsigned long timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    if (!pool_.WaitStopped(timeoutMs)) return false;
    const ULONGLONG now = GetTickCount64();
    return listing_.WaitStopped(now < end ? static_cast<DWORD>(end - now) : 0);
}

bool Downloads::Queue(std::function<void()> job) {
    return PostTask(pool_, std::move(job));
}

bool Downloads::QueueListing(std::function<void()> task) {
    return PostTask(listing_, std::move(task));
}

Downloads::WriteTurn::WriteTurn(Downloads& owner) : owner_(owner) {
    std::lock_guard<std::mutex> guard(owner_.writersMutex_);
    ++owner_.writers_;
}

Downloads::WriteTurn::~WriteTurn() {
    {
        std::lock_guard<std::mutex> guard(owner_.writersMutex_);
        --owner_.writers_;
    }
    owner_.writersDone_.notify_all();
}
