#include "ui/marshal.h"

#include <unordered_set>

#include "ui/window_registry.h"

namespace {

constexpr WPARAM kCallTag = 0x6B6F4D53;  // "koMS"
constexpr LRESULT kRanResult = 0x6B6F;

// Calls on their way to a window thread. Only an address registered here is ever called, so a
// message forged by another process cannot make us jump anywhere.
struct PendingCalls {
    SRWLOCK lock = SRWLOCK_INIT;
    std::unordered_multiset<const void*> calls;
};

PendingCalls& Pending() {
    static PendingCalls* pending = new PendingCalls;
    return *pending;
}

class PendingEntry {
  public:
    explicit PendingEntry(const void* call) : call_(call) {
        PendingCalls& p = Pending();
        AcquireSRWLockExclusive(&p.lock);
        p.calls.insert(call_);
        ReleaseSRWLockExclusive(&p.lock);
    }
    ~PendingEntry() {
        PendingCalls& p = Pending();
        AcquireSRWLockExclusive(&p.lock);
        auto it = p.calls.find(call_);
        if (it != p.calls.end()) p.calls.erase(it);
        ReleaseSRWLockExclusive(&p.lock);
    }
    PendingEntry(const PendingEntry&) = delete;
    PendingEntry& operator=(const PendingEntry&) = delete;

  private:
    const void* call_;
};

bool IsPending(const void* call) {
    PendingCalls& p = Pending();
    AcquireSRWLockShared(&p.lock);
    bool found = p.calls.count(call) != 0;
    ReleaseSRWLockShared(&p.lock);
    return found;
}

}  // namespace

UINT RunOnWindowThreadMessage() {
    static const UINT message = RegisterWindowMessageW(L"koRunOnWindowThread");
    return message;
}

bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn) {
    if (!fn || !hwnd || !IsWindow(hwnd) || !WindowRegistry::Find(hwnd)) return false;
    DWORD pid = 0;
    DWORD thread = GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return false;
    if (thread == GetCurrentThreadId()) {
        fn();
        return true;
    }
    PendingEntry entry(&fn);
    return SendMessageW(hwnd, RunOnWindowThreadMessage(), kCallTag,
                        reinterpret_cast<LPARAM>(&fn)) == kRanResult;
}

bool RunMarshalledCall(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != RunOnWindowThreadMessage() || wParam != kCallTag) return false;
    const auto* fn = reinterpret_cast<const std::function<void()>*>(lParam);
    if (!fn || !IsPending(fn)) {
        *result = 0;
        return true;
    }
    (*fn)();
    *result = kRanResult;
    return true;
}
