#pragma once
// The one owner of kernel HANDLEs (threads, events, mutexes, ports, files).
//
// Both null and INVALID_HANDLE_VALUE mean "no handle", because the platform uses either value
// for failure depending on the call; the owner never closes either.
#include <windows.h>

#include <utility>

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : handle_(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    static bool IsUsable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

    HANDLE get() const { return handle_; }
    bool valid() const { return IsUsable(handle_); }
    explicit operator bool() const { return valid(); }

    // Gives up ownership without closing.
    HANDLE release() { return std::exchange(handle_, nullptr); }

    // Closes the held handle (if any) and takes h. Returns whether a handle was closed.
    bool reset(HANDLE h = nullptr) {
        HANDLE old = std::exchange(handle_, h);
        return IsUsable(old) && ::CloseHandle(old) != FALSE;
    }

  private:
    HANDLE handle_ = nullptr;
};
