// The list view: columns, items, image lists it borrows, and the events raised from the
// notifications its parent reflects to it (driven by real mouse messages and state changes).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctl_support.h"
#include "ui/list_view.h"

namespace {

using ctl::HostWindow;

struct ListFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(list.Create(host.form, {}, 10, 10, 400, 300, {}, LVS_REPORT));
    }
    HWND Handle() const { return list.GetHandle(); }

    HostWindow host;
    ListView list;
};

// A mouse click as the user makes it: button down and up at a client point of the list.
void Click(HWND window, UINT down, UINT up, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    ::PostMessageW(window, down, down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON, at);
    ::PostMessageW(window, up, 0, at);
    ctl::PumpFor(50);
}

TEST_F(ListFixture, ColumnsAppendAndTakeFiftyPixelsWithoutAWidth) {
    // "进度" and "运行状态" in code page 936.
    EXPECT_EQ(list.InsertColumn({}, "\xBD\xF8\xB6\xC8"), 0);
    EXPECT_EQ(list.InsertColumn({}, "\xD4\xCB\xD0\xD0\xD7\xB4\xCC\xAC", 450), 1);
    EXPECT_EQ(list.InsertColumn(0, "first", 70), 0);
    EXPECT_EQ(::SendMessageW(Handle(), LVM_GETCOLUMNWIDTH, 1, 0), 50);
    EXPECT_EQ(::SendMessageW(Handle(), LVM_GETCOLUMNWIDTH, 2, 0), 450);
    EXPECT_EQ(::SendMessageW(Handle(), LVM_GETCOLUMNWIDTH, 0, 0), 70);

    wchar_t caption[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = caption;
    column.cchTextMax = 32;
    ASSERT_TRUE(::SendMessageW(Handle(), LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(std::wstring(caption), L"运行状态");

    ListView unbound;
    EXPECT_EQ(unbound.InsertColumn({}, "x"), -1);
    EXPECT_EQ(unbound.InsertItem({}, Text("x")), -1);
    EXPECT_EQ(unbound.GetNextSelected(), -1);
}

TEST_F(ListFixture, ItemsAppendWithDataCheckStateAndSelection) {
    list.SetExtendedStyle(LVS_EX_CHECKBOXES);
    list.InsertColumn({}, "c", 120);
    EXPECT_EQ(list.InsertItem({}, Text("a"), -1, {}, 111), 0);
    EXPECT_EQ(list.InsertItem({}, Text("b"), -1, 1, 222), 1);
    EXPECT_EQ(list.InsertItem(0, Text("front"), -1, 0, 333), 0);
    ASSERT_EQ(list.GetItemCount(), 3);

    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = 2;
    ASSERT_TRUE(::SendMessageW(Handle(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.lParam, 222);
    const auto checkState = [&](int index) {
        return (::SendMessageW(Handle(), LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK) >> 12) - 1;
    };
    EXPECT_EQ(checkState(2), 1) << "inserted checked";
    EXPECT_EQ(checkState(0), 0) << "inserted unchecked";

    EXPECT_EQ(list.GetNextSelected(), -1) << "nothing selected yet";
    ListView_SetItemState(Handle(), 1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetNextSelected(), 1);
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetNextSelected(), -1);
}

TEST_F(ListFixture, RightClickOnEmptySpaceRaisesOnRClickWithItemMinusOne) {
    list.InsertColumn({}, "c", 120);
    list.InsertItem({}, Text("only item"));
    struct Seen {
        INT_PTR item = -2;
        INT_PTR x = 0;
        INT_PTR y = 0;
        int calls = 0;
    } seen;
    list.OnRClick([&seen](HWND, INT_PTR item, INT_PTR, INT_PTR x, INT_PTR y) {
        seen.item = item;
        seen.x = x;
        seen.y = y;
        ++seen.calls;
        return 0;
    });
    Click(Handle(), WM_RBUTTONDOWN, WM_RBUTTONUP, 300, 250);
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.item, -1);
    EXPECT_EQ(seen.x, 300);
    EXPECT_EQ(seen.y, 250);

    // On the item itself the index is the item's.
    RECT itemRect{};
    itemRect.left = LVIR_LABEL;
    ASSERT_TRUE(::SendMessageW(Handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&itemRect)));
    Click(Handle(), WM_RBUTTONDOWN, WM_RBUTTONUP, itemRect.left + 5,
          (itemRect.top + itemRect.bottom) / 2);
    ASSERT_EQ(seen.calls, 2);
    EXPECT_EQ(seen.item, 0);
}

TEST_F(ListFixture, LeftClickRaisesOnClickAndSelectionRaisesOnItemChangeWithItsData) {
    list.InsertColumn({}, "c", 120);
    list.InsertItem({}, Text("first"), -1, {}, 4242);
    std::vector<INT_PTR> clicked;
    std::vector<INT_PTR> changedData;
    list.OnClick([&](HWND, INT_PTR item) { clicked.push_back(item); });
    list.OnItemChange([&](HWND, INT_PTR, INT_PTR data) { changedData.push_back(data); });
    RECT itemRect{};
    itemRect.left = LVIR_LABEL;
    ::SendMessageW(Handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&itemRect));
    Click(Handle(), WM_LBUTTONDOWN, WM_LBUTTONUP, itemRect.left + 5,
          (itemRect.top + itemRect.bottom) / 2);
    ASSERT_FALSE(clicked.empty());
    EXPECT_EQ(clicked.back(), 0);
    ASSERT_FALSE(changedData.empty()) << "selecting the item raises OnItemChange";
    EXPECT_EQ(changedData.back(), 4242);
}

TEST_F(ListFixture, CheckChangeComesBeforeTheChangeAndNotForOtherStateChanges) {
    list.SetExtendedStyle(LVS_EX_CHECKBOXES);
    list.InsertColumn({}, "c", 120);
    list.InsertItem({}, Text("a"));
    list.InsertItem({}, Text("b"));
    struct Call {
        INT_PTR item;
        INT_PTR newState;
        INT_PTR stateDuringCall;
    };
    std::vector<Call> calls;
    const HWND hwnd = Handle();
    list.OnCheckChange([&calls, hwnd](HWND, INT_PTR item, INT_PTR newState) {
        const INT_PTR now =
            (::SendMessageW(hwnd, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK) >> 12) - 1;
        calls.push_back({item, newState, now});
    });

    ListView_SetCheckState(hwnd, 1, TRUE);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].item, 1);
    EXPECT_EQ(calls[0].newState, 1);
    EXPECT_EQ(calls[0].stateDuringCall, 0) << "raised before the change is applied";

    // Selection and focus carry no state-image bits.
    ListView_SetItemState(hwnd, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(hwnd, 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(calls.size(), 1u);
    // Setting the same check state again is no change.
    ListView_SetCheckState(hwnd, 1, TRUE);
    EXPECT_EQ(calls.size(), 1u);

    ListView_SetCheckState(hwnd, 1, FALSE);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].newState, 0);
    EXPECT_EQ(calls[1].stateDuringCall, 1);
}

TEST_F(ListFixture, SettingAnImageListTwiceReleasesTheFirstAndNeverDestroysALentList) {
    SharedImageList first = MakeSharedImageList();
    SharedImageList second = MakeSharedImageList();
    ASSERT_TRUE(first->Create(140, 140));
    ASSERT_TRUE(second->Create(140, 140));

    ASSERT_TRUE(list.SetImageList(first, ListView::kNormal));
    EXPECT_EQ(first.use_count(), 2) << "the list view holds a reference";
    ASSERT_TRUE(list.SetImageList(second, ListView::kNormal));
    EXPECT_EQ(first.use_count(), 1) << "the first list's reference is released";
    EXPECT_EQ(second.use_count(), 2);
    EXPECT_EQ(
        reinterpret_cast<HIMAGELIST>(::SendMessageW(Handle(), LVM_GETIMAGELIST, LVSIL_NORMAL, 0)),
        second->Handle());

    ASSERT_TRUE(list.SetImageList(first, ListView::kSmall));
    EXPECT_EQ(first.use_count(), 2) << "kinds are kept apart";
    EXPECT_EQ(list.GetImageList(ListView::kNormal), second);
    EXPECT_FALSE(list.SetImageList(first, 4)) << "no such kind";

    ::DestroyWindow(Handle());
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_EQ(second.use_count(), 1);
    int width = 0;
    int height = 0;
    EXPECT_TRUE(second->GetIconSize(&width, &height))
        << "the control must not destroy a list it was lent";
    EXPECT_EQ(width, 140);
}

TEST_F(ListFixture, LabelEditEventsDecideWhetherTheEditHappens) {
    list.InsertColumn({}, "c", 120);
    list.InsertItem({}, Text("name"));
    Text received;
    list.OnBeginEdit([](HWND, INT_PTR item) { return item == 0 ? 0 : 1; });
    list.OnEndEdit([&received](HWND, INT_PTR, const Text* text) {
        received = text ? *text : "(none)";
        return received == "bad" ? 1 : 0;
    });
    const HWND parent = host.Handle();
    auto endEdit = [&](const wchar_t* text) {
        NMLVDISPINFOW info{};
        info.hdr.hwndFrom = Handle();
        info.hdr.idFrom = list.GetId();
        info.hdr.code = LVN_ENDLABELEDITW;
        info.item.iItem = 0;
        info.item.pszText = const_cast<wchar_t*>(text);
        return ::SendMessageW(parent, WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
    };
    EXPECT_EQ(endEdit(L"新名"), 1) << "accepted when the handler returns 0";
    EXPECT_EQ(received, "\xD0\xC2\xC3\xFB");
    EXPECT_EQ(endEdit(L"bad"), 0) << "refused when the handler returns non-zero";

    NMLVDISPINFOW begin{};
    begin.hdr.hwndFrom = Handle();
    begin.hdr.code = LVN_BEGINLABELEDITW;
    begin.item.iItem = 3;
    EXPECT_EQ(::SendMessageW(parent, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&begin)), 1)
        << "a non-zero handler result cancels the edit";
}

TEST_F(ListFixture, EveryReflectedNotificationRaisesItsEventWithItsOutcome) {
    struct Raised {
        std::string event;
        INT_PTR a = 0;
        INT_PTR b = 0;
    };
    std::vector<Raised> raised;
    list.OnHotTrack([&](HWND, INT_PTR item, INT_PTR sub) {
        raised.push_back({"hot", item, sub});
        return 7;
    });
    list.OnColumnClick([&](HWND, INT_PTR sub) {
        raised.push_back({"column", sub});
        return 9;
    });
    list.OnItemActivate([&](HWND, INT_PTR item, INT_PTR sub) {
        raised.push_back({"activate", item, sub});
        return 9;
    });
    list.OnDBClick([&](HWND, INT_PTR item, INT_PTR sub) {
        raised.push_back({"double", item, sub});
        return 9;
    });
    list.OnBeginDrag([&](HWND, INT_PTR item) {
        raised.push_back({"drag", item});
        return 9;
    });
    const HWND parent = host.Handle();
    auto send = [&](UINT code, int item, int sub) {
        NMITEMACTIVATE nm{};  // starts like NMLISTVIEW, so it serves both
        nm.hdr.hwndFrom = Handle();
        nm.hdr.idFrom = list.GetId();
        nm.hdr.code = code;
        nm.iItem = item;
        nm.iSubItem = sub;
        return ::SendMessageW(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
    };
    EXPECT_EQ(send(LVN_HOTTRACK, 3, 1), 7) << "hot tracking answers with the handler's result";
    EXPECT_EQ(send(LVN_COLUMNCLICK, -1, 2), 0) << "column clicks pass on";
    EXPECT_EQ(send(LVN_ITEMACTIVATE, 4, 0), 0) << "activation is claimed with 0";
    EXPECT_EQ(send(NM_DBLCLK, 5, 1), 0);
    EXPECT_EQ(send(LVN_BEGINDRAG, 6, 0), 0);
    ASSERT_EQ(raised.size(), 5u);
    EXPECT_EQ(raised[0].event, "hot");
    EXPECT_EQ(raised[0].a, 3);
    EXPECT_EQ(raised[0].b, 1);
    EXPECT_EQ(raised[1].event, "column");
    EXPECT_EQ(raised[1].a, 2);
    EXPECT_EQ(raised[2].event, "activate");
    EXPECT_EQ(raised[2].a, 4);
    EXPECT_EQ(raised[3].event, "double");
    EXPECT_EQ(raised[3].a, 5);
    EXPECT_EQ(raised[4].event, "drag");
    EXPECT_EQ(raised[4].a, 6);

    // A notification from a window the toolkit does not know reaches no list's events.
    NMITEMACTIVATE stranger{};
    stranger.hdr.hwndFrom = parent;
    stranger.hdr.code = LVN_HOTTRACK;
    ::SendMessageW(parent, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&stranger));
    EXPECT_EQ(raised.size(), 5u);
}

}  // namespace
