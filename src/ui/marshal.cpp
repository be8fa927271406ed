#include "ui/marshal.h"

#include <memory>
#include <unordered_set>

#include "ui/window_registry.h"

namespace {

constexpr WPARAM kCallTag = 0x6B6F4D53;  // "koMS"
constexpr WPARAM kPostTag = 0x6B6F4D50;  // "koMP"
constexpr LRESULT kRanResult = 0x6B6F;

// Calls on their way to a window thread. Only an address registered here is ever called, so a
// message forged by another process cannot make us jump anywhere.
struct PendingCalls {
    SRWLOCK lock = SRWLOCK_INIT;
    std::unordered_multiset<const void*> calls;
};

PendingCalls& Pending() {
    // Never destroyed: a worker left inside a network call when the program ends may still post
    // after static destruction has begun.
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

// Takes a posted call out of the pending set; false when it was never posted (or already ran).
bool ClaimPosted(const void* call) {
    PendingCalls& p = Pending();
    AcquireSRWLockExclusive(&p.lock);
    auto it = p.calls.find(call);
    const bool found = it != p.calls.end();
    if (found) p.calls.erase(it);
    ReleaseSRWLockExclusive(&p.lock);
    return found;
}

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

bool PostToWindowThread(HWND hwnd, std::function<void()> fn) {
    if (!fn || !hwnd || !IsWindow(hwnd) || !WindowRegistry::Find(hwnd)) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return false;
    auto call = std::make_unique<std::function<void()>>(std::move(fn));
    PendingCalls& p = Pending();
    AcquireSRWLockExclusive(&p.lock);
    p.calls.insert(call.get());
    ReleaseSRWLockExclusive(&p.lock);
    if (!PostMessageW(hwnd, RunOnWindowThreadMessage(), kPostTag,
                      reinterpret_cast<LPARAM>(call.get()))) {
        ClaimPosted(call.get());
        return false;
    }
    call.release();  // the window thread deletes it when the message arrives
    return true;
}

bool RunMarshalledCall(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != RunOnWindowThreadMessage()) return false;
    if (wParam == kPostTag) {
        auto* posted = reinterpret_cast<std::function<void()>*>(lParam);
        *result = 0;
        if (!posted || !ClaimPosted(posted)) return true;
        std::unique_ptr<std::function<void()>> owned(posted);
        (*owned)();
        *result = kRanResult;
        return true;
    }
    if (wParam != kCallTag) return false;
    const auto* fn = reinterpret_cast<const std::function<void()>*>(lParam);
    if (!fn || !IsPending(fn)) {
        *result = 0;
        return true;
    }
    (*fn)();
    *result = kRanResult;
    return true;
}
