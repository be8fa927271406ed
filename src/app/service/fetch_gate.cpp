#include "app/service/fetch_gate.h"

bool FetchGate::Enter(const FlowToken& token) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!freed_.wait(guard, token.StopToken(), [this] { return free_ > 0; })) return false;
    if (token.StopRequested()) {
        // The stop wins over a permit freed at the same moment; the wake that permit sent may
        // have been this one, so it goes on to another waiter (of another run, perhaps).
        freed_.notify_one();
        return false;
    }
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
