#include "ui/taskbar_progress.h"

#include <algorithm>
#include <utility>

TaskbarProgress::~TaskbarProgress() {
    Release();
}

UINT TaskbarProgress::ButtonCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

bool TaskbarProgress::Connect(HWND window) {
    Release();
    if (window == nullptr) return false;
    ComRef<ITaskbarList3> taskbar;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(taskbar.Receive()))) ||
        !taskbar || FAILED(taskbar->HrInit())) {
        return false;
    }
    taskbar_ = std::move(taskbar);
    window_ = window;
    return true;
}

bool TaskbarProgress::Show(State state, int done, int total) {
    if (!taskbar_ || !IsWindow(window_)) return false;
    TBPFLAG flag = TBPF_NOPROGRESS;
    switch (state) {
        case State::kNone:
            flag = TBPF_NOPROGRESS;
            break;
        case State::kNormal:
            flag = TBPF_NORMAL;
            break;
        case State::kPaused:
            flag = TBPF_PAUSED;
            break;
        case State::kError:
            flag = TBPF_ERROR;
            break;
    }
    // The value first: setting it switches an empty button to the normal state.
    if (flag != TBPF_NOPROGRESS && total > 0) {
        const ULONGLONG shown = static_cast<ULONGLONG>(std::clamp(done, 0, total));
        taskbar_->SetProgressValue(window_, shown, static_cast<ULONGLONG>(total));
    }
    return SUCCEEDED(taskbar_->SetProgressState(window_, flag));
}

void TaskbarProgress::Release() {
    taskbar_.Reset();
    window_ = nullptr;
}
