#include "app/app_state.h"

#include <windows.h>

#include "threads/message_pump.h"

AppState::AppState(AppView& v) : view(v) {}

AppState::~AppState() {
    Shutdown();
}

bool AppState::Start() {
    const bool poolUp = pool.Create(1, kParallelFetches + kWritingWorkers);
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
