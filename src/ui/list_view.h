#pragma once
// The list view ("SysListView32"): columns, items with pictures and check states, the image
// lists it shows, and the events its notifications raise.
//
// The list view borrows the image lists it shows: it keeps a reference to each (one per kind)
// and always has LVS_SHAREIMAGELISTS, so the native control never destroys a list it was lent.
#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "draw/image_list.h"
#include "ui/control_window.h"

class ListView : public ControlWindow {
  public:
    // SetImageList kinds.
    enum ImageListKind : int { kNormal = 0, kSmall = 1, kState = 2, kGroupHeader = 3 };

    ListView();
    const ControlTraits& Traits() const override;

    // Appends when no index is given; width 50 when none is given. Index of the new column,
    // or -1.
    int InsertColumn(std::optional<int> index, const Text& caption, int width = 50,
                     int format = LVCFMT_LEFT, std::optional<int> image = {},
                     bool imageOnRight = false);
    // Appends when no index is given. checkState: 0 unchecked, 1 checked, absent none.
    // Index of the new item, or -1.
    int InsertItem(std::optional<int> index, std::optional<Text> caption, int image = -1,
                   std::optional<int> checkState = {}, LPARAM data = 0, int indent = 0,
                   std::optional<int> groupId = {});
    // The first selected item, or -1.
    int GetNextSelected() const;
    bool DeleteAllItems();
    int GetItemCount() const;
    // Shows the list for the kind and keeps a reference to it; the reference held for that kind
    // before is released. An empty pointer takes the list away.
    bool SetImageList(const SharedImageList& list, int kind = kNormal);
    // The list held for the kind (empty when none).
    SharedImageList GetImageList(int kind = kNormal) const;
    // LVM_SETEXTENDEDLISTVIEWSTYLE with mask = value = bits.
    bool SetExtendedStyle(DWORD bits);

    // Events. Arguments in order (list handle first):
    template <class F>
    void OnItemChange(F&& f) {
        Bind("OnItemChange", std::forward<F>(f));
    }  // item, data
    template <class F>
    void OnHotTrack(F&& f) {
        Bind("OnHotTrack", std::forward<F>(f));
    }  // item, subitem
    template <class F>
    void OnColumnClick(F&& f) {
        Bind("OnColumnClick", std::forward<F>(f));
    }  // subitem
    template <class F>
    void OnItemActivate(F&& f) {
        Bind("OnItemActivate", std::forward<F>(f));
    }  // item, subitem
    template <class F>
    void OnBeginEdit(F&& f) {
        Bind("OnBeginEdit", std::forward<F>(f));
    }  // item -> non-zero cancels
    template <class F>
    void OnEndEdit(F&& f) {
        Bind("OnEndEdit", std::forward<F>(f));
    }  // item, const Text* -> 0 accepts
    template <class F>
    void OnClick(F&& f) {
        Bind("OnClick", std::forward<F>(f));
    }  // item, subitem, x, y, keys
    template <class F>
    void OnRClick(F&& f) {
        Bind("OnRClick", std::forward<F>(f));
    }  // same
    template <class F>
    void OnDBClick(F&& f) {
        Bind("OnDBClick", std::forward<F>(f));
    }  // same
    template <class F>
    void OnCheckChange(F&& f) {
        Bind("OnCheckChange", std::forward<F>(f));
    }  // item, new check state
    template <class F>
    void OnBeginDrag(F&& f) {
        Bind("OnBeginDrag", std::forward<F>(f));
    }  // item

    static LRESULT ListMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static LRESULT ListReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static void ListCleanup(WindowRecord*);
    static void ReleaseListResources(WindowRecord*);

  protected:
    void AfterCreate() override;
    void AdjustStyles(DWORD& style, DWORD& exStyle) const override;
};
