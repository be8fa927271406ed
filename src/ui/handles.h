#pragma once
// One owner type per handle kind the window toolkit creates. Each owner is non-copyable,
// movable, and releases its handle in exactly one place (its Reset). Borrowed handles are plain
// views with no destructor work, so the type says who cleans up.
#include <windows.h>

#include <utility>

namespace ui {

template <class H, auto Close>
class OwnedHandle {
  public:
    OwnedHandle() = default;
    explicit OwnedHandle(H h) : h_(h) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& o) noexcept : h_(std::exchange(o.h_, H{})) {}
    OwnedHandle& operator=(OwnedHandle&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, H{}));
        return *this;
    }

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != H{}; }
    // Gives up ownership without closing (the handle now belongs to someone else).
    H Release() { return std::exchange(h_, H{}); }
    void Reset(H h = H{}) {
        H old = std::exchange(h_, h);
        if (old != H{}) Close(old);
    }

  private:
    H h_{};
};

inline void CloseMenuHandle(HMENU h) {
    ::DestroyMenu(h);
}
inline void CloseIconHandle(HICON h) {
    ::DestroyIcon(h);
}
inline void CloseCursorHandle(HCURSOR h) {
    ::DestroyCursor(h);
}
inline void CloseGdiObject(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void CloseMemoryDc(HDC h) {
    ::DeleteDC(h);
}
inline void CloseAccelTable(HACCEL h) {
    ::DestroyAcceleratorTable(h);
}
inline void CloseWindowHandle(HWND h) {
    if (::IsWindow(h)) ::DestroyWindow(h);
}
inline void CloseModule(HMODULE h) {
    ::FreeLibrary(h);
}

using OwnedMenu = OwnedHandle<HMENU, &CloseMenuHandle>;
using OwnedIcon = OwnedHandle<HICON, &CloseIconHandle>;
using OwnedCursor = OwnedHandle<HCURSOR, &CloseCursorHandle>;
using OwnedBrush = OwnedHandle<HBRUSH, &CloseGdiObject>;
using OwnedBitmap = OwnedHandle<HBITMAP, &CloseGdiObject>;
using OwnedFont = OwnedHandle<HFONT, &CloseGdiObject>;
using OwnedMemoryDc = OwnedHandle<HDC, &CloseMemoryDc>;
using OwnedAccelTable = OwnedHandle<HACCEL, &CloseAccelTable>;
using OwnedWindow = OwnedHandle<HWND, &CloseWindowHandle>;
using OwnedModule = OwnedHandle<HMODULE, &CloseModule>;

// A menu handle that someone else destroys (a window's menu bar, a sub-menu of an owned menu).
class BorrowedMenu {
  public:
    BorrowedMenu() = default;
    explicit BorrowedMenu(HMENU h) : h_(h) {}
    HMENU Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HMENU h_ = nullptr;
};

// The DC of a window from GetDC, given back with ReleaseDC.
class WindowDc {
  public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    WindowDc(WindowDc&& o) noexcept
        : hwnd_(std::exchange(o.hwnd_, nullptr)), dc_(std::exchange(o.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;
};

// Keeps an object selected into a DC for the life of the scope.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~SelectedObject() {
        if (dc_ && old_) ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// The GDI+ session token. GdiplusShutdown is looked up at run time by the app host, so this
// owner only carries the value and a release routine.
class GdiplusSession {
  public:
    using ShutdownFn = void (*)(ULONG_PTR);
    GdiplusSession() = default;
    GdiplusSession(ULONG_PTR token, ShutdownFn shutdown) : token_(token), shutdown_(shutdown) {}
    ~GdiplusSession() { Reset(); }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    GdiplusSession(GdiplusSession&& o) noexcept
        : token_(std::exchange(o.token_, 0)), shutdown_(std::exchange(o.shutdown_, nullptr)) {}
    GdiplusSession& operator=(GdiplusSession&& o) noexcept {
        if (this != &o) {
            Reset();
            token_ = std::exchange(o.token_, 0);
            shutdown_ = std::exchange(o.shutdown_, nullptr);
        }
        return *this;
    }
    ULONG_PTR Token() const { return token_; }
    // Keeps GDI+ running until the process ends (the program never shuts it down itself).
    ULONG_PTR Leak() {
        shutdown_ = nullptr;
        return token_;
    }
    void Reset() {
        if (token_ && shutdown_) shutdown_(token_);
        token_ = 0;
        shutdown_ = nullptr;
    }

  private:
    ULONG_PTR token_ = 0;
    ShutdownFn shutdown_ = nullptr;
};

}  // namespace ui
