#include "ui/menu.h"

#include <set>
#include <utility>
#include <vector>

#include "draw/gdi_handles.h"
#include "draw/image_object.h"
#include "text/text_helpers.h"
#include "ui/app_host.h"

namespace {

UINT PositionFlag(bool byPosition) {
    return byPosition ? MF_BYPOSITION : MF_BYCOMMAND;
}

MENUITEMINFOW ItemInfo(UINT mask) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    return info;
}

bool ReadItem(HMENU menu, UINT item, bool byPosition, MENUITEMINFOW& info) {
    return menu != nullptr && ::GetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info);
}

bool WriteItem(HMENU menu, UINT item, bool byPosition, const MENUITEMINFOW& info) {
    return menu != nullptr && ::SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info);
}

// hbmpItem may hold one of the HBMMENU_* drawing codes instead of a bitmap; those are not ours
// to delete.
bool IsRealBitmap(HBITMAP bitmap) {
    const auto value = reinterpret_cast<INT_PTR>(bitmap);
    return bitmap != nullptr && value != -1 && (value < 0 || value > 11);
}

void DeleteBitmap(HBITMAP bitmap) {
    if (IsRealBitmap(bitmap)) BitmapHandle::Close(bitmap);
}

HBRUSH BackgroundBrush(HMENU menu) {
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_BACKGROUND;
    if (!::GetMenuInfo(menu, &info)) return nullptr;
    return info.hbrBack;
}

// Every menu owns its own brush (see SetBackgroundBrush); the set still deletes each once should
// a menu made elsewhere share one.
void CollectBrushes(HMENU menu, std::set<HBRUSH>& brushes, int depth) {
    if (menu == nullptr || depth > 32) return;
    if (HBRUSH brush = BackgroundBrush(menu)) brushes.insert(brush);
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) CollectBrushes(::GetSubMenu(menu, i), brushes, depth + 1);
}

void DeleteItemImagesDeep(HMENU menu, int depth) {
    if (menu == nullptr || depth > 32) return;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = ItemInfo(MIIM_BITMAP | MIIM_CHECKMARKS | MIIM_SUBMENU);
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        const HBITMAP item = info.hbmpItem;
        const HBITMAP checked = info.hbmpChecked;
        const HBITMAP unchecked = info.hbmpUnchecked;
        if (IsRealBitmap(item) || IsRealBitmap(checked) || IsRealBitmap(unchecked)) {
            // Detach first so the menu never refers to a deleted bitmap.
            MENUITEMINFOW clear = ItemInfo(MIIM_BITMAP | MIIM_CHECKMARKS);
            ::SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &clear);
            DeleteBitmap(item);
            DeleteBitmap(checked);
            DeleteBitmap(unchecked);
        }
        DeleteItemImagesDeep(info.hSubMenu, depth + 1);
    }
}

bool AddSubmenu(HMENU menu, HMENU submenu, const WideText& text, int position) {
    if (menu == nullptr || submenu == nullptr || submenu == menu) return false;
    const auto id = reinterpret_cast<UINT_PTR>(submenu);
    if (position < 0) {
        return ::AppendMenuW(menu, MF_POPUP | MF_BYPOSITION | MF_STRING, id, WinStr(text)) != 0;
    }
    return ::InsertMenuW(menu, static_cast<UINT>(position), MF_POPUP | MF_BYPOSITION | MF_STRING,
                         id, WinStr(text)) != 0;
}

UINT EndPosition(HMENU menu, int position) {
    if (position >= 0) return static_cast<UINT>(position);
    const int count = ::GetMenuItemCount(menu);
    return count < 0 ? 0 : static_cast<UINT>(count);
}

// Gives the menu a new brush from `make` (and, when asked, each sub-menu below it one of its
// own) and deletes the brush each replaces. Menus never share a brush: a shared one would be
// deleted by the first menu to change colour while the others still paint with it.
template <class MakeBrush>
bool SetBackgroundBrush(HMENU menu, const MakeBrush& make, bool applyToSubmenus, int depth = 0) {
    if (menu == nullptr || depth > 32) return false;
    BrushHandle owned(make());
    if (!owned) return false;
    BrushHandle old(BackgroundBrush(menu));
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_BACKGROUND;
    info.hbrBack = owned.Get();
    if (!::SetMenuInfo(menu, &info)) {
        old.Release();
        return false;
    }
    owned.Release();
    if (!applyToSubmenus) return true;
    const int count = ::GetMenuItemCount(menu);
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i))
            ok = SetBackgroundBrush(sub, make, true, depth + 1) && ok;
    }
    return ok;
}

}  // namespace

// ---- sub-menus and the menu bar ----

bool MenuItems::AppendSubmenu(MenuRef submenu, const WideText& text) {
    return AddSubmenu(menu_, submenu.Handle(), text, -1);
}
bool MenuItems::AppendSubmenu(MenuRef submenu, const Text& text) {
    return AppendSubmenu(submenu, AnsiToWide(text));
}
bool MenuItems::AppendSubmenu(Menu&& submenu, const WideText& text) {
    if (!AddSubmenu(menu_, submenu.Handle(), text, -1)) return false;
    submenu.Release();
    return true;
}
bool MenuItems::AppendSubmenu(Menu&& submenu, const Text& text) {
    return AppendSubmenu(std::move(submenu), AnsiToWide(text));
}

bool MenuItems::InsertSubmenu(MenuRef submenu, const WideText& text, int position) {
    return AddSubmenu(menu_, submenu.Handle(), text,
                      static_cast<int>(EndPosition(menu_, position)));
}
bool MenuItems::InsertSubmenu(MenuRef submenu, const Text& text, int position) {
    return InsertSubmenu(submenu, AnsiToWide(text), position);
}
bool MenuItems::InsertSubmenu(Menu&& submenu, const WideText& text, int position) {
    if (!AddSubmenu(menu_, submenu.Handle(), text,
                    static_cast<int>(EndPosition(menu_, position)))) {
        return false;
    }
    submenu.Release();
    return true;
}
bool MenuItems::InsertSubmenu(Menu&& submenu, const Text& text, int position) {
    return InsertSubmenu(std::move(submenu), AnsiToWide(text), position);
}

bool MenuItems::AttachToWindow(HWND window) const {
    if (menu_ == nullptr || !::IsWindow(window)) return false;
    if (!::SetMenu(window, menu_)) return false;
    ::DrawMenuBar(window);
    return true;
}

bool MenuItems::SetBackgroundColor(COLORREF colour, bool applyToSubmenus) {
    if (menu_ == nullptr) return false;
    return SetBackgroundBrush(
        menu_, [colour] { return ::CreateSolidBrush(colour); }, applyToSubmenus);
}

bool MenuItems::SetBackgroundImage(const ImageObject& image, int64_t colour, bool applyToSubmenus) {
    if (menu_ == nullptr || image.IsEmpty()) return false;
    const COLORREF rgb = colour < 0 ? ::GetSysColor(COLOR_MENU) : static_cast<COLORREF>(colour);
    const ArgbColor argb =
        0xFF000000u | (GetRValue(rgb) << 16) | (GetGValue(rgb) << 8) | GetBValue(rgb);
    BitmapHandle bitmap = image.ToBitmapHandle(argb);
    if (!bitmap) return false;
    // Each brush keeps its own copy of the pattern; the bitmap goes when this scope ends.
    return SetBackgroundBrush(
        menu_, [&bitmap] { return ::CreatePatternBrush(bitmap.Get()); }, applyToSubmenus);
}

// ---- items ----

MenuRef MenuItems::GetSubmenu(int position) const {
    if (menu_ == nullptr || position < 0) return MenuRef();
    return MenuRef(::GetSubMenu(menu_, position));
}

int MenuItems::GetItemId(int position) const {
    if (menu_ == nullptr || position < 0) return -1;
    return static_cast<int>(::GetMenuItemID(menu_, position));
}

bool MenuItems::AppendItem(const WideText& text, UINT_PTR id) {
    return menu_ != nullptr && ::AppendMenuW(menu_, MF_STRING, id, WinStr(text)) != 0;
}
bool MenuItems::AppendItem(const Text& text, UINT_PTR id) {
    return AppendItem(AnsiToWide(text), id);
}

bool MenuItems::AppendSeparator() {
    return menu_ != nullptr && ::AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr) != 0;
}

bool MenuItems::InsertItem(const WideText& text, int position, UINT_PTR id) {
    if (menu_ == nullptr) return false;
    return ::InsertMenuW(menu_, EndPosition(menu_, position), MF_BYPOSITION | MF_STRING, id,
                         WinStr(text)) != 0;
}
bool MenuItems::InsertItem(const Text& text, int position, UINT_PTR id) {
    return InsertItem(AnsiToWide(text), position, id);
}

bool MenuItems::InsertSeparator(int position) {
    if (menu_ == nullptr) return false;
    return ::InsertMenuW(menu_, EndPosition(menu_, position), MF_BYPOSITION | MF_SEPARATOR, 0,
                         nullptr) != 0;
}

bool MenuItems::CheckRadioItem(int checked, int first, int last) {
    if (menu_ == nullptr || checked < 0 || first < 0 || last < first) return false;
    return ::CheckMenuRadioItem(menu_, static_cast<UINT>(first), static_cast<UINT>(last),
                                static_cast<UINT>(checked), MF_BYPOSITION) != 0;
}

bool MenuItems::EnableItem(UINT_PTR id, bool enable) {
    if (menu_ == nullptr) return false;
    return ::EnableMenuItem(menu_, static_cast<UINT>(id),
                            MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED)) != -1;
}

int MenuItems::Popup(int x, int y, HWND window, UINT flags) const {
    if (menu_ == nullptr || !::IsWindow(window)) return 0;
    ::SetForegroundWindow(window);
    return static_cast<int>(::TrackPopupMenu(menu_, flags, x, y, 0, window, nullptr));
}

WideText MenuItems::GetItemTextW(UINT item, bool byPosition) const {
    if (menu_ == nullptr) return {};
    const UINT flag = PositionFlag(byPosition);
    const int length = ::GetMenuStringW(menu_, item, nullptr, 0, flag);
    if (length <= 0) return {};
    WideText text(static_cast<size_t>(length) + 1, u'\0');
    const int copied = ::GetMenuStringW(menu_, item, WinStr(text), length + 1, flag);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}
Text MenuItems::GetItemText(UINT item, bool byPosition) const {
    return WideToAnsi(GetItemTextW(item, byPosition));
}

UINT MenuItems::GetItemType(UINT item, bool byPosition) const {
    MENUITEMINFOW info = ItemInfo(MIIM_FTYPE);
    return ReadItem(menu_, item, byPosition, info) ? info.fType : 0;
}

RECT MenuItems::GetItemRect(HWND window, UINT position) const {
    RECT rect{};
    if (menu_ == nullptr || !::GetMenuItemRect(window, menu_, position, &rect)) return RECT{};
    return rect;
}

ULONG_PTR MenuItems::GetItemData(UINT item, bool byPosition) const {
    MENUITEMINFOW info = ItemInfo(MIIM_DATA);
    return ReadItem(menu_, item, byPosition, info) ? info.dwItemData : 0;
}

int MenuItems::GetItemCount() const {
    if (menu_ == nullptr) return 0;
    const int count = ::GetMenuItemCount(menu_);
    return count < 0 ? 0 : count;
}

UINT MenuItems::GetItemState(UINT item, bool byPosition) const {
    if (menu_ == nullptr) return 0xFFFFFFFFu;
    return ::GetMenuState(menu_, item, PositionFlag(byPosition));
}

UINT MenuItems::GetDefaultItem(UINT flags, bool byPosition) const {
    if (menu_ == nullptr) return 0xFFFFFFFFu;
    return ::GetMenuDefaultItem(menu_, byPosition ? TRUE : FALSE, flags);
}

int MenuItems::ItemFromPoint(HWND window, int x, int y) const {
    if (menu_ == nullptr) return -1;
    return ::MenuItemFromPoint(window, menu_, POINT{x, y});
}

bool MenuItems::GetItemImage(UINT item, ImageObject& image, bool byPosition) const {
    MENUITEMINFOW info = ItemInfo(MIIM_BITMAP);
    if (!ReadItem(menu_, item, byPosition, info) || !IsRealBitmap(info.hbmpItem)) return false;
    image = BitmapObject::FromBitmapHandleWithAlpha(info.hbmpItem);
    return !image.IsEmpty();
}

bool MenuItems::GetCheckImages(UINT item, ImageObject& checked, ImageObject& unchecked,
                               bool byPosition) const {
    MENUITEMINFOW info = ItemInfo(MIIM_CHECKMARKS);
    if (!ReadItem(menu_, item, byPosition, info)) return false;
    checked.Dispose();
    unchecked.Dispose();
    if (IsRealBitmap(info.hbmpChecked)) {
        checked = BitmapObject::FromBitmapHandleWithAlpha(info.hbmpChecked);
    }
    if (IsRealBitmap(info.hbmpUnchecked)) {
        unchecked = BitmapObject::FromBitmapHandleWithAlpha(info.hbmpUnchecked);
    }
    return !checked.IsEmpty() || !unchecked.IsEmpty();
}

bool MenuItems::RemoveItem(UINT item, bool byPosition) {
    MENUITEMINFOW info = ItemInfo(MIIM_BITMAP | MIIM_CHECKMARKS);
    if (!ReadItem(menu_, item, byPosition, info)) return false;
    if (!::RemoveMenu(menu_, item, PositionFlag(byPosition))) return false;
    DeleteBitmap(info.hbmpItem);
    DeleteBitmap(info.hbmpChecked);
    DeleteBitmap(info.hbmpUnchecked);
    return true;
}

bool MenuItems::CheckItem(UINT item, bool checked, bool byPosition) {
    if (menu_ == nullptr) return false;
    const DWORD previous =
        ::CheckMenuItem(menu_, item, PositionFlag(byPosition) | (checked ? MF_CHECKED : 0));
    return previous != 0xFFFFFFFFu;
}

bool MenuItems::IsItemChecked(UINT item, bool byPosition) const {
    const UINT state = GetItemState(item, byPosition);
    return state != 0xFFFFFFFFu && (state & MF_CHECKED) != 0;
}

bool MenuItems::SetItemId(UINT item, UINT id, bool byPosition) {
    MENUITEMINFOW info = ItemInfo(MIIM_ID);
    info.wID = id;
    return WriteItem(menu_, item, byPosition, info);
}

bool MenuItems::SetItemText(UINT item, const WideText& text, bool byPosition) {
    MENUITEMINFOW info = ItemInfo(MIIM_STRING);
    WideText copy = text;
    info.dwTypeData = WinStr(copy);
    info.cch = static_cast<UINT>(copy.size());
    return WriteItem(menu_, item, byPosition, info);
}
bool MenuItems::SetItemText(UINT item, const Text& text, bool byPosition) {
    return SetItemText(item, AnsiToWide(text), byPosition);
}

bool MenuItems::SetItemType(UINT item, UINT type, bool byPosition) {
    MENUITEMINFOW info = ItemInfo(MIIM_FTYPE);
    info.fType = type;
    return WriteItem(menu_, item, byPosition, info);
}

bool MenuItems::SetItemData(UINT item, ULONG_PTR data, bool byPosition) {
    MENUITEMINFOW info = ItemInfo(MIIM_DATA);
    info.dwItemData = data;
    return WriteItem(menu_, item, byPosition, info);
}

bool MenuItems::SetItemBitmap(UINT item, HBITMAP bitmap, bool byPosition) {
    BitmapHandle owned(IsRealBitmap(bitmap) ? bitmap : nullptr);
    MENUITEMINFOW old = ItemInfo(MIIM_BITMAP);
    if (!ReadItem(menu_, item, byPosition, old)) return false;
    MENUITEMINFOW info = ItemInfo(MIIM_BITMAP);
    info.hbmpItem = bitmap;
    if (!WriteItem(menu_, item, byPosition, info)) return false;
    owned.Release();
    if (old.hbmpItem != bitmap) DeleteBitmap(old.hbmpItem);
    return true;
}

bool MenuItems::SetItemImage(UINT item, const ImageObject& image, bool byPosition) {
    if (menu_ == nullptr || image.IsEmpty()) return false;
    BitmapHandle bitmap = image.ToBitmapHandle(0);
    if (!bitmap) return false;
    return SetItemBitmap(item, bitmap.Release(), byPosition);
}

bool MenuItems::SetCheckBitmaps(UINT item, HBITMAP checked, HBITMAP unchecked, bool byPosition) {
    BitmapHandle ownedChecked(IsRealBitmap(checked) ? checked : nullptr);
    BitmapHandle ownedUnchecked(IsRealBitmap(unchecked) ? unchecked : nullptr);
    MENUITEMINFOW old = ItemInfo(MIIM_CHECKMARKS);
    if (!ReadItem(menu_, item, byPosition, old)) return false;
    MENUITEMINFOW info = ItemInfo(MIIM_CHECKMARKS);
    info.hbmpChecked = checked;
    info.hbmpUnchecked = unchecked;
    if (!WriteItem(menu_, item, byPosition, info)) return false;
    ownedChecked.Release();
    ownedUnchecked.Release();
    if (old.hbmpChecked != checked && old.hbmpChecked != unchecked) {
        DeleteBitmap(old.hbmpChecked);
    }
    if (old.hbmpUnchecked != checked && old.hbmpUnchecked != unchecked &&
        old.hbmpUnchecked != old.hbmpChecked) {
        DeleteBitmap(old.hbmpUnchecked);
    }
    return true;
}

bool MenuItems::SetCheckImages(UINT item, const ImageObject& checked, const ImageObject& unchecked,
                               bool byPosition) {
    if (menu_ == nullptr) return false;
    BitmapHandle on = checked.IsEmpty() ? BitmapHandle() : checked.ToBitmapHandle(0);
    BitmapHandle off = unchecked.IsEmpty() ? BitmapHandle() : unchecked.ToBitmapHandle(0);
    return SetCheckBitmaps(item, on.Release(), off.Release(), byPosition);
}

bool MenuItems::SetItemState(UINT item, UINT state, bool byPosition) {
    MENUITEMINFOW info = ItemInfo(MIIM_STATE);
    info.fState = state;
    return WriteItem(menu_, item, byPosition, info);
}

bool MenuItems::SetDefaultItem(UINT item, bool byPosition) {
    return menu_ != nullptr && ::SetMenuDefaultItem(menu_, item, byPosition ? TRUE : FALSE) != 0;
}

void MenuItems::DeleteItemImages(HMENU menu) {
    DeleteItemImagesDeep(menu, 0);
}

// ---- borrowed handles ----

bool MenuRef::AttachSystemMenu(HWND window) {
    if (menu_ != nullptr || !::IsWindow(window)) return false;
    menu_ = ::GetSystemMenu(window, FALSE);
    return menu_ != nullptr;
}

bool MenuRef::ResetSystemMenu(HWND window) {
    if (!::IsWindow(window)) return false;
    ::GetSystemMenu(window, TRUE);
    menu_ = nullptr;
    return true;
}

bool MenuRef::Attach(HMENU menu) {
    if (menu_ != nullptr || menu == nullptr) return false;
    menu_ = menu;
    return true;
}

// ---- owned handles ----

Menu& Menu::operator=(Menu&& other) noexcept {
    if (this != &other) {
        Destroy();
        menu_ = other.Release();
    }
    return *this;
}

bool Menu::CreateBar() {
    if (menu_ != nullptr) return false;
    menu_ = ::CreateMenu();
    return menu_ != nullptr;
}

bool Menu::CreatePopup() {
    if (menu_ != nullptr) return false;
    menu_ = ::CreatePopupMenu();
    return menu_ != nullptr;
}

bool Menu::LoadFromResource(const wchar_t* name) {
    if (menu_ != nullptr || name == nullptr) return false;
    menu_ = ::LoadMenuW(ToolkitInstance(), name);
    return menu_ != nullptr;
}

bool Menu::Attach(HMENU menu) {
    if (menu_ != nullptr || menu == nullptr) return false;
    menu_ = menu;
    return true;
}

void Menu::Destroy() {
    const HMENU menu = std::exchange(menu_, nullptr);
    if (menu == nullptr || !::IsMenu(menu)) return;
    std::set<HBRUSH> brushes;
    CollectBrushes(menu, brushes, 0);
    DeleteItemImages(menu);
    MenuHandle::Close(menu);
    for (HBRUSH brush : brushes) BrushHandle::Close(brush);
}

HMENU Menu::Release() {
    return std::exchange(menu_, nullptr);
}
