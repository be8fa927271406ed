// Menus: building pop-ups and sub-menus, radio groups, item texts and data, ownership of the
// handles and of the bitmaps and brushes handed to the platform, and showing a pop-up.
#include <gtest/gtest.h>

#include <utility>

#include "ctl_support.h"
#include "ui/menu.h"

namespace {

// "原图", "高清", "标清", "缩略" and "下载选中", "打开目录", "下载类型" in code page 936.
const Text kSizeTexts[] = {"\xD4\xAD\xCD\xBC", "\xB8\xDF\xC7\xE5", "\xB1\xEA\xC7\xE5",
                           "\xCB\xF5\xC2\xD4"};
const Text kDownloadSelected = "\xCF\xC2\xD4\xD8\xD1\xA1\xD6\xD0";
const Text kOpenFolder = "\xB4\xF2\xBF\xAA\xC4\xBF\xC2\xBC";
const Text kDownloadType = "\xCF\xC2\xD4\xD8\xC0\xE0\xD0\xCD";

Menu MakeSizeMenu() {
    Menu menu;
    EXPECT_TRUE(menu.CreatePopup());
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(menu.AppendItem(kSizeTexts[i], 10002 + i));
    return menu;
}

bool IsDeletedGdiObject(HGDIOBJ object) {
    return ::GetObjectType(object) == 0;
}

HBITMAP MakeBitmap() {
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 12, 12);
    ::ReleaseDC(nullptr, screen);
    return bitmap;
}

TEST(MenuItems, CheckRadioItemWorksByPositionAndClearsTheRestOfTheGroup) {
    Menu size = MakeSizeMenu();
    ASSERT_TRUE(size.CheckRadioItem(0, 0, 3));
    ASSERT_TRUE(size.CheckRadioItem(2, 0, 3));
    for (UINT position = 0; position < 4; ++position) {
        EXPECT_EQ(size.IsItemChecked(position, true), position == 2) << "position " << position;
    }
    EXPECT_NE(size.GetItemType(2, true) & MFT_RADIOCHECK, 0u) << "drawn as a radio mark";
    // By command id the same item is 10004.
    EXPECT_TRUE(size.IsItemChecked(10004));
    EXPECT_FALSE(size.CheckRadioItem(4, 0, 3)) << "checked item outside the group";
}

TEST(MenuItems, ContextMenuHoldsItemsSeparatorAndSizeSubmenuWithItsText) {
    Menu size = MakeSizeMenu();
    const MenuRef sizeRef = size;
    const HMENU sizeHandle = size.Handle();
    Menu album;
    ASSERT_TRUE(album.CreatePopup());
    ASSERT_TRUE(album.AppendItem(kDownloadSelected, 10000));
    ASSERT_TRUE(album.AppendItem(kOpenFolder, 10001));
    ASSERT_TRUE(album.AppendSeparator());
    ASSERT_TRUE(album.AppendSubmenu(std::move(size), kDownloadType));
    EXPECT_FALSE(size) << "the parent owns the sub-menu now";

    ASSERT_EQ(album.GetItemCount(), 4);
    EXPECT_EQ(album.GetItemId(0), 10000);
    EXPECT_EQ(album.GetItemId(1), 10001);
    EXPECT_NE(album.GetItemType(2, true) & MFT_SEPARATOR, 0u);
    EXPECT_EQ(album.GetItemId(3), -1) << "a pop-up entry has no command id";
    EXPECT_NE(album.GetItemState(3, true) & MF_POPUP, 0u);
    EXPECT_EQ(album.GetSubmenu(3).Handle(), sizeHandle);
    EXPECT_EQ(album.GetItemText(3, true), kDownloadType);
    EXPECT_EQ(album.GetItemTextW(3, true), u"下载类型");
    EXPECT_EQ(album.GetItemText(10000), kDownloadSelected);

    // The radio group is still reachable through the borrowed handle.
    EXPECT_TRUE(album.GetSubmenu(3).CheckRadioItem(1, 0, 3));
    EXPECT_TRUE(sizeRef.IsItemChecked(10003));

    album.Destroy();
    EXPECT_FALSE(::IsMenu(sizeHandle)) << "destroyed with its parent";
}

TEST(MenuItems, InsertedItemsLandAtTheirPositionAndTextsRoundTrip) {
    Menu menu;
    ASSERT_TRUE(menu.CreatePopup());
    ASSERT_TRUE(menu.AppendItem(Text("last"), 3));
    ASSERT_TRUE(menu.InsertItem(Text("first"), 0, 1));
    ASSERT_TRUE(menu.InsertSeparator(1));
    ASSERT_TRUE(menu.InsertItem(WideText(u"end"), -1, 4));
    Menu sub;
    ASSERT_TRUE(sub.CreatePopup());
    ASSERT_TRUE(menu.InsertSubmenu(std::move(sub), kDownloadType, 2));

    ASSERT_EQ(menu.GetItemCount(), 5);
    EXPECT_EQ(menu.GetItemText(0, true), "first");
    EXPECT_NE(menu.GetItemType(1, true) & MFT_SEPARATOR, 0u);
    EXPECT_EQ(menu.GetItemText(2, true), kDownloadType);
    EXPECT_EQ(menu.GetItemText(3, true), "last");
    EXPECT_EQ(menu.GetItemText(4, true), "end");

    EXPECT_TRUE(menu.SetItemText(3, kOpenFolder));
    EXPECT_EQ(menu.GetItemText(3), kOpenFolder);
    EXPECT_TRUE(menu.SetItemData(1, 0x12345678u, false));
    EXPECT_EQ(menu.GetItemData(0, true), 0x12345678u);
    EXPECT_TRUE(menu.SetItemId(4, 40, true));
    EXPECT_EQ(menu.GetItemId(4), 40);
    EXPECT_TRUE(menu.SetDefaultItem(3, true));
    EXPECT_EQ(menu.GetDefaultItem(0, true), 3u);
    EXPECT_TRUE(menu.RemoveItem(0, true));
    EXPECT_EQ(menu.GetItemCount(), 4);

    EXPECT_EQ(menu.GetItemText(99), "") << "missing item";
    EXPECT_EQ(menu.GetItemType(99), 0u);
    EXPECT_FALSE(menu.IsItemChecked(99));
}

TEST(MenuOwnership, CreationIsRefusedWhileAHandleIsHeldAndMovingTransfersIt) {
    Menu menu;
    ASSERT_TRUE(menu.CreatePopup());
    const HMENU first = menu.Handle();
    EXPECT_FALSE(menu.CreatePopup());
    EXPECT_FALSE(menu.CreateBar());
    MenuHandle other(::CreatePopupMenu());
    EXPECT_FALSE(menu.Attach(other.Get()));
    EXPECT_EQ(menu.Handle(), first);

    Menu moved = std::move(menu);
    EXPECT_FALSE(menu);
    EXPECT_EQ(moved.Handle(), first);
    { Menu scoped = std::move(moved); }
    EXPECT_FALSE(::IsMenu(first)) << "the owner destroyed it when it went";

    MenuRef borrowed(::CreatePopupMenu());
    const HMENU raw = borrowed.Handle();
    {
        MenuRef copy = borrowed;
        EXPECT_EQ(copy.Handle(), raw);
    }
    EXPECT_TRUE(::IsMenu(raw)) << "a borrowed handle is never destroyed";
    MenuHandle::Close(raw);
}

TEST(MenuOwnership, DestroyDeletesItemBitmapsBrushesAndThoseOfSubmenus) {
    Menu menu;
    ASSERT_TRUE(menu.CreatePopup());
    ASSERT_TRUE(menu.AppendItem(Text("a"), 1));
    Menu sub;
    ASSERT_TRUE(sub.CreatePopup());
    ASSERT_TRUE(sub.AppendItem(Text("b"), 2));
    const HBITMAP subBitmap = MakeBitmap();
    ASSERT_TRUE(sub.SetItemBitmap(2, subBitmap));
    ASSERT_TRUE(menu.AppendSubmenu(std::move(sub), Text("sub")));

    const HBITMAP itemBitmap = MakeBitmap();
    const HBITMAP checked = MakeBitmap();
    const HBITMAP unchecked = MakeBitmap();
    ASSERT_TRUE(menu.SetItemBitmap(1, itemBitmap));
    ASSERT_TRUE(menu.SetCheckBitmaps(1, checked, unchecked));
    ASSERT_TRUE(menu.SetBackgroundColor(RGB(10, 20, 30)));
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_BACKGROUND;
    ASSERT_TRUE(::GetMenuInfo(menu.Handle(), &info));
    const HBRUSH brush = info.hbrBack;
    ASSERT_NE(brush, nullptr);

    // Replacing the background deletes the old brush.
    ASSERT_TRUE(menu.SetBackgroundColor(RGB(40, 50, 60)));
    EXPECT_TRUE(IsDeletedGdiObject(brush));
    ASSERT_TRUE(::GetMenuInfo(menu.Handle(), &info));
    const HBRUSH secondBrush = info.hbrBack;

    // Replacing an item bitmap deletes the old one.
    const HBITMAP replacement = MakeBitmap();
    ASSERT_TRUE(menu.SetItemBitmap(1, replacement));
    EXPECT_TRUE(IsDeletedGdiObject(itemBitmap));

    menu.Destroy();
    EXPECT_FALSE(menu);
    EXPECT_TRUE(IsDeletedGdiObject(replacement));
    EXPECT_TRUE(IsDeletedGdiObject(checked));
    EXPECT_TRUE(IsDeletedGdiObject(unchecked));
    EXPECT_TRUE(IsDeletedGdiObject(subBitmap)) << "bitmaps of sub-menus go too";
    EXPECT_TRUE(IsDeletedGdiObject(secondBrush));
    menu.Destroy();  // harmless when empty
}

TEST(MenuOwnership, RecolouringOnlyTheTopLeavesEachSubmenuALiveBrushOfItsOwn) {
    const auto brushOf = [](HMENU m) {
        MENUINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = MIM_BACKGROUND;
        return ::GetMenuInfo(m, &info) ? info.hbrBack : nullptr;
    };
    Menu menu;
    ASSERT_TRUE(menu.CreatePopup());
    Menu sub;
    ASSERT_TRUE(sub.CreatePopup());
    ASSERT_TRUE(sub.AppendItem(Text("b"), 2));
    ASSERT_TRUE(menu.AppendSubmenu(std::move(sub), Text("s")));
    const HMENU subHandle = ::GetSubMenu(menu.Handle(), 0);
    ASSERT_TRUE(menu.SetBackgroundColor(RGB(1, 2, 3), true));
    ASSERT_TRUE(menu.SetBackgroundColor(RGB(4, 5, 6), false));

    const HBRUSH top = brushOf(menu.Handle());
    const HBRUSH below = brushOf(subHandle);
    ASSERT_NE(below, nullptr);
    EXPECT_NE(below, top);
    LOGBRUSH seen{};
    ASSERT_EQ(::GetObjectW(below, sizeof(seen), &seen), static_cast<int>(sizeof(seen)))
        << "the sub-menu paints with a deleted brush";
    EXPECT_EQ(seen.lbColor, RGB(1, 2, 3));
    menu.Destroy();
    EXPECT_TRUE(IsDeletedGdiObject(top));
    EXPECT_TRUE(IsDeletedGdiObject(below));
}

TEST(MenuItems, ItemImageRoundTripsThroughAnImageObject) {
    ctl::StartToolkit();
    Menu menu;
    ASSERT_TRUE(menu.CreatePopup());
    ASSERT_TRUE(menu.AppendItem(Text("pic"), 7));
    ImageObject picture;
    ASSERT_TRUE(picture.LoadFromBytes(ctl::MakeSolidPng(16, 12, 0xFF00FF00u)));
    ASSERT_TRUE(menu.SetItemImage(7, picture));
    ImageObject back;
    ASSERT_TRUE(menu.GetItemImage(7, back));
    EXPECT_EQ(back.GetWidth(), 16u);
    EXPECT_EQ(back.GetHeight(), 12u);
    ImageObject none;
    EXPECT_FALSE(menu.SetItemImage(7, none)) << "an empty image is refused";
    ASSERT_TRUE(menu.AppendItem(Text("plain"), 8));
    EXPECT_FALSE(menu.GetItemImage(8, back));
}

TEST(MenuPopup, ReturnsTheChosenCommandWithTheOwnerInTheForeground) {
    ctl::HostWindow host;
    Menu menu = MakeSizeMenu();
    static HWND foregroundDuringMenu = nullptr;
    static int ticks = 0;
    foregroundDuringMenu = nullptr;
    ticks = 0;
    // The menu runs its own modal loop; a timer inside it plays the keyboard: down twice, Enter.
    const UINT_PTR timer = ::SetTimer(host.Handle(), 77, 60, [](HWND hwnd, UINT, UINT_PTR, DWORD) {
        ++ticks;
        if (ticks == 1) foregroundDuringMenu = ::GetForegroundWindow();
        if (ticks <= 2) {
            ::PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
        } else if (ticks == 3) {
            ::PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
        } else if (ticks > 40) {
            ::PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);  // never hang the run
        }
    });
    ASSERT_NE(timer, 0u);
    const int chosen = menu.Popup(100, 100, host.Handle(), TPM_RETURNCMD | TPM_NONOTIFY);
    ::KillTimer(host.Handle(), 77);
    EXPECT_EQ(foregroundDuringMenu, host.Handle());
    EXPECT_EQ(chosen, 10003) << "second item after two steps down";
    EXPECT_EQ(menu.Popup(0, 0, nullptr), 0) << "no owner window";
}

TEST(MenuRefs, SystemMenuIsBorrowedAndCanBeReset) {
    ctl::HostWindow host;
    MenuRef system;
    ASSERT_TRUE(system.AttachSystemMenu(host.Handle()));
    EXPECT_FALSE(system.AttachSystemMenu(host.Handle())) << "already holds a handle";
    const int before = system.GetItemCount();
    ASSERT_GT(before, 0);
    ASSERT_TRUE(system.AppendItem(Text("extra"), 0x1230));
    EXPECT_EQ(system.GetItemCount(), before + 1);
    ASSERT_TRUE(system.ResetSystemMenu(host.Handle()));
    EXPECT_FALSE(system);
    MenuRef fresh;
    ASSERT_TRUE(fresh.AttachSystemMenu(host.Handle()));
    EXPECT_EQ(fresh.GetItemCount(), before) << "the standard system menu is back";
    fresh.ResetSystemMenu(host.Handle());
}

}  // namespace
