#pragma once
// At most a fixed number of picture requests at a time, whatever the number of pool workers.
// The pool keeps a couple of workers more than the gate lets through, so while one worker writes
// the picture it just fetched (milliseconds under Wine, more as an album folder fills), another
// is already on the network in its place.
#include <condition_variable>
#include <mutex>

#include "app/flow_slot.h"

// Picture requests of the pool in flight at once, and the pool's workers beyond those.
constexpr int kParallelFetches = 5;
constexpr int kWritingWorkers = 2;
// Listing pages on their way at once. They go beside the picture requests, and a page brings 32
// photos, so one at a time keeps the listing far ahead of the pictures; the service limits its
// listing per address and bans one that pushes on, and every request already on its way when a
// limit comes back meets the ban again.
constexpr int kListingWorkers = 1;

class FetchGate {
  public:
    explicit FetchGate(int permits) : free_(permits) {}
    FetchGate(const FetchGate&) = delete;
    FetchGate& operator=(const FetchGate&) = delete;

    // Waits for a permit; false (holding none) when the token asked to stop first, which wakes
    // the wait at once.
    [[nodiscard]] bool Enter(const FlowToken& token);
    void Leave();

  private:
    std::mutex mutex_;
    std::condition_variable_any freed_;
    int free_;
};

// One permit for as long as it lives.
class GateTurn {
  public:
    GateTurn(FetchGate& gate, const FlowToken& token) : gate_(gate), held_(gate.Enter(token)) {}
    ~GateTurn() {
        if (held_) gate_.Leave();
    }
    GateTurn(const GateTurn&) = delete;
    GateTurn& operator=(const GateTurn&) = delete;
    bool Held() const { return held_; }

  private:
    FetchGate& gate_;
    bool held_;
};
