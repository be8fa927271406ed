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
                     const wchar_t* name) {
    Stop();
    auto token = std::make_shared<FlowToken>();
    auto* start = new FlowStart{std::move(body), token};
    UniqueHandle thread;
    if (!StartThread(FlowThread, start, &thread, /*suspended=*/true, false, std::nullopt, nullptr,
                     false, std::nullopt, name)) {
        delete start;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        token_ = token;
        thread_ = std::move(thread);
        ResumeThread(thread_.get());
    }
    return true;
}

void FlowSlot::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (token_) token_->RequestStop();
    token_.reset();
    thread_.reset();  // the thread runs on by itself and ends at its next safe point
}

bool FlowSlot::IsCurrent(const std::shared_ptr<FlowToken>& token) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return token && token == token_ && !token->StopRequested();
}

bool FlowSlot::Running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

bool FlowSlot::Join(unsigned long timeoutMs) {
    HANDLE h = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_) return true;
        if (!DuplicateHandle(GetCurrentProcess(), thread_.get(), GetCurrentProcess(), &h,
                             SYNCHRONIZE, FALSE, 0))
            return false;
    }
    UniqueHandle copy(h);
    return WaitForSingleObject(copy.get(), timeoutMs) == WAIT_OBJECT_0;
}
