#pragma once
// One slot for a background flow (login, analysis, download driver): at most one current flow
// per slot. Starting a new flow retires the old one cooperatively: its token says "stop", it
// checks that at its safe points, and whatever it would still show is dropped because it is no
// longer current. Its thread is never waited for (it may sit in a network call that cannot be
// interrupted) and never terminated (that could leave a lock held or a file half written).
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

#include "threads/handle.h"

// A flow's "stop", as a stop source and an event set at the same time, so every wait of the flow
// ends the moment the flow is retired instead of at its next look: a condition variable waits
// with StopToken() (std::condition_variable_any's stop_token wait), a system wait on the event.
class FlowToken {
  public:
    FlowToken();
    bool StopRequested() const { return source_.stop_requested(); }
    void RequestStop();
    std::stop_token StopToken() const { return source_.get_token(); }

    // Waits ms; false (at once) when the flow was asked to stop.
    bool WaitFor(unsigned long ms) const;
    // As WaitFor, handling the thread's window messages meanwhile: for a thread that owns
    // windows (the login's), whose messages must not wait for the pause.
    bool WaitPumped(unsigned long ms) const;

  private:
    std::stop_source source_;
    UniqueHandle stopped_;  // manual-reset, set by RequestStop
};

class FlowSlot {
  public:
    FlowSlot() = default;
    ~FlowSlot();
    FlowSlot(const FlowSlot&) = delete;
    FlowSlot& operator=(const FlowSlot&) = delete;

    // Retires the current flow and runs body(token) on a new named thread, with a fresh token or
    // the one given (a flow whose state is made before its thread starts). Returns false when
    // the thread could not be started (the slot is then empty).
    [[nodiscard]] bool Start(std::function<void(const std::shared_ptr<FlowToken>&)> body,
                             const wchar_t* name, std::shared_ptr<FlowToken> token = nullptr);

    // Asks the current flow to stop and forgets it.
    void Stop();

    // True while the given token belongs to the slot's current flow.
    bool IsCurrent(const std::shared_ptr<FlowToken>& token) const;

    // True while the current flow's thread has not returned.
    bool Running() const;

    // Waits until every thread this slot started, retired ones included, has ended. The program
    // never waits like this (it ends with threads still in network calls); tests do, before the
    // state the threads point at goes away.
    [[nodiscard]] bool JoinAll(unsigned long timeoutMs);

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<FlowToken> token_;
    UniqueHandle thread_;
    std::vector<UniqueHandle> retired_;
};
