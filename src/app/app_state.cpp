#include "app/app_state.h"

#include "app/signin/signin_renewal.h"

#include <windows.h>

Text LoginState::Cookies() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return cookies_;
}

void LoginState::SetCookies(const Text& cookies) {
    std::lock_guard<std::mutex> guard(mutex_);
    cookies_ = cookies;
}

void LoginState::MarkSignedIn() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        expired_ = false;
    }
    signedIn_.notify_all();
}

bool LoginState::ReportExpired(const Text& used) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (expired_ || used != cookies_) return false;
    expired_ = true;
    return true;
}

bool LoginState::Expired() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return expired_;
}

bool LoginState::WaitSignedIn(const FlowToken& token) const {
    std::unique_lock<std::mutex> guard(mutex_);
    return signedIn_.wait(guard, token.StopToken(), [this] { return !expired_; }) &&
           !token.StopRequested();
}

AppState::AppState(AppView& v, WideText logFolder) : view_(v), log_(std::move(logFolder)) {
    client_.SetSignInCheck([this](const Text& cookies, const FlowToken& token) {
        return CheckViewerPage(client_, cookies, token);
    });
}

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
