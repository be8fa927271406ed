#pragma once
// Byte buffers <-> COM streams on global memory, and the owners for those two handle kinds.
#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <optional>
#include <utility>

#include "text/text_types.h"

// Holds one reference to a COM object; Release() in one place.
template <typename T>
class ComRef {
  public:
    ComRef() = default;
    // Adopts a reference the caller already owns (as returned by a Create... call).
    explicit ComRef(T* adopted) : ptr_(adopted) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef& other) : ptr_(other.ptr_) {
        if (ptr_ != nullptr) ptr_->AddRef();
    }
    ComRef& operator=(const ComRef& other) {
        if (this != &other) {
            if (other.ptr_ != nullptr) other.ptr_->AddRef();
            Reset(other.ptr_);
        }
        return *this;
    }
    ComRef(ComRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.ptr_, nullptr));
        return *this;
    }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // Gives the reference away without releasing it.
    T* Detach() { return std::exchange(ptr_, nullptr); }
    void Reset(T* adopted = nullptr) {
        T* old = std::exchange(ptr_, adopted);
        if (old != nullptr) old->Release();
    }
    // For out-parameters of Create... calls: releases what is held first.
    T** Receive() {
        Reset();
        return &ptr_;
    }

  private:
    T* ptr_ = nullptr;
};

using StreamRef = ComRef<IStream>;

// A block from GlobalAlloc, freed with GlobalFree unless handed to a stream that frees it.
class GlobalMemory {
  public:
    GlobalMemory() = default;
    explicit GlobalMemory(HGLOBAL adopted) : handle_(adopted) {}
    ~GlobalMemory() { Reset(); }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;
    GlobalMemory(GlobalMemory&& other) noexcept : handle_(other.Release()) {}
    GlobalMemory& operator=(GlobalMemory&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    HGLOBAL Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HGLOBAL Release() { return std::exchange(handle_, nullptr); }
    void Reset(HGLOBAL adopted = nullptr) {
        HGLOBAL old = std::exchange(handle_, adopted);
        if (old != nullptr) ::GlobalFree(old);
    }

  private:
    HGLOBAL handle_ = nullptr;
};

// A stream over a new movable, zero-filled global block of `size` bytes (default: the byte
// count) that frees the block when the stream is released. With `copy` the bytes are copied in
// (at most `size` of them). The stream's position is 0. Empty on failure.
StreamRef BytesToStream(const ByteBuffer& bytes, bool copy = true,
                        std::optional<std::size_t> size = std::nullopt);

// The bytes a global-memory stream holds: its logical size (what was written), not the size of
// the memory block behind it, which the stream rounds up as it grows. Empty when the stream has
// no global memory.
ByteBuffer StreamToBytes(IStream* stream);
