#pragma once
// Window operations run on the thread that owns the window; a worker reaches a window only by
// marshalling (ui/marshal.h). A call from elsewhere may work for months under one system and
// deadlock or corrupt a control under another, so the operations look at the calling thread:
// in a debug build always, in a release build only once a test has turned the check on (it
// costs a system call per operation).
#include <windows.h>

// Turns the check on or off for the whole process.
void SetWindowThreadChecks(bool on);

// Records the call (and asserts, in a debug build) when the check is on and hwnd is a window of
// another thread. The operation still runs: the check finds the fault, it does not change what
// the program does. An unbound object (hwnd null, or the window gone) has nothing to check.
void CheckWindowThread(HWND hwnd, const char* operation);

struct OffThreadCalls {
    long count = 0;
    const char* last = nullptr;  // the name the last one was recorded under
};
// The calls recorded since the process began.
OffThreadCalls WindowCallsOffThread();
