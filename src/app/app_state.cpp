#include "app/app_state.h"

#include <windows.h>

AppState::AppState(AppView& v, WideText logFolder) : view_(v), log_(std::move(logFolder)) {}

AppState::~AppState() {
    Shutdown();
}

bool AppState::Start() {
    const bool poolUp = downloads_.Start();
    const bool lockUp = lock_.Create(false, Text());
    return poolUp && lockUp;
}

void AppState::Shutdown() {
    analysisFlow_.Stop();
    downloadFlow_.Stop();
    loginFlow_.Stop();
    downloads_.Stop();
}

bool AppState::WaitForThreads(unsigned long timeoutMs) {
    const bool ended = analysisFlow_.JoinAll(timeoutMs) && downloadFlow_.JoinAll(timeoutMs) &&
                       loginFlow_.JoinAll(timeoutMs);
    return downloads_.WaitStopped(timeoutMs) && ended;
}

bool AppState::OnWindowIf(const std::function<bool()>& stillCurrent,
                          const std::function<void()>& fn) {
    bool ran = false;
    view_.RunOnWindowThread([&] {
        if (!stillCurrent()) return;
        fn();
        ran = true;
    });
    return ran;
}

bool AppState::ShowIf(const std::function<bool()>& stillCurrent, const std::function<void()>& fn) {
    MutexLock held(lock_);
    if (!held) return false;
    return OnWindowIf(stillCurrent, fn);
}

void AppState::PostBox(std::function<bool()> stillCurrent, const Text& text, const Text& title,
                       unsigned icon) {
    view_.PostToWindowThread([this, stillCurrent = std::move(stillCurrent), text, title, icon] {
        if (stillCurrent()) view_.ShowMessageBox(text, title, icon);
    });
}
