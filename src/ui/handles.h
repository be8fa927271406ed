#pragma once
// Owners for the handle kinds the window toolkit creates beyond the GDI ones (bitmaps, brushes,
// fonts, icons, memory DCs and window DCs come from draw/gdi_handles.h). Each owner is
// non-copyable, movable, and releases its handle in exactly one place (its Reset). A borrowed
// handle is a plain view with no destructor work, so the type says who cleans up.
#include <windows.h>

#include <utility>

#include "draw/gdi_handles.h"

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
        if (old != H{} && old != h) Close(old);
    }

  private:
    H h_{};
};

inline void CloseMenuHandle(HMENU h) {
    ::DestroyMenu(h);
}
inline void CloseCursorHandle(HCURSOR h) {
    ::DestroyCursor(h);
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
using OwnedCursor = OwnedHandle<HCURSOR, &CloseCursorHandle>;
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

}  // namespace ui
