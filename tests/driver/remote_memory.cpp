#include "remote_memory.h"

#include <utility>

namespace driver {

RemoteProcess::RemoteProcess(DWORD pid)
    : handle_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                              PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                          FALSE, pid)) {}

RemoteBuffer::RemoteBuffer(const RemoteProcess& process, size_t size)
    : process_(process.Get()), size_(size) {
    if (process_ != nullptr && size > 0) {
        address_ =
            VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
}

RemoteBuffer::~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(const void* data, size_t size, size_t offset) const {
    if (address_ == nullptr || offset > size_ || size > size_ - offset) return false;
    SIZE_T done = 0;
    return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) &&
           done == size;
}

bool RemoteBuffer::Read(void* data, size_t size, size_t offset) const {
    if (address_ == nullptr || offset > size_ || size > size_ - offset) return false;
    SIZE_T done = 0;
    return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) &&
           done == size;
}

}  // namespace driver
