#include "app/app_state.h"

#include <windows.h>

#include "threads/message_pump.h"

void DownloadRun::AppendPhoto(const PhotoRecord& photo) {
    std::lock_guard<std::mutex> guard(photosMutex_);
    photos_.push_back(photo);
}

bool DownloadRun::PhotoAt(int position, PhotoRecord& out) const {
    std::lock_guard<std::mutex> guard(photosMutex_);
    if (position < 1 || position > static_cast<int>(photos_.size())) return false;
    out = photos_[position - 1];
    return true;
}

int DownloadRun::PhotoCount() const {
    std::lock_guard<std::mutex> guard(photosMutex_);
    return static_cast<int>(photos_.size());
}

AppState::AppState(AppView& v) : view(v), sizeSegment("/mw1024/") {}

AppState::~AppState() {
    Shutdown();
}

bool AppState::Start() {
    const bool poolUp = pool.Create(1, 5);
    const bool lockUp = lock.Create(false, Text());
    return poolUp && lockUp;
}

void AppState::Shutdown() {
    analysisThread.Stop();
    downloadThread.Stop();
    loginThread.Stop();
    {
        std::lock_guard<std::mutex> guard(fieldsMutex);
        if (currentRun_ && currentRun_->token) currentRun_->token->RequestStop();
        currentRun_.reset();
    }
    // A write under way is short (the picture is in memory): let it finish or clean up.
    for (int waited = 0; writers.load() > 0 && waited < 2000; waited += 5) Sleep(5);
    // Drop queued jobs and do not wait: a job inside a network call may take minutes to notice.
    pool.Stop(ThreadPool::kStopDropNoWait);
}

bool AppState::WaitForThreads(unsigned long timeoutMs) {
    bool ended = analysisThread.JoinAll(timeoutMs) && downloadThread.JoinAll(timeoutMs) &&
                 loginThread.JoinAll(timeoutMs);
    const DWORD begin = GetTickCount();
    while (pool.State() != ThreadPool::kStopped) {
        if (GetTickCount() - begin > timeoutMs) return false;
        Sleep(10);
    }
    return ended;
}

std::shared_ptr<DownloadRun> AppState::CurrentRun() const {
    std::lock_guard<std::mutex> guard(fieldsMutex);
    return currentRun_;
}

std::shared_ptr<DownloadRun> AppState::BeginRun(const std::shared_ptr<FlowToken>& token) {
    auto run = std::make_shared<DownloadRun>();
    std::lock_guard<std::mutex> guard(fieldsMutex);
    if (currentRun_ && currentRun_->token) currentRun_->token->RequestStop();
    run->id = nextRunId_++;
    run->token = token;
    run->sizeSegment = sizeSegment;
    currentRun_ = run;
    return run;
}

std::shared_ptr<DownloadRun> AppState::RunById(unsigned id) const {
    std::lock_guard<std::mutex> guard(fieldsMutex);
    if (currentRun_ && currentRun_->id == id) return currentRun_;
    return nullptr;
}

bool AppState::OnWindowIf(const std::function<bool()>& stillCurrent,
                          const std::function<void()>& fn) {
    bool ran = false;
    view.RunOnWindowThread([&] {
        if (!stillCurrent()) return;
        fn();
        ran = true;
    });
    return ran;
}

bool AppState::StatusIf(const std::function<bool()>& stillCurrent, const Text& text) {
    if (!lock.Lock()) return false;
    const bool shown = OnWindowIf(stillCurrent, [&] { view.SetStatus(text); });
    lock.Unlock();
    return shown;
}

void PumpedWait500(const FlowToken* token) {
    const DWORD begin = GetTickCount();
    int slices = 0;
    while (slices < 33) {
        if (token && token->StopRequested()) return;
        Sleep(15);
        PumpPendingMessages();
        ++slices;
        if (GetTickCount() - begin >= 500) return;
    }
    Sleep(5);
    PumpPendingMessages();
}
