#include "app/flow_slot.h"

#include "threads/message_pump.h"
#include "threads/thread_helpers.h"

namespace {

struct FlowStart {
    std::function<void(const std::shared_ptr<FlowToken>&)> body;
    std::shared_ptr<FlowToken> token;
};

DWORD WINAPI FlowThread(void* parameter) {
    std::unique_ptr<FlowStart> start(static_cast<FlowStart*>(parameter));
    start->body(start->token);
    return 0;
}

}  // namespace

FlowToken::FlowToken() : stopped_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void FlowToken::RequestStop() {
    source_.request_stop();
    if (stopped_) SetEvent(stopped_.Get());
}

bool FlowToken::WaitFor(unsigned long ms) const {
    if (StopRequested()) return false;
    // Without its event (the system refused one) the token still waits, only less promptly.
    if (!stopped_) {
        Sleep(ms);
    } else {
        WaitForSingleObject(stopped_.Get(), ms);
    }
    return !StopRequested();
}

bool FlowToken::WaitPumped(unsigned long ms) const {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        PumpPendingMessages();
        if (StopRequested()) return false;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return true;
        const DWORD left = static_cast<DWORD>(end - now);
        if (!stopped_) {
            Sleep(left);
            continue;
        }
        HANDLE h = stopped_.Get();
        MsgWaitForMultipleObjects(1, &h, FALSE, left, QS_ALLINPUT);
    }
}

FlowSlot::~FlowSlot() {
    Stop();
}

bool FlowSlot::Start(std::function<void(const std::shared_ptr<FlowToken>&)> body,
                     const wchar_t* name, std::shared_ptr<FlowToken> token) {
    Stop();
    if (!token) token = std::make_shared<FlowToken>();
    auto start = std::make_unique<FlowStart>(FlowStart{std::move(body), token});
    UniqueHandle thread;
    if (!StartThread(FlowThread, start.get(), &thread, /*suspended=*/true, false, std::nullopt,
                     nullptr, false, std::nullopt, name))
        return false;
    start.release();  // the thread owns it now
    {
        std::lock_guard<std::mutex> lock(mutex_);
        token_ = token;
        thread_ = std::move(thread);
        ResumeThread(thread_.Get());
    }
    return true;
}

void FlowSlot::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (token_) token_->RequestStop();
    token_.reset();
    // The thread runs on by itself and ends at its next safe point; keep its handle only to be
    // able to tell when it has, dropping those that are over.
    if (thread_) retired_.push_back(std::move(thread_));
    std::erase_if(retired_, [](const UniqueHandle& h) {
        return WaitForSingleObject(h.Get(), 0) == WAIT_OBJECT_0;
    });
}

bool FlowSlot::IsCurrent(const std::shared_ptr<FlowToken>& token) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return token && token == token_ && !token->StopRequested();
}

bool FlowSlot::Running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

bool FlowSlot::JoinAll(unsigned long timeoutMs) {
    // Waited on through handles of our own: Stop may close the slot's while we wait.
    std::vector<UniqueHandle> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto keep = [&threads](const UniqueHandle& h) {
            HANDLE copy = nullptr;
            if (h && DuplicateHandle(GetCurrentProcess(), h.Get(), GetCurrentProcess(), &copy,
                                     SYNCHRONIZE, FALSE, 0))
                threads.emplace_back(copy);
        };
        keep(thread_);
        for (const UniqueHandle& h : retired_) keep(h);
    }
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (const UniqueHandle& h : threads) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
        if (WaitForSingleObject(h.Get(), left) != WAIT_OBJECT_0) return false;
    }
    return true;
}
