#include "ui/tab_control.h"

#include "ui/window_thread.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "text/text_helpers.h"
#include "ui/dpi.h"
#include "ui/window_registry.h"

namespace {

const ControlTraits kTabTraits{WC_TABCONTROLW,      200,    200, TCS_TOOLTIPS, WS_CLIPCHILDREN, 0,
                               WS_EX_CONTROLPARENT, nullptr};

// Kept under "HashToolTips": the tooltip text of each page, keyed by the page's record, and the
// page records the tabs carry (one reference each, so a tab never points at a freed record).
struct TabPages {
    std::unordered_map<WindowRecord*, WideText> tips;
    std::vector<WindowRecord*> pages;
    ~TabPages() {
        for (WindowRecord* page : pages) page->Release();
    }
};

constexpr char kPagesName[] = "HashToolTips";
constexpr char kToolTipName[] = "hToolTip";

constexpr int Code(UINT code) {
    return static_cast<int>(code);
}

WindowRecord* PageRecord(HWND tab, int index) {
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    if (!::SendMessageW(tab, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item))) {
        return nullptr;
    }
    auto* record = reinterpret_cast<WindowRecord*>(item.lParam);
    return WindowRecord::IsRecord(record) ? record : nullptr;
}

HWND PageHandle(HWND tab, int index) {
    WindowRecord* record = PageRecord(tab, index);
    if (record == nullptr) return nullptr;
    const HWND page = record->Handle();
    return ::IsWindow(page) ? page : nullptr;
}

void ShowSelectedPage(HWND tab) {
    const int count = static_cast<int>(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    const int selected = static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0));
    HWND shown = nullptr;
    // Hide first, then show, so two pages are never visible together.
    for (int i = 0; i < count; ++i) {
        const HWND page = PageHandle(tab, i);
        if (page == nullptr) continue;
        if (i == selected) {
            shown = page;
        } else {
            ::ShowWindow(page, SW_HIDE);
        }
    }
    if (shown != nullptr) ::ShowWindow(shown, SW_SHOW);
}

// Pages fill the display area of the control (below the tab row).
void FitPages(HWND tab) {
    RECT area{};
    ::GetClientRect(tab, &area);
    ::SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    if (area.right < area.left) area.right = area.left;
    if (area.bottom < area.top) area.bottom = area.top;
    const int count = static_cast<int>(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const HWND page = PageHandle(tab, i);
        if (page == nullptr) continue;
        RECT place = area;
        ::MapWindowPoints(tab, ::GetParent(page), reinterpret_cast<POINT*>(&place), 2);
        ::SetWindowPos(page, nullptr, place.left, place.top, place.right - place.left,
                       place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Answers the tooltip's request for the text of the tab under the pointer.
bool FillToolTip(WindowRecord* record, LPARAM lParam) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    if ((info->uFlags & TTF_IDISHWND) != 0) return false;
    auto* pages = BagObject<TabPages>(record, kPagesName);
    if (pages == nullptr) return false;
    WindowRecord* page = PageRecord(record->Handle(), static_cast<int>(info->hdr.idFrom));
    const auto found = pages->tips.find(page);
    if (found == pages->tips.end() || found->second.empty()) return false;
    info->lpszText = WinStr(found->second);
    info->hinst = nullptr;
    return true;
}

}  // namespace

TabControl::TabControl()
    : ControlWindow(&TabControl::TabMessage, &TabControl::TabReflected, &TabControl::TabCleanup) {}

const ControlTraits& TabControl::Traits() const {
    return kTabTraits;
}

void TabControl::AfterCreate() {
    // The tooltip sends its requests to the tab's parent with itself as the sender; entering
    // it in the registry under this record lets the parent reflect them here.
    const auto tooltip = reinterpret_cast<HWND>(::SendMessageW(GetHandle(), TCM_GETTOOLTIPS, 0, 0));
    if (tooltip != nullptr && WindowRegistry::Find(tooltip) == nullptr) {
        WindowRegistry::Insert(tooltip, record_);
        SetProperty(kToolTipName, reinterpret_cast<INT_PTR>(tooltip));
    }
}

int TabControl::InsertTab(const WindowObject& page, std::optional<int> index, const Text& caption,
                          int image, const Text& tooltip) {
    const HWND tab = GetHandle();
    WindowRecord* pageRecord = page.Record();
    if (tab == nullptr || pageRecord == nullptr || pageRecord == record_) return -1;
    WideText text = AnsiToWide(caption);
    TCITEMW item{};
    item.mask = TCIF_PARAM | TCIF_TEXT | TCIF_IMAGE;
    item.pszText = WinStr(text);
    item.iImage = image;
    item.lParam = reinterpret_cast<LPARAM>(pageRecord);
    const int at = index ? *index : GetItemCount();
    const int inserted =
        static_cast<int>(::SendMessageW(tab, TCM_INSERTITEMW, at, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0) return -1;

    auto* pages = BagObject<TabPages>(record_, kPagesName);
    if (pages == nullptr) {
        pages = new TabPages;
        SetProperty(kPagesName, reinterpret_cast<INT_PTR>(pages));
    }
    if (std::find(pages->pages.begin(), pages->pages.end(), pageRecord) == pages->pages.end()) {
        pageRecord->AddRef();
        pages->pages.push_back(pageRecord);
    }
    pages->tips[pageRecord] = AnsiToWide(tooltip);

    FitPages(tab);
    ShowSelectedPage(tab);
    return inserted;
}

int TabControl::GetItemCount() const {
    const HWND tab = GetHandle();
    return tab ? static_cast<int>(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

int TabControl::GetCurSel() const {
    const HWND tab = GetHandle();
    CheckWindowThread(tab, "GetCurSel");
    return tab ? static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)) : -1;
}

bool TabControl::SetCurSel(int index) {
    const HWND tab = GetHandle();
    CheckWindowThread(tab, "SetCurSel");
    if (tab == nullptr || index < 0 || index >= GetItemCount()) return false;
    ::SendMessageW(tab, TCM_SETCURSEL, index, 0);
    ShowSelectedPage(tab);
    return true;
}

HWND TabControl::PageWindow(int index) const {
    const HWND tab = GetHandle();
    return tab ? PageHandle(tab, index) : nullptr;
}

Text TabControl::TooltipText(int index) const {
    const HWND tab = GetHandle();
    auto* pages = BagObject<TabPages>(record_, kPagesName);
    if (tab == nullptr || pages == nullptr) return {};
    const auto found = pages->tips.find(PageRecord(tab, index));
    return found == pages->tips.end() ? Text() : WideToAnsi(found->second);
}

void TabControl::ScaleHeaders(UINT dpi) {
    const HWND tab = GetHandle();
    if (tab == nullptr) return;
    // The common controls' own figures at 96 dpi: 6 x 3 padding, 54 pixels at least.
    ::SendMessageW(tab, TCM_SETPADDING, 0, MAKELPARAM(ScaleForDpi(6, dpi), ScaleForDpi(3, dpi)));
    ::SendMessageW(tab, TCM_SETMINTABWIDTH, 0, ScaleForDpi(54, dpi));
    FitPages(tab);
}

LRESULT TabControl::TabMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam,
                               LPARAM lParam, int* handled) {
    // Some tooltip builds ask the control itself rather than its parent.
    if (message == WM_NOTIFY && lParam != 0 &&
        static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code) == Code(TTN_GETDISPINFOW) &&
        FillToolTip(record, lParam)) {
        *handled = 1;
        return 0;
    }
    const LRESULT result = ControlMessage(record, hwnd, message, wParam, lParam, handled);
    if (message == WM_SIZE && *handled == 0) FitPages(hwnd);
    if (message == WM_NCDESTROY) ReleaseTabResources(record);
    return result;
}

void TabControl::TabCleanup(WindowRecord* record) {
    ReleaseTabResources(record);
    WindowRecord::BaseCleanup(record);
}

void TabControl::ReleaseTabResources(WindowRecord* record) {
    if (record == nullptr) return;
    if (const auto tooltip = reinterpret_cast<HWND>(record->Bag().GetPtr(kToolTipName))) {
        if (WindowRegistry::Find(tooltip) == record) WindowRegistry::Remove(tooltip);
        record->Bag().Remove(kToolTipName);
    }
    DeleteBagObject<TabPages>(record, kPagesName);
    ReleaseCommonResources(record);
}

LRESULT TabControl::TabReflected(WindowRecord* record, HWND parent, UINT message, WPARAM wParam,
                                 LPARAM lParam, int* handled) {
    if (message != WM_NOTIFY || lParam == 0) {
        return ColourReflected(record, parent, message, wParam, lParam, handled);
    }
    const HWND tab = record->Handle();
    const auto self = reinterpret_cast<INT_PTR>(tab);
    switch (static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code)) {
        case Code(TCN_SELCHANGE):
            ShowSelectedPage(tab);
            record->Fire("OnSelChange", {self});
            return 0;
        case Code(TCN_SELCHANGING): {
            const auto r = record->Fire("OnSelChanging", {self});
            if (r && *r != 0) {
                *handled = 1;
                return TRUE;
            }
            return 0;
        }
        case Code(NM_CLICK):
            record->Fire("OnClick", {self});
            return 0;
        case Code(NM_RCLICK): {
            const auto r = record->Fire("OnRClick", {self});
            if (!r) return 0;
            *handled = 1;
            return *r;
        }
        case Code(TTN_GETDISPINFOW):
            if (FillToolTip(record, lParam)) *handled = 1;
            return 0;
        default:
            return 0;
    }
}
