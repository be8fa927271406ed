#pragma once
// Sole owner of a WinHTTP handle (session, connection or request).
#include <windows.h>
#include <winhttp.h>

class InternetHandle {
  public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() { Reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    InternetHandle(InternetHandle&& other) noexcept : handle_(other.Release()) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Closes the held handle (if any) and takes the new one.
    void Reset(HINTERNET handle = nullptr) {
        if (handle_ != nullptr && handle_ != handle) WinHttpCloseHandle(handle_);
        handle_ = handle;
    }

    // Gives the handle up without closing it.
    HINTERNET Release() {
        HINTERNET h = handle_;
        handle_ = nullptr;
        return h;
    }

  private:
    HINTERNET handle_ = nullptr;
};
