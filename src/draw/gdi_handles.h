#pragma once
// Scoped helpers for GDI drawing. The owners of GDI objects, icons and memory DCs (BitmapHandle,
// BrushHandle, IconHandle, MemoryDc, ...) are aliases of the one owner in threads/handle.h.
#include <windows.h>

#include "threads/handle.h"

// A window's device context from GetDC (its client area) or GetWindowDC (the whole window, its
// frame included), given back with ReleaseDC.
class WindowDc {
  public:
    enum class Area { kClient, kWhole };
    explicit WindowDc(HWND window, Area area = Area::kClient)
        : window_(window), dc_(area == Area::kWhole ? ::GetWindowDC(window) : ::GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context for one scope and puts the previous one back, so the
// object can be deleted afterwards (a selected object cannot be).
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~ScopedSelect() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    bool Ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The header of a 32-bit DIB of width x height pixels, top-down (row 0 first) unless asked.
inline BITMAPINFO Dib32Info(int width, int height, bool topDown = true) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = topDown ? -height : height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
