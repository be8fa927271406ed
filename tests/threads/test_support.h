#pragma once
// Shared by the thread tests: bounded waits on observed behaviour and a message-only window
// that records what reaches it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "threads/handle.h"

namespace threads_test {

// Waits until pred holds, checking every few milliseconds. The bound is only there so that a
// broken pool fails the test instead of hanging the run; it is far above any normal wait.
inline bool WaitUntil(const std::function<bool()>& pred, DWORD boundMs = 60000) {
    const DWORD begin = ::GetTickCount();
    while (!pred()) {
        if (::GetTickCount() - begin > boundMs) return false;
        ::Sleep(2);
    }
    return true;
}

// A manual-reset event the tests use as a gate for blocked tasks and threads.
class Gate {
  public:
    Gate() : h_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void Open() { ::SetEvent(h_.Get()); }
    void Pass() const { ::WaitForSingleObject(h_.Get(), INFINITE); }
    HANDLE handle() const { return h_.Get(); }

  private:
    UniqueHandle h_;
};

// A message-only window on the creating thread; counts WM_APP messages sent or posted to it.
class MessageSink {
  public:
    MessageSink() {
        static const wchar_t kClass[] = L"ThreadsTestSink";
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        ::RegisterClassExW(&wc);  // a second registration fails harmlessly
        hwnd_ = ::CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~MessageSink() { ::DestroyWindow(hwnd_); }
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;

    HWND hwnd() const { return hwnd_; }
    int received() const { return received_.load(); }

  private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        if (msg == WM_APP) {
            auto* self = reinterpret_cast<MessageSink*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
            if (self != nullptr) ++self->received_;
            return 42;
        }
        return ::DefWindowProcW(h, msg, w, l);
    }

    HWND hwnd_ = nullptr;
    std::atomic<int> received_{0};
};

// The thread's description, or empty when the platform cannot tell.
inline std::wstring ThreadDescription(HANDLE thread) {
    using Fn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    static const Fn get = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (get == nullptr) return std::wstring();
    PWSTR text = nullptr;
    if (FAILED(get(thread, &text)) || text == nullptr) return std::wstring();
    std::wstring out(text);
    ::LocalFree(text);
    return out;
}

}  // namespace threads_test
