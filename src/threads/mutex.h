#pragma once
// A kernel mutex held by handle: recursive for its owner, usable across threads.
//
// Copies share the handle value; destroying an object never closes it, Close does. This is what
// the callers rely on: one Mutex is made at start-up and handed around by value.
#include <windows.h>

#include <atomic>
#include <optional>

#include "text/text_types.h"

class Mutex {
  public:
    Mutex() = default;
    ~Mutex() = default;
    Mutex(const Mutex& other) : handle_(other.handle_.load()) {}
    Mutex& operator=(const Mutex& other) {
        handle_.store(other.handle_.load());
        return *this;
    }

    // Makes a new mutex unless this object already holds one (then true without doing anything).
    // name is code page 936; empty gives an unnamed mutex.
    bool Create(bool initiallyOwned = false, const Text& name = Text());
    // Opens an existing named mutex, with the same guard as Create.
    bool Open(bool inherit, const Text& name);
    // Closes the handle. True when there was none to close or closing succeeded.
    bool Close();
    bool IsValid() const { return handle_.load() != 0; }
    HANDLE Handle() const { return reinterpret_cast<HANDLE>(handle_.load()); }
    // Adopts a handle as it is (no duplicate is made).
    void SetHandle(HANDLE h) { handle_.store(reinterpret_cast<INT_PTR>(h)); }

    // Waits for ownership; no timeout waits without limit. True when this thread now owns the
    // mutex and must Unlock it. An abandoned mutex counts as acquired: its previous owner died
    // holding it, ownership passed to us, and reporting failure would leave it held forever.
    bool Lock(std::optional<DWORD> timeoutMs = std::nullopt);
    bool Unlock();

  private:
    bool Adopt(HANDLE fresh);

    std::atomic<INT_PTR> handle_{0};
};

// Holds a Mutex for one scope, so no path out of the scope can leave it held. Owns() is false
// when the wait failed (the mutex was never made or was closed); the guarded work is then
// skipped by the caller, as a failed Lock() always asked.
class MutexLock {
  public:
    explicit MutexLock(Mutex& mutex) : mutex_(mutex), owns_(mutex.Lock()) {}
    ~MutexLock() {
        if (owns_) mutex_.Unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool Owns() const { return owns_; }
    explicit operator bool() const { return owns_; }

  private:
    Mutex& mutex_;
    bool owns_;
};
