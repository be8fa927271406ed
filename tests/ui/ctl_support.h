#pragma once
// Shared pieces of the control tests: a started toolkit, a host window, message pumping, and
// pictures made in the test (PNG through GDI+, animated GIFs byte by byte).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "draw/image_object.h"
#include "text/text_types.h"
#include "ui/app_host.h"
#include "ui/form_window.h"

namespace ctl {

inline void StartToolkit() {
    static bool started = false;
    if (!started) {
        TheAppHost().Startup();
        started = true;
    }
}

// Dispatches this thread's messages (including messages other threads send) for `ms`.
inline void PumpFor(DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

// Pumps until `done` holds; false when it still does not after `limitMs` (a safety net against
// a hung test, far above anything the behaviour needs).
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 20000) {
    const ULONGLONG end = ::GetTickCount64() + limitMs;
    while (!done()) {
        if (::GetTickCount64() >= end) return false;
        PumpFor(10);
    }
    return true;
}

// The visible top-level form controls are put on. One form serves the whole test program:
// under Wine without a window manager every top-level window that goes away costs about two
// seconds. Each HostWindow removes the children it leaves behind and restores the form.
FormWindow& SharedForm();

class HostWindow {
  public:
    HostWindow() : form(SharedForm()) {}
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND Handle() const { return form.GetHandle(); }

    FormWindow& form;
};

inline double NowMs() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A PNG of the given size painted with a colour pattern; `seed` varies the picture.
ByteBuffer MakePng(int width, int height, int seed = 0);
// A picture of one colour (0xAARRGGBB).
ByteBuffer MakeSolidPng(int width, int height, ArgbColor colour);

// An animated GIF of 8 x 8 pixels with one frame per entry of `delays` (hundredths of a
// second); frame i is painted in colour i % 3 (red, green, blue).
ByteBuffer MakeGif(const std::vector<std::uint16_t>& delays);

}  // namespace ctl
