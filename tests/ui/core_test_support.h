#pragma once
// Shared pieces of the window-core tests: a started host, a plain window class whose procedure
// records what reaches it, and a record whose reflected entry counts what its parent hands down.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "threads/message_pump.h"
#include "ui/app_host.h"
#include "ui/form_window.h"
#include "ui/window_object.h"
#include "ui/window_record.h"

namespace core_test {

// What the "original" procedure of a subclassed test window saw.
struct ProcLog {
    std::vector<UINT> messages;
    bool Saw(UINT m) const {
        for (UINT x : messages)
            if (x == m) return true;
        return false;
    }
};

inline ProcLog& Log() {
    static ProcLog log;
    return log;
}

inline LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Log().messages.push_back(message);
    if (message == WM_USER + 77) return 7700;  // the original procedure's own answer
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A native window of a class the toolkit knows nothing about.
inline HWND MakePlainWindow(HWND parent = nullptr) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CoreTestPlain";
        RegisterClassExW(&wc);
        registered = true;
    }
    return CreateWindowExW(0, L"CoreTestPlain", L"plain",
                           parent ? (WS_CHILD | WS_VISIBLE) : WS_OVERLAPPEDWINDOW, 10, 10, 100, 80,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

struct Reflection {
    UINT message;
    WPARAM wParam;
    HWND parent;
};

inline std::vector<Reflection>& Reflections() {
    static std::vector<Reflection> list;
    return list;
}

inline LRESULT CountingReflect(WindowRecord*, HWND parent, UINT message, WPARAM wParam, LPARAM,
                               int* handled) {
    Reflections().push_back({message, wParam, parent});
    *handled = 1;
    return 4321;
}

// A window object whose reflected entry records what arrives (stands in for a control).
inline WindowObject MakeReflectingObject() {
    return WindowObject(WindowRecord::Create(nullptr, &CountingReflect, nullptr),
                        WindowObject::Share::Adopt);
}

// Under Wine, hiding or destroying the active window waits about two seconds for X focus events
// that never come on a bare Xvfb, so most tests make pop-ups that are shown without
// activation. Tests about focus and activation use ordinary windows and pay the wait.
inline TopLevelOptions QuickOptions(HWND owner = nullptr) {
    TopLevelOptions o;
    o.owner = owner;
    o.position = POINT{20, 20};
    o.size = SIZE{240, 160};
    o.style = WS_POPUP;
    return o;
}

inline bool CreateQuick(FormWindow& form, HWND owner = nullptr) {
    if (!form.CreateTopLevel(QuickOptions(owner))) return false;
    ShowWindow(form.GetHandle(), SW_SHOWNOACTIVATE);
    return true;
}

inline void Pump() {
    PumpPendingMessages();
}

class WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TheAppHost().Startup(); }
    void SetUp() override {
        Log().messages.clear();
        Reflections().clear();
    }
    void TearDown() override {
        for (HWND h : cleanup_)
            if (IsWindow(h)) DestroyWindow(h);
        Pump();
    }
    HWND Track(HWND h) {
        cleanup_.push_back(h);
        return h;
    }
    // A shown quick form destroyed after the test; null when it could not be made.
    HWND TrackedQuick(FormWindow& form, HWND owner = nullptr) {
        return CreateQuick(form, owner) ? Track(form.GetHandle()) : nullptr;
    }

  private:
    std::vector<HWND> cleanup_;
};

}  // namespace core_test
