#pragma once
// Memory inside the program under test. Common-control messages that carry pointers
// (LVM_GETITEMW, LVM_SETITEMSTATE, TCM_GETITEMRECT) are not marshalled between processes, so
// their structures must live in the target's address space.
#include <windows.h>

#include <string>

#include "threads/handle.h"

namespace driver {

// Owns a process handle opened for memory operations and waiting.
class RemoteProcess {
  public:
    RemoteProcess() = default;
    explicit RemoteProcess(DWORD pid);

    bool IsOpen() const { return static_cast<bool>(handle_); }
    HANDLE Get() const { return handle_.Get(); }

  private:
    UniqueHandle handle_;
};

// One committed block in the target, freed with it.
class RemoteBuffer {
  public:
    RemoteBuffer(const RemoteProcess& process, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool IsValid() const { return address_ != nullptr; }
    // The address as the target sees it, ready to go into a message argument.
    LPARAM Address() const { return reinterpret_cast<LPARAM>(address_); }
    void* Pointer() const { return address_; }

    bool Write(const void* data, size_t size, size_t offset = 0) const;
    bool Read(void* data, size_t size, size_t offset = 0) const;

  private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_ = 0;
};

}  // namespace driver
