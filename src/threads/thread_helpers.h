#pragma once
// Starting, naming, terminating and closing threads.
#include <windows.h>

#include <optional>

#include "threads/handle.h"

// The stack size for a new thread: none -> 0 (platform default); 1..8191 -> 8192; otherwise
// rounded down to a multiple of 4096.
SIZE_T RoundThreadStackSize(std::optional<LONG_PTR> requested);

// Names a thread for debuggers and crash dumps. False when the platform cannot.
bool NameThread(HANDLE thread, const wchar_t* name);

// Starts procedure(parameter) on a new thread.
//  handleOut:  when given, receives the handle of a thread that is still running (caller owns
//              it); receives nothing when the thread ended during the wait or creation failed.
//              When not given, the handle is closed.
//  suspended:  create suspended (then no wait happens).
//  wait:       wait for the thread to end, up to timeoutMs (none or INFINITE = no limit).
//  exitCodeOut: the thread's exit code when it ended during the wait.
//  pump:       while waiting, dispatch the calling thread's window messages in 15 ms slices.
//  stackSize:  rounded by RoundThreadStackSize.
//  name:       thread description, optional.
// True when the thread was started (and, when waiting, ended or is still running at the timeout);
// false when it could not be created or the wait failed.
[[nodiscard]] bool StartThread(LPTHREAD_START_ROUTINE procedure, void* parameter,
                               UniqueHandle* handleOut = nullptr, bool suspended = false,
                               bool wait = false, std::optional<DWORD> timeoutMs = std::nullopt,
                               DWORD* exitCodeOut = nullptr, bool pump = false,
                               std::optional<LONG_PTR> stackSize = std::nullopt,
                               const wchar_t* name = nullptr);

// Ends the thread at once (it runs no further code). False when there is no handle.
// The application stops its threads cooperatively; this exists for the last resort.
bool KillThread(HANDLE thread);
inline bool KillThread(const UniqueHandle& thread) {
    return KillThread(thread.Get());
}

// Closes the thread handle. False when there was none.
bool CloseThreadHandle(UniqueHandle& thread);
