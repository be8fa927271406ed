#include "app/app_state.h"

#include <windows.h>

#include "threads/message_pump.h"

Text LoginState::Cookies() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return cookies_;
}

void LoginState::SetCookies(const Text& cookies) {
    std::lock_guard<std::mutex> guard(mutex_);
    cookies_ = cookies;
}

Text LoginState::ViewerId() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return viewerId_;
}

void LoginState::SetViewerId(const Text& id) {
    std::lock_guard<std::mutex> guard(mutex_);
    viewerId_ = id;
}

OwnerProfile OwnerState::Get() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return profile_;
}

void OwnerState::SetOwner(const Text& ownerId, const Text& ownerNick) {
    std::lock_guard<std::mutex> guard(mutex_);
    profile_.ownerId = ownerId;
    profile_.ownerNick = ownerNick;
}

void OwnerState::SetAlbums(std::vector<AlbumRecord> albums) {
    std::lock_guard<std::mutex> guard(mutex_);
    profile_.albums = std::move(albums);
}

void OwnerState::Clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    profile_.albums.clear();
}

Settings::Settings() : sizeSegment_("/mw1024/") {}

Text Settings::SaveFolder() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return saveFolder_;
}

void Settings::SetSaveFolder(const Text& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    saveFolder_ = folder;
}

Text Settings::SizeSegment() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return sizeSegment_;
}

void Settings::SetSizeSegment(const Text& segment) {
    std::lock_guard<std::mutex> guard(mutex_);
    sizeSegment_ = segment;
}

AppState::AppState(AppView& v) : view(v) {}

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
    runs.StopAll();
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
    MutexLock held(lock);
    if (!held) return false;
    return OnWindowIf(stillCurrent, [&] { view.SetStatus(text); });
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
