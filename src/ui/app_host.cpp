#include "ui/app_host.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "text/text_helpers.h"
#include "ui/window_object.h"
#include "ui/window_registry.h"

namespace {

HINSTANCE g_instance = nullptr;
volatile LONG g_nextControlId = 1000;

constexpr UINT kForwardMessage = 0x37F;  // WM_FORWARDMSG of hosted ActiveX controls

bool IsKeyboardMessage(UINT m) {
    return m >= WM_KEYFIRST && m <= 0x108;
}
bool IsMouseMessage(UINT m) {
    return m >= 0x200 && m <= 0x209;
}

WideText ModulePath(HINSTANCE instance) {
    wchar_t buffer[520] = {};
    DWORD n = GetModuleFileNameW(instance, buffer, 520);
    if (n == 0 || n >= 520) return {};
    return WideText(reinterpret_cast<const char16_t*>(buffer), n);
}

}  // namespace

AppHost& TheAppHost() {
    // Never destroyed: windows and pictures may outlive static destruction at exit, and GDI+
    // must keep running for them.
    static AppHost* host = new AppHost;
    return *host;
}

HINSTANCE ToolkitInstance() {
    return g_instance ? g_instance : GetModuleHandleW(nullptr);
}

int NextControlId() {
    return static_cast<int>(InterlockedIncrement(&g_nextControlId));
}

void AppHost::Startup(std::optional<HINSTANCE> instance, std::optional<bool> enableHosting,
                      std::optional<DWORD> classes) {
    WindowRegistry::Initialise();
    g_instance = GetModuleHandleW(nullptr);
    if (instance && *instance) g_instance = *instance;
    if (!gdiplus_) gdiplus_ = std::make_unique<GdiplusSession>();
    if (enableHosting.value_or(true) && !atl_) {
        // The ActiveX host class lives in atl.dll; a static build cannot link it, so it is taken
        // from the system folder when present and left out otherwise.
        atl_.Reset(LoadLibraryExW(L"atl.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (atl_) {
            using InitFn = BOOL(WINAPI*)();
            auto init = reinterpret_cast<InitFn>(
                reinterpret_cast<void*>(GetProcAddress(atl_.Get(), "AtlAxWinInit")));
            hostingAvailable_ = init && init();
        }
    }
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc);
    icc.dwICC = classes.value_or(0xFFFF);
    InitCommonControlsEx(&icc);
}

HINSTANCE AppHost::InstanceHandle() const {
    return ToolkitInstance();
}

std::vector<WideText> AppHost::CommandLineW() const {
    std::vector<WideText> out;
    int count = 0;
    LocalMemory<LPWSTR> args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args) return out;
    for (int i = 0; i < count; ++i) {
        out.emplace_back(reinterpret_cast<const char16_t*>(args.Get()[i]));
    }
    return out;
}

std::vector<Text> AppHost::CommandLine() const {
    std::vector<Text> out;
    for (const WideText& w : CommandLineW()) out.push_back(WideToAnsi(w));
    return out;
}

WideText AppHost::ModuleDirectoryW() const {
    WideText path = ModulePath(InstanceHandle());
    if (path.empty()) return {};
    PathRemoveFileSpecW(WinStr(path));
    path.resize(std::char_traits<char16_t>::length(path.c_str()));
    return path;
}

Text AppHost::ModuleDirectory() const {
    return WideToAnsi(ModuleDirectoryW());
}

WideText AppHost::ModuleFileNameW() const {
    WideText path = ModulePath(InstanceHandle());
    if (path.empty()) return {};
    return WideText(reinterpret_cast<const char16_t*>(PathFindFileNameW(WinStr(path))));
}

Text AppHost::ModuleFileName() const {
    return WideToAnsi(ModuleFileNameW());
}

HWND AppHost::RootWindow(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (HWND parent = GetParent(hwnd); parent; parent = GetParent(hwnd)) hwnd = parent;
    return hwnd;
}

HWND AppHost::FocusNextControl(HWND hwnd) {
    HWND parent = hwnd ? GetParent(hwnd) : nullptr;
    if (!parent) return nullptr;
    HWND focus = GetFocus();
    HWND first = nullptr;
    HWND last = nullptr;
    bool takeNext = false;
    for (HWND child = FindWindowExW(parent, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(parent, child, nullptr, nullptr)) {
        auto style = GetWindowLongPtrW(child, GWL_STYLE);
        if (!(style & WS_TABSTOP) || !(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
        if (takeNext) {
            SetFocus(child);
            return child;
        }
        if (!first) first = child;
        last = child;
        if (child == focus) takeNext = true;
    }
    if (takeNext && first) {  // the focus was on the last one: wrap round
        SetFocus(first);
        return first;
    }
    return last;
}

bool WantsDialogProcessing(HWND control, const MSG& msg) {
    if (IsMouseMessage(msg.message)) return true;
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) return false;
    WindowRecord* r = WindowRegistry::Find(control);
    const INT_PTR style = r ? r->Bag().GetPtr("koStyle") : 0;
    switch (msg.wParam) {
        case VK_TAB:
            return !(style & kStyleWantsAllKeys);
        case VK_RETURN:
            return !(style & (kStyleWantsEnter | kStyleWantsAllKeys));
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            return !(style & (kStyleWantsArrows | kStyleWantsAllKeys));
        case VK_ESCAPE:
            if (msg.message == WM_KEYDOWN && control) {
                // A top-level window's GetParent is its owner, which the Escape is not for.
                HWND parent = (GetWindowLongPtrW(control, GWL_STYLE) & WS_CHILD)
                                  ? GetParent(control)
                                  : nullptr;
                HWND target = (parent && IsWindow(parent)) ? parent : control;
                SendMessageW(target, WM_COMMAND, IDCANCEL, 0);
            }
            return false;
        default:
            return false;
    }
}

void ProcessLoopMessage(MSG& msg, bool withMdiStep) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    WindowRecord* rootRecord = WindowRegistry::Find(root);
    HWND mdiClient = nullptr;
    const std::vector<HWND>* hosted = nullptr;
    HACCEL accel = nullptr;
    if (rootRecord) {
        PropertyBag& bag = rootRecord->Bag();
        mdiClient = reinterpret_cast<HWND>(bag.GetPtr("hWndMDIClient"));
        hosted = reinterpret_cast<const std::vector<HWND>*>(bag.GetPtr("ATLWindows"));
        accel = reinterpret_cast<HACCEL>(bag.GetPtr("pAccelTable"));
    }
    const bool input = IsKeyboardMessage(msg.message) || IsMouseMessage(msg.message);
    bool hostedTookIt = false;
    if (hosted && input) {
        for (HWND h : *hosted) {
            if (IsChild(h, msg.hwnd)) {
                hostedTookIt =
                    SendMessageW(h, kForwardMessage, 0, reinterpret_cast<LPARAM>(&msg)) != 0;
                break;
            }
        }
    }
    if (withMdiStep && mdiClient && TranslateMDISysAccel(mdiClient, &msg)) return;
    if (accel && root && TranslateAcceleratorW(root, accel, &msg)) return;
    if (!hostedTookIt && input && root && WantsDialogProcessing(msg.hwnd, msg) &&
        IsDialogMessageW(root, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void AppHost::RunMessageLoop(const WindowObject& window, std::optional<bool> showFirst) {
    if (!window.IsWindowAlive()) return;
    if (showFirst.value_or(true)) ShowWindow(window.GetHandle(), SW_SHOW);
    MSG msg{};
    for (;;) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        ProcessLoopMessage(msg, true);
        if (!window.IsWindowAlive()) break;
    }
}

void AppHost::Quit() {
    PostQuitMessage(0);
}
