#pragma once
// Menus: one native menu handle per object, with the item operations the program needs.
//
// Ownership shows in the type. `Menu` owns its handle: it creates or adopts one and destroys it
// (with the brushes and bitmaps it handed to the platform) in its destructor or `Destroy`.
// `MenuRef` only borrows: a window's system menu, a sub-menu read back with `GetSubmenu`, or a
// view of a `Menu`. Both share the item operations of `MenuItems`.
//
// Items are named by command id, or by zero-based position when `byPosition` is true. Texts are
// code-page-936 byte strings (`Text`) or UTF-16 (`WideText`); every text operation takes both.
#include <windows.h>

#include <cstdint>

#include "text/text_types.h"

class ImageObject;
class Menu;
class MenuRef;

class MenuItems {
  public:
    HMENU Handle() const { return menu_; }
    explicit operator bool() const { return menu_ != nullptr; }

    // Sub-menus. The parent destroys its sub-menus together with itself, so an owned `Menu` is
    // handed over with std::move (on success it is left empty: take a `MenuRef` first, or use
    // `GetSubmenu`, to reach it later); a `MenuRef` is for menus this code never destroys.
    // Passing a `Menu` by name is refused at compile time: it would be destroyed twice.
    bool AppendSubmenu(MenuRef submenu, const WideText& text);
    bool AppendSubmenu(MenuRef submenu, const Text& text);
    bool AppendSubmenu(Menu&& submenu, const WideText& text);
    bool AppendSubmenu(Menu&& submenu, const Text& text);
    bool AppendSubmenu(const Menu& submenu, const WideText& text) = delete;
    bool AppendSubmenu(const Menu& submenu, const Text& text) = delete;
    // position < 0: at the end.
    bool InsertSubmenu(MenuRef submenu, const WideText& text, int position = -1);
    bool InsertSubmenu(MenuRef submenu, const Text& text, int position = -1);
    bool InsertSubmenu(Menu&& submenu, const WideText& text, int position = -1);
    bool InsertSubmenu(Menu&& submenu, const Text& text, int position = -1);
    bool InsertSubmenu(const Menu& submenu, const WideText& text, int position = -1) = delete;
    bool InsertSubmenu(const Menu& submenu, const Text& text, int position = -1) = delete;
    // Makes this menu the window's menu bar.
    bool AttachToWindow(HWND window) const;
    // A solid background for the menu (and its sub-menus unless told otherwise); the old
    // background brush is deleted.
    bool SetBackgroundColor(COLORREF colour, bool applyToSubmenus = true);
    // A pattern background made from the picture; colour fills its transparent parts (absent:
    // the system menu colour).
    bool SetBackgroundImage(const ImageObject& image, int64_t colour = -1,
                            bool applyToSubmenus = true);

    MenuRef GetSubmenu(int position) const;
    // Command id of the item at the position; -1 for a sub-menu, a separator or a bad position.
    int GetItemId(int position) const;

    bool AppendItem(const WideText& text, UINT_PTR id);
    bool AppendItem(const Text& text, UINT_PTR id);
    bool AppendSeparator();
    // position < 0: at the end.
    bool InsertItem(const WideText& text, int position, UINT_PTR id);
    bool InsertItem(const Text& text, int position, UINT_PTR id);
    bool InsertSeparator(int position);
    // Radio mark on `checked`, cleared on the rest of first..last. All three are positions.
    bool CheckRadioItem(int checked, int first, int last);
    // Greys the item with this command id out, or makes it choosable again.
    bool EnableItem(UINT_PTR id, bool enable);
    // Shows the menu as a pop-up at the screen point, owned by the window (brought to the
    // foreground first so the menu closes when the user clicks elsewhere). With
    // TPM_RETURNCMD in the flags the result is the chosen command id (0 = none).
    int Popup(int x, int y, HWND window, UINT flags = 0) const;

    WideText GetItemTextW(UINT item, bool byPosition = false) const;
    Text GetItemText(UINT item, bool byPosition = false) const;
    // fType of the item (MFT_*); 0 when the item does not exist.
    UINT GetItemType(UINT item, bool byPosition = false) const;
    // Screen rectangle of the item at the position in the window's menu; empty when unknown.
    RECT GetItemRect(HWND window, UINT position) const;
    ULONG_PTR GetItemData(UINT item, bool byPosition = false) const;
    int GetItemCount() const;
    // GetMenuState: MF_* flags, or 0xFFFFFFFF when the item does not exist.
    UINT GetItemState(UINT item, bool byPosition = false) const;
    // The default item's id (or position); -1 (0xFFFFFFFF) when there is none.
    UINT GetDefaultItem(UINT flags = 0, bool byPosition = false) const;
    // Position of the item under the screen point, or -1.
    int ItemFromPoint(HWND window, int x, int y) const;
    // A copy of the item's bitmap as an image; false when it has none.
    bool GetItemImage(UINT item, ImageObject& image, bool byPosition = false) const;
    bool GetCheckImages(UINT item, ImageObject& checked, ImageObject& unchecked,
                        bool byPosition = false) const;
    // Deletes the item's bitmaps, then removes it. A removed sub-menu is not destroyed.
    bool RemoveItem(UINT item, bool byPosition = false);
    bool CheckItem(UINT item, bool checked, bool byPosition = false);
    bool IsItemChecked(UINT item, bool byPosition = false) const;
    bool SetItemId(UINT item, UINT id, bool byPosition = false);
    bool SetItemText(UINT item, const WideText& text, bool byPosition = false);
    bool SetItemText(UINT item, const Text& text, bool byPosition = false);
    bool SetItemType(UINT item, UINT type, bool byPosition = false);
    bool SetItemData(UINT item, ULONG_PTR data, bool byPosition = false);
    // The menu takes a bitmap made from the image; the old one is deleted.
    bool SetItemImage(UINT item, const ImageObject& image, bool byPosition = false);
    // Same with raw bitmaps; the menu takes ownership of them, even on failure.
    bool SetItemBitmap(UINT item, HBITMAP bitmap, bool byPosition = false);
    bool SetCheckImages(UINT item, const ImageObject& checked, const ImageObject& unchecked,
                        bool byPosition = false);
    bool SetCheckBitmaps(UINT item, HBITMAP checked, HBITMAP unchecked, bool byPosition = false);
    bool SetItemState(UINT item, UINT state, bool byPosition = false);
    bool SetDefaultItem(UINT item, bool byPosition = false);

    // Deletes the bitmaps of every item of `menu` and of its sub-menus (the bitmaps the menu
    // operations above handed to the platform).
    static void DeleteItemImages(HMENU menu);

  protected:
    MenuItems() = default;
    explicit MenuItems(HMENU menu) : menu_(menu) {}
    HMENU menu_ = nullptr;
};

// A borrowed menu handle: copying copies the handle; nothing is ever destroyed through it.
class MenuRef : public MenuItems {
  public:
    MenuRef() = default;
    explicit MenuRef(HMENU menu) : MenuItems(menu) {}

    // Borrows the window's system menu (refused when a handle is already set).
    bool AttachSystemMenu(HWND window);
    // Restores the window's standard system menu; this object then holds no handle.
    bool ResetSystemMenu(HWND window);
    // Borrows a handle when none is set.
    bool Attach(HMENU menu);
};

// An owned menu handle: move-only, destroyed in one place.
class Menu : public MenuItems {
  public:
    Menu() = default;
    // Adopts a handle.
    explicit Menu(HMENU menu) : MenuItems(menu) {}
    ~Menu() { Destroy(); }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
    Menu(Menu&& other) noexcept : MenuItems(other.Release()) {}
    Menu& operator=(Menu&& other) noexcept;

    // Creation is refused while a handle is held.
    bool CreateBar();
    bool CreatePopup();
    bool LoadFromResource(const wchar_t* name);
    bool LoadFromResource(int id) { return LoadFromResource(MAKEINTRESOURCEW(id)); }
    // Adopts a handle when none is set.
    bool Attach(HMENU menu);
    // Deletes the background brushes and item bitmaps, then the menu with its sub-menus.
    void Destroy();
    // Gives up ownership; the caller destroys the handle.
    HMENU Release();

    MenuRef Ref() const { return MenuRef(menu_); }
    operator MenuRef() const { return Ref(); }
};
