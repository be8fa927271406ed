#pragma once
// The progress a window's taskbar button shows (ITaskbarList3). The interface exists only once
// the shell has made the button ("TaskbarButtonCreated") and only where the shell provides it;
// without it every call does nothing.
#include <windows.h>
#include <shobjidl.h>

#include "threads/handle.h"

class TaskbarProgress {
  public:
    enum class State { kNone, kNormal, kPaused, kError };

    TaskbarProgress() = default;
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;
    ~TaskbarProgress();

    // The message the shell sends a top-level window when its button exists.
    static UINT ButtonCreatedMessage();

    // On the window's thread, with COM initialised there, once the button exists. Connecting
    // again (the shell restarted) replaces the interface. False when the shell has none.
    bool Connect(HWND window);
    bool Connected() const { return static_cast<bool>(taskbar_); }
    // done and total as counted by the caller; a total of 0 shows the state without a bar.
    // True when the taskbar took it; false without the interface or once the window is gone.
    bool Show(State state, int done, int total);
    void Release();

  private:
    HWND window_ = nullptr;
    ComRef<ITaskbarList3> taskbar_;
};
