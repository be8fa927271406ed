#include "ui/window_thread.h"

#include <atomic>
#include <cassert>

namespace {

#ifdef NDEBUG
std::atomic<bool> checking{false};
#else
std::atomic<bool> checking{true};
#endif
std::atomic<long> misses{0};
std::atomic<const char*> lastMiss{nullptr};

}  // namespace

void SetWindowThreadChecks(bool on) {
    checking.store(on);
}

void CheckWindowThread(HWND hwnd, const char* operation) {
    if (!checking.load() || !hwnd) return;
    const DWORD owner = GetWindowThreadProcessId(hwnd, nullptr);
    if (owner == 0 || owner == GetCurrentThreadId()) return;
    lastMiss.store(operation);
    ++misses;
    assert(!"a window operation off its window's thread");
}

OffThreadCalls WindowCallsOffThread() {
    return OffThreadCalls{misses.load(), lastMiss.load()};
}
