#include "ui/dpi.h"

namespace {

template <class Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}

UINT ScreenDpi() {
    const WindowDc screen(nullptr);
    if (!screen) return kBaseDpi;
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
    // Looked up by name: systems before Windows 10 have no per-window dpi.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return ScreenDpi();
}

UINT SystemDpi() {
    using GetDpiForSystemFn = UINT(WINAPI*)();
    static const auto getDpiForSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (getDpiForSystem != nullptr) {
        if (const UINT dpi = getDpiForSystem()) return dpi;
    }
    return ScreenDpi();
}

FontHandle ControlFontForDpi(UINT dpi) {
    LOGFONTW font{};
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) != sizeof font) {
        lstrcpynW(font.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
        font.lfCharSet = DEFAULT_CHARSET;
    }
    font.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
    font.lfWidth = 0;
    return FontHandle(CreateFontIndirectW(&font));
}
