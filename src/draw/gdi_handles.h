#pragma once
// Owners for the GDI handle kinds the drawing code and the window toolkit pass around. Each owner
// is non-copyable and movable, and releases its handle in exactly one place (its Reset).
#include <windows.h>

#include <utility>

// Shared shape of every owner: a handle plus the one call that frees it.
template <typename H, typename Traits>
class UniqueGdiHandle {
  public:
    UniqueGdiHandle() = default;
    explicit UniqueGdiHandle(H handle) : handle_(handle) {}
    ~UniqueGdiHandle() { Reset(); }
    UniqueGdiHandle(const UniqueGdiHandle&) = delete;
    UniqueGdiHandle& operator=(const UniqueGdiHandle&) = delete;
    UniqueGdiHandle(UniqueGdiHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueGdiHandle& operator=(UniqueGdiHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    H Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle away; the caller frees it.
    H Release() { return std::exchange(handle_, nullptr); }
    void Reset(H handle = nullptr) {
        H old = std::exchange(handle_, handle);
        if (old != nullptr && old != handle) Traits::Free(old);
    }

  private:
    H handle_ = nullptr;
};

struct GdiObjectTraits {
    static void Free(HGDIOBJ h) { ::DeleteObject(h); }
};
struct IconTraits {
    static void Free(HICON h) { ::DestroyIcon(h); }
};
struct MemoryDcTraits {
    static void Free(HDC h) { ::DeleteDC(h); }
};

using BitmapHandle = UniqueGdiHandle<HBITMAP, GdiObjectTraits>;
using BrushHandle = UniqueGdiHandle<HBRUSH, GdiObjectTraits>;
using PenHandle = UniqueGdiHandle<HPEN, GdiObjectTraits>;
using FontHandle = UniqueGdiHandle<HFONT, GdiObjectTraits>;
using RegionHandle = UniqueGdiHandle<HRGN, GdiObjectTraits>;
// Icons and cursors made at run time (CreateIconIndirect, GdipCreateHICONFromBitmap,
// ImageList_GetIcon, LoadImage without LR_SHARED). Never for shared resource icons.
using IconHandle = UniqueGdiHandle<HICON, IconTraits>;
// A device context from CreateCompatibleDC / CreateDC (not GetDC: that one is released).
using MemoryDc = UniqueGdiHandle<HDC, MemoryDcTraits>;

// A window's device context from GetDC, given back with ReleaseDC.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
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
