#pragma once
// Handle types of the window toolkit. The owners of menus, cursors, accelerator tables, modules
// and windows are aliases of the one owner in threads/handle.h; a borrowed handle is a plain
// view with no destructor work, so the type says who cleans up.
#include <windows.h>

#include "threads/handle.h"

namespace ui {

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
