#pragma once
// Worker threads fed by one I/O completion port, with a manager thread that adds workers on
// demand up to a maximum; the extra workers leave after an idle time-out.
//
// A task travels as one completion packet: the function in the overlapped-pointer slot, the
// first argument in the 32-bit byte-count slot and the second in the pointer-sized key. So the
// first argument must fit in 32 bits (Post refuses it otherwise); pass addresses in the second.
#include <windows.h>

#include <memory>
#include <optional>

using PoolTask = void (*)(INT_PTR argument1, INT_PTR argument2);

class ThreadPool {
  public:
    enum : LONG { kStopped = 0, kRunning = 1, kCreating = 2, kStopping = 3 };
    // Stop modes: drop queued tasks (0, 2) or run them first (1, 3); wait (0, 1) or not (2, 3).
    enum : int { kStopDropWait = 0, kStopDrainWait = 1, kStopDropNoWait = 2, kStopDrainNoWait = 3 };

    ThreadPool();
    // Stops in mode 2. Workers still finishing a task keep the pool's shared state alive, so
    // destroying the object never pulls memory from under a running worker.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Defaults: 5 workers, limit 20, idle time-out 10000 ms, platform stack size.
    // minThreads below 1 becomes 1; maxThreads below minThreads becomes minThreads; idleTimeout
    // below 100 becomes 100; stackSize 1..8191 becomes 8192, else rounded down to 4096s.
    // False (and nothing changed) when the pool is not stopped, or when no worker came up.
    [[nodiscard]] bool Create(std::optional<LONG> minThreads = std::nullopt,
                              std::optional<LONG> maxThreads = std::nullopt,
                              std::optional<LONG> idleTimeoutMs = std::nullopt, bool pump = false,
                              std::optional<LONG_PTR> stackSize = std::nullopt);
    // True when the pool is stopped (or already was); false while being created or stopped
    // elsewhere, or when a waiting mode ran past timeoutMs (> 0) — the last worker then still
    // finishes the teardown later.
    bool Stop(std::optional<int> mode = std::nullopt, std::optional<LONG> timeoutMs = std::nullopt,
              bool pump = false);

    // Pause holds every worker right after it took its next packet; Resume releases them.
    bool Pause();
    bool Resume();
    bool WaitResumed(std::optional<DWORD> timeoutMs = std::nullopt);

    [[nodiscard]] bool Post(PoolTask task, INT_PTR argument1 = 0, INT_PTR argument2 = 0);
    [[nodiscard]] bool PostAddress(INT_PTR taskAddress, INT_PTR argument1 = 0,
                                   INT_PTR argument2 = 0);
    // The workers beyond the first count leave now rather than after their idle time-out, for a
    // caller that knows its burst of work is over (under Wine each thread holds about 1 MiB).
    // Busy workers finish their tasks first; none leaves while tasks are queued.
    void RetireSpareWorkers();
    // Waits until some task finishes (timeout none or -1: no limit).
    bool WaitTaskDone(std::optional<LONG> timeoutMs = std::nullopt, bool pump = false);

    LONG IdleThreadCount() const;
    LONG BusyCount() const;
    LONG QueuedCount() const;
    LONG ThreadCount() const;
    LONG MaxThreads() const;
    // No task queued and none running.
    bool IsIdle() const;
    LONG State() const;
    // Waits until the pool is stopped (the last worker of a stop has left); false when
    // timeoutMs passed first or a new Create began meanwhile.
    bool WaitStopped(DWORD timeoutMs) const;

    void SetMaxThreads(LONG n);
    void SetIdleTimeout(LONG ms);
    // 1..8191 becomes 8192, else rounded down to a multiple of 8192; for workers started later.
    void SetStackSize(LONG_PTR bytes);

    LONG IdleTimeout() const;
    SIZE_T StackSize() const;

    struct Core;

  private:
    std::shared_ptr<Core> core_;
};
