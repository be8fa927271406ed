#include "app/flow_slot.h"

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
    const DWORD begin = GetTickCount();
    for (;;) {
        bool running = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT) running = true;
            for (const UniqueHandle& h : retired_)
                if (WaitForSingleObject(h.Get(), 0) == WAIT_TIMEOUT) running = true;
        }
        if (!running) return true;
        if (GetTickCount() - begin > timeoutMs) return false;
        Sleep(10);
    }
}
