#include "app/service/fetch_gate.h"

#include <chrono>

namespace {

// A stop is noticed within this long while waiting for a permit.
constexpr auto kStopLook = std::chrono::milliseconds(50);

}  // namespace

bool FetchGate::Enter(const FlowToken& token) {
    std::unique_lock<std::mutex> guard(mutex_);
    while (free_ == 0) {
        if (token.StopRequested()) return false;
        freed_.wait_for(guard, kStopLook);
    }
    if (token.StopRequested()) return false;
    --free_;
    return true;
}

void FetchGate::Leave() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++free_;
    }
    freed_.notify_one();
}
