#pragma once
// AppHost: starts the platform libraries the toolkit needs, answers process questions and runs
// the main message loop. One global object, TheAppHost().
#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "draw/gdiplus_session.h"
#include "text/text_types.h"
#include "ui/handles.h"

class WindowObject;

class AppHost {
  public:
    AppHost() = default;
    AppHost(const AppHost&) = delete;
    AppHost& operator=(const AppHost&) = delete;

    // Registry, instance handle, GDI+, the ActiveX host class (when atl.dll offers it; the
    // default) and the common controls (classes default 0xFFFF). Results are ignored.
    void Startup(std::optional<HINSTANCE> instance = {}, std::optional<bool> enableHosting = {},
                 std::optional<DWORD> classes = {});

    HINSTANCE InstanceHandle() const;
    std::vector<WideText> CommandLineW() const;
    std::vector<Text> CommandLine() const;
    WideText ModuleDirectoryW() const;
    Text ModuleDirectory() const;
    WideText ModuleFileNameW() const;
    Text ModuleFileName() const;
    static HWND RootWindow(HWND hwnd);
    static HWND FocusNextControl(HWND hwnd);

    // Shows the window (unless showFirst is false) and pumps messages until WM_QUIT or until the
    // window is gone.
    void RunMessageLoop(const WindowObject& window, std::optional<bool> showFirst = {});
    void Quit();

    // True once GDI+ runs for the host (it stays running until the process ends).
    bool GdiplusStarted() const { return gdiplus_ && gdiplus_->Ok(); }
    // True when the ActiveX host window class was registered at start-up.
    bool HostingAvailable() const { return hostingAvailable_; }

  private:
    std::unique_ptr<GdiplusSession> gdiplus_;
    ModuleHandle atl_;
    bool hostingAvailable_ = false;
};

AppHost& TheAppHost();

// The module handle windows are created with (GetModuleHandleW(null) until Startup says else).
HINSTANCE ToolkitInstance();
// Control ids handed out to controls created without one.
int NextControlId();

// Whether the dialog manager should see msg for the control (Tab, Enter, arrows by "koStyle";
// Escape sends IDCANCEL to the parent and answers no).
bool WantsDialogProcessing(HWND control, const MSG& msg);

// One turn of the toolkit's loop for a message already taken from the queue: hosted controls,
// optionally the MDI step, accelerators, dialog keys, then translate and dispatch.
void ProcessLoopMessage(MSG& msg, bool withMdiStep);

// The "koStyle" bits.
constexpr INT_PTR kStyleWantsAllKeys = 1;
constexpr INT_PTR kStyleWantsEnter = 2;
constexpr INT_PTR kStyleWantsArrows = 4;
