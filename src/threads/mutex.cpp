#include "threads/mutex.h"

#include "threads/handle.h"

namespace {

// Mutex names are code page 936 like every text of the program; the platform takes UTF-16.
std::wstring NameToWide(const Text& name) {
    if (name.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(936, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(936, 0, name.data(), static_cast<int>(name.size()), wide.data(), n);
    return wide;
}

}  // namespace

// Two threads creating on one object at once: the loser closes its fresh handle instead of
// overwriting (and leaking) the winner's.
bool Mutex::Adopt(HANDLE fresh) {
    if (fresh == nullptr) return false;
    INT_PTR expected = 0;
    if (!handle_.compare_exchange_strong(expected, reinterpret_cast<INT_PTR>(fresh))) {
        UniqueHandle loser(fresh);
    }
    return true;
}

bool Mutex::Create(bool initiallyOwned, const Text& name) {
    if (handle_.load() != 0) return true;
    std::wstring wide = NameToWide(name);
    if (!name.empty() && wide.empty()) return false;  // not a valid code page 936 name
    return Adopt(::CreateMutexW(nullptr, initiallyOwned ? TRUE : FALSE,
                                wide.empty() ? nullptr : wide.c_str()));
}

bool Mutex::Open(bool inherit, const Text& name) {
    if (handle_.load() != 0) return true;
    std::wstring wide = NameToWide(name);
    if (wide.empty()) return false;  // only named mutexes can be opened
    return Adopt(::OpenMutexW(MUTEX_ALL_ACCESS, inherit ? TRUE : FALSE, wide.c_str()));
}

bool Mutex::Close() {
    INT_PTR old = handle_.exchange(0);
    if (old == 0) return true;
    return UniqueHandle(reinterpret_cast<HANDLE>(old)).Reset();
}

bool Mutex::Lock(std::optional<DWORD> timeoutMs) {
    HANDLE h = Handle();
    if (h == nullptr) return false;
    DWORD r = ::WaitForSingleObject(h, timeoutMs.value_or(INFINITE));
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

bool Mutex::Unlock() {
    HANDLE h = Handle();
    if (h == nullptr) return false;
    return ::ReleaseMutex(h) != FALSE;
}
