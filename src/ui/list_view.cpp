#include "ui/list_view.h"

#include "ui/window_thread.h"

#include "text/text_helpers.h"

namespace {

const ControlTraits kListTraits{WC_LISTVIEWW, 220, 180, 0, 0, WS_EX_CLIENTEDGE, 0, nullptr};

constexpr const char* kImageListNames[] = {"pImageListBig", "pImageListSmall", "pImageListState",
                                           "pImageListGroup"};

constexpr UINT kStateImageMask = 0xF000;

int NotifyCode(LPARAM lParam) {
    return static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code);
}

constexpr int Code(UINT code) {
    return static_cast<int>(code);
}

int ColumnCount(HWND list) {
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    int count = 0;
    while (count < 4096 &&
           ::SendMessageW(list, LVM_GETCOLUMNW, count, reinterpret_cast<LPARAM>(&column)) != 0) {
        ++count;
    }
    return count;
}

}  // namespace

ListView::ListView()
    : ControlWindow(&ListView::ListMessage, &ListView::ListReflected, &ListView::ListCleanup) {}

const ControlTraits& ListView::Traits() const {
    return kListTraits;
}

void ListView::AdjustStyles(DWORD& style, DWORD&) const {
    style |= LVS_SHAREIMAGELISTS;
}

void ListView::AfterCreate() {
    const HWND list = GetHandle();
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP);
    // An attached dialog item may lack it; the lists it shows are only lent to it.
    const LONG_PTR style = ::GetWindowLongPtrW(list, GWL_STYLE);
    if ((style & LVS_SHAREIMAGELISTS) == 0) {
        ::SetWindowLongPtrW(list, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
    }
}

int ListView::InsertColumn(std::optional<int> index, const Text& caption, int width, int format,
                           std::optional<int> image, bool imageOnRight) {
    const HWND list = GetHandle();
    CheckWindowThread(list, "InsertColumn");
    if (list == nullptr) return -1;
    WideText text = AnsiToWide(caption);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = format | (imageOnRight ? LVCFMT_BITMAP_ON_RIGHT : 0);
    column.cx = width;
    column.pszText = WinStr(text);
    if (image) {
        column.mask |= LVCF_IMAGE;
        column.fmt |= LVCFMT_IMAGE;
        column.iImage = *image;
    }
    const int at = index ? *index : ColumnCount(list);
    return static_cast<int>(
        ::SendMessageW(list, LVM_INSERTCOLUMNW, at, reinterpret_cast<LPARAM>(&column)));
}

int ListView::InsertItem(std::optional<int> index, std::optional<Text> caption, int image,
                         std::optional<int> checkState, LPARAM data, int indent,
                         std::optional<int> groupId) {
    const HWND list = GetHandle();
    CheckWindowThread(list, "InsertItem");
    if (list == nullptr) return -1;
    WideText text = caption ? AnsiToWide(*caption) : WideText();
    LVITEMW item{};
    item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
    item.iItem = index ? *index : GetItemCount();
    item.iImage = image;
    item.lParam = data;
    item.iIndent = indent;
    // Without a check state the control's own default (unchecked, when it has check boxes)
    // stays in force.
    if (checkState) {
        item.state = static_cast<UINT>(*checkState + 1) << 12;
        item.stateMask = kStateImageMask;
    }
    if (caption) {
        item.mask |= LVIF_TEXT;
        item.pszText = WinStr(text);
    }
    if (groupId) {
        item.mask |= LVIF_GROUPID;
        item.iGroupId = *groupId;
    }
    const int inserted =
        static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted >= 0 && checkState) {
        // Some list views (Wine's) give a new item the default check box whatever state image
        // came with it; set it again when it did not stick.
        const auto now =
            static_cast<UINT>(::SendMessageW(list, LVM_GETITEMSTATE, inserted, kStateImageMask));
        if (now != item.state) {
            LVITEMW state{};
            state.state = item.state;
            state.stateMask = kStateImageMask;
            ::SendMessageW(list, LVM_SETITEMSTATE, inserted, reinterpret_cast<LPARAM>(&state));
        }
    }
    return inserted;
}

int ListView::GetNextSelected() const {
    const HWND list = GetHandle();
    CheckWindowThread(list, "GetNextSelected");
    if (list == nullptr) return -1;
    return static_cast<int>(
        ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool ListView::DeleteAllItems() {
    const HWND list = GetHandle();
    CheckWindowThread(list, "DeleteAllItems");
    return list != nullptr && ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0) != 0;
}

int ListView::GetItemCount() const {
    const HWND list = GetHandle();
    if (list == nullptr) return 0;
    return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

bool ListView::SetImageList(const SharedImageList& imageList, int kind) {
    const HWND list = GetHandle();
    CheckWindowThread(list, "SetImageList");
    if (list == nullptr || kind < kNormal || kind > kGroupHeader) return false;
    const char* name = kImageListNames[kind];
    auto* held = BagObject<SharedImageList>(record_, name);
    if (held != nullptr && *held == imageList) return true;
    ::SendMessageW(list, LVM_SETIMAGELIST, kind,
                   reinterpret_cast<LPARAM>(imageList ? imageList->Handle() : nullptr));
    // Let go of the old list only once the control no longer shows it.
    DeleteBagObject<SharedImageList>(record_, name);
    if (imageList) {
        SetProperty(name, reinterpret_cast<INT_PTR>(new SharedImageList(imageList)));
    }
    return true;
}

SharedImageList ListView::GetImageList(int kind) const {
    if (kind < kNormal || kind > kGroupHeader) return {};
    auto* held = BagObject<SharedImageList>(record_, kImageListNames[kind]);
    return held ? *held : SharedImageList();
}

bool ListView::SetExtendedStyle(DWORD bits) {
    const HWND list = GetHandle();
    CheckWindowThread(list, "SetExtendedStyle");
    if (list == nullptr) return false;
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, bits, bits);
    return true;
}

LRESULT ListView::ListMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam,
                              LPARAM lParam, int* handled) {
    const LRESULT result = ControlMessage(record, hwnd, message, wParam, lParam, handled);
    if (message == WM_NCDESTROY) ReleaseListResources(record);
    return result;
}

void ListView::ListCleanup(WindowRecord* record) {
    ReleaseListResources(record);
    WindowRecord::BaseCleanup(record);
}

void ListView::ReleaseListResources(WindowRecord* record) {
    for (const char* name : kImageListNames) DeleteBagObject<SharedImageList>(record, name);
    ReleaseCommonResources(record);
}

namespace {

// Raised before the change takes effect; only a change of the state image (the check box)
// counts, not selection or focus.
void FireCheckChange(WindowRecord* record, INT_PTR list, const NMLISTVIEW* nm) {
    const UINT newImage = nm->uNewState & kStateImageMask;
    const UINT oldImage = nm->uOldState & kStateImageMask;
    if ((nm->uChanged & LVIF_STATE) != 0 && newImage != 0 && newImage != oldImage) {
        record->Fire("OnCheckChange", {list, nm->iItem, static_cast<INT_PTR>(newImage >> 12) - 1});
    }
}

std::optional<INT_PTR> FireClick(WindowRecord* record, INT_PTR list, int code,
                                 const NMITEMACTIVATE* nm) {
    const char* event = code == Code(NM_CLICK)    ? "OnClick"
                        : code == Code(NM_RCLICK) ? "OnRClick"
                                                  : "OnDBClick";
    return record->Fire(event, {list, nm->iItem, nm->iSubItem, nm->ptAction.x, nm->ptAction.y,
                                static_cast<INT_PTR>(nm->uKeyFlags)});
}

}  // namespace

LRESULT ListView::ListReflected(WindowRecord* record, HWND parent, UINT message, WPARAM wParam,
                                LPARAM lParam, int* handled) {
    if (message != WM_NOTIFY || lParam == 0) {
        return ColourReflected(record, parent, message, wParam, lParam, handled);
    }
    const auto list = reinterpret_cast<INT_PTR>(record->Handle());
    auto claim = [handled](INT_PTR result) {
        *handled = 1;
        return static_cast<LRESULT>(result);
    };
    switch (NotifyCode(lParam)) {
        case Code(LVN_ITEMCHANGED): {
            const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if ((nm->uNewState & LVIS_SELECTED) != 0) {
                record->Fire("OnItemChange", {list, nm->iItem, nm->lParam});
            }
            return 0;
        }
        case Code(LVN_ITEMCHANGING):
            FireCheckChange(record, list, reinterpret_cast<const NMLISTVIEW*>(lParam));
            return 0;
        case Code(LVN_HOTTRACK): {
            const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            const auto r = record->Fire("OnHotTrack", {list, nm->iItem, nm->iSubItem});
            return r ? claim(*r) : 0;
        }
        case Code(LVN_COLUMNCLICK): {
            const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            record->Fire("OnColumnClick", {list, nm->iSubItem});
            return 0;
        }
        case Code(LVN_ITEMACTIVATE): {
            const auto* nm = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
            const auto r = record->Fire("OnItemActivate", {list, nm->iItem, nm->iSubItem});
            return r ? claim(0) : 0;
        }
        case Code(LVN_BEGINLABELEDITW): {
            const auto* nm = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
            const auto r = record->Fire("OnBeginEdit", {list, nm->item.iItem});
            return r ? claim(*r) : 0;
        }
        case Code(LVN_ENDLABELEDITW): {
            const auto* nm = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
            const Text text = nm->item.pszText != nullptr
                                  ? WideToAnsi(reinterpret_cast<const char16_t*>(nm->item.pszText))
                                  : Text();
            const auto r =
                record->Fire("OnEndEdit", {list, nm->item.iItem, reinterpret_cast<INT_PTR>(&text)});
            return r ? claim(*r == 0 ? 1 : 0) : 0;
        }
        case Code(NM_CLICK):
        case Code(NM_RCLICK):
        case Code(NM_DBLCLK): {
            const int code = NotifyCode(lParam);
            const auto r = FireClick(record, list, code, reinterpret_cast<NMITEMACTIVATE*>(lParam));
            if (code == Code(NM_RCLICK) && r) return claim(*r);
            return 0;
        }
        case Code(LVN_BEGINDRAG): {
            const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            record->Fire("OnBeginDrag", {list, nm->iItem});
            return 0;
        }
        default:
            return 0;
    }
}
