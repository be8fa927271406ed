// The driver's commands on the program's controls: the status line, edits, buttons, the tabs, the
// album list, menu commands and the right-click menu.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver_commands.h"
#include "driver_io.h"
#include "remote_memory.h"
#include "screenshot.h"

namespace driver {

Outcome Find(const Options& o) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    PrintLine("{\"hwnd\":" + std::to_string(reinterpret_cast<INT_PTR>(main)) + ",\"pid\":" +
              std::to_string(ProcessOf(main)) + ",\"title\":" + JsonString(TextOf(main)) + "}");
    return {};
}

Outcome StatusBar(const Options& o, HWND& bar) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    return NthOfClass(main, STATUSCLASSNAMEW, 0, bar);
}

Outcome Status(const Options& o) {
    HWND bar = nullptr;
    if (auto e = StatusBar(o, bar); !e.empty()) return e;
    std::wstring text;
    if (!TextOf(bar, text, kSendTimeoutMs)) return "the status bar does not answer";
    PrintLine(ToUtf8(text));
    return {};
}

Outcome WaitStatus(const Options& o) {
    if (auto e = NeedArgs(o, 1, "wait-status TEXT [--contains]"); !e.empty()) return e;
    HWND bar = nullptr;
    if (auto e = StatusBar(o, bar); !e.empty()) return e;
    const bool contains = o.Has(L"--contains");
    std::wstring text;
    const bool seen = WaitFor(o.timeoutMs, [&] {
        text = TextOf(bar, kSendTimeoutMs);
        return contains ? text.find(o.args[0]) != std::wstring::npos : text == o.args[0];
    });
    PrintLine(ToUtf8(text));
    return seen ? Outcome{} : "status never became the text asked for; last: " + ToUtf8(text);
}

// Every distinct status text in the order they appeared, until the time-out ends or --until's
// text shows; fast enough (a read every few milliseconds) to catch a text that stays 500 ms.
Outcome WatchStatus(const Options& o) {
    HWND bar = nullptr;
    if (auto e = StatusBar(o, bar); !e.empty()) return e;
    std::vector<std::wstring> seen;
    const bool until = o.Has(L"--until");
    const bool reached = WaitFor(o.timeoutMs, [&] {
        std::wstring text;
        if (!TextOf(bar, text, kSendTimeoutMs)) return false;
        if (seen.empty() || seen.back() != text) seen.push_back(text);
        return until && text == o.flags.at(L"--until");
    });
    std::string out = "[";
    for (size_t i = 0; i < seen.size(); ++i) out += (i ? "," : "") + JsonString(seen[i]);
    PrintLine(out + "]");
    return reached || !until ? Outcome{} : "the --until text never showed";
}

Outcome Edit(const Options& o, HWND& edit) {
    long long n = 0;
    if (auto e = IntegerArg(o, 0, n); !e.empty()) return e;
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    return NthOfClass(main, WC_EDITW, static_cast<size_t>(n), edit);
}

Outcome GetEdit(const Options& o) {
    if (auto e = NeedArgs(o, 1, "get-edit N"); !e.empty()) return e;
    HWND edit = nullptr;
    if (auto e = Edit(o, edit); !e.empty()) return e;
    PrintLine(ToUtf8(TextOf(edit)));
    return {};
}

Outcome SetEdit(const Options& o) {
    if (auto e = NeedArgs(o, 2, "set-edit N TEXT"); !e.empty()) return e;
    HWND edit = nullptr;
    if (auto e = Edit(o, edit); !e.empty()) return e;
    LRESULT ok = 0;
    if (!Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.args[1].c_str()), ok) || !ok) {
        return "the edit refused the text";
    }
    if (TextOf(edit) != o.args[1]) return "the edit holds another text after setting it";
    return {};
}

Outcome Buttons(const Options& o) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    std::string out = "[";
    for (HWND b : DescendantsOfClass(main, WC_BUTTONW)) {
        out += (out.size() > 1 ? "," : "") + ControlJson(b);
    }
    PrintLine(out + "]");
    return {};
}

Outcome Click(const Options& o) {
    if (auto e = NeedArgs(o, 1, "click CAPTION|ID [--force]"); !e.empty()) return e;
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    long long id = 0;
    const bool byId = ParseInteger(o.args[0], id);
    HWND button = nullptr;
    for (HWND b : DescendantsOfClass(main, WC_BUTTONW)) {
        if (byId ? GetDlgCtrlID(b) == id : TextOf(b) == o.args[0]) {
            button = b;
            break;
        }
    }
    if (button == nullptr) return "no button " + ToUtf8(o.args[0]);
    // A disabled button ignores a user's click; so do we, unless told otherwise.
    if (!IsWindowEnabled(button) && !o.Has(L"--force")) return "the button is disabled";
    // Straight to the parent, so a button on a hidden page can be pressed too.
    const int ctrlId = GetDlgCtrlID(button);
    if (!PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(ctrlId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button))) {
        return "could not post the click";
    }
    PrintLine(std::to_string(ctrlId));
    return {};
}

Outcome TabControl(const Options& o, HWND& tabs, RemoteProcess& process) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    if (auto e = NthOfClass(main, WC_TABCONTROLW, 0, tabs); !e.empty()) return e;
    process = RemoteProcess(ProcessOf(tabs));
    return process.IsOpen() ? Outcome{} : "cannot open the program's process";
}

std::vector<std::wstring> TabCaptions(HWND tabs, const RemoteProcess& process) {
    std::vector<std::wstring> captions;
    const int count = static_cast<int>(SendOr(tabs, TCM_GETITEMCOUNT, 0, 0, 0));
    RemoteBuffer item(process, sizeof(TCITEMW) + kTextCapacity * sizeof(wchar_t));
    if (!item.IsValid()) return captions;
    for (int i = 0; i < count; ++i) {
        TCITEMW local{};
        local.mask = TCIF_TEXT;
        local.pszText =
            reinterpret_cast<wchar_t*>(static_cast<char*>(item.Pointer()) + sizeof(TCITEMW));
        local.cchTextMax = kTextCapacity;
        std::vector<wchar_t> text(kTextCapacity, L'\0');
        item.Write(&local, sizeof local);
        item.Write(text.data(), text.size() * sizeof(wchar_t), sizeof(TCITEMW));
        LRESULT ok = 0;
        if (Send(tabs, TCM_GETITEMW, i, item.Address(), ok) && ok) {
            item.Read(&local, sizeof local);
            // The control may point pszText at its own copy instead of filling our buffer.
            const size_t offset =
                reinterpret_cast<char*>(local.pszText) - static_cast<char*>(item.Pointer());
            if (offset == sizeof(TCITEMW)) {
                item.Read(text.data(), text.size() * sizeof(wchar_t), sizeof(TCITEMW));
            } else {
                SIZE_T done = 0;
                ReadProcessMemory(process.Get(), local.pszText, text.data(),
                                  (text.size() - 1) * sizeof(wchar_t), &done);
            }
        }
        text.back() = L'\0';
        captions.emplace_back(text.data());
    }
    return captions;
}

std::string TabsJson(HWND tabs, const RemoteProcess& process) {
    std::string out =
        "{\"selected\":" + std::to_string(SendOr(tabs, TCM_GETCURSEL, 0, 0, -1)) + ",\"tabs\":[";
    bool first = true;
    for (const auto& caption : TabCaptions(tabs, process)) {
        out += (first ? "" : ",") + JsonString(caption);
        first = false;
    }
    // Each header's rectangle in the control's client area.
    out += "],\"headers\":[";
    RemoteBuffer rect(process, sizeof(RECT));
    const long long count = SendOr(tabs, TCM_GETITEMCOUNT, 0, 0, 0);
    for (long long i = 0; i < count; ++i) {
        RECT r{};
        LRESULT ok = 0;
        if (!rect.IsValid() ||
            !Send(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), rect.Address(), ok) || !ok ||
            !rect.Read(&r, sizeof r)) {
            r = {};
        }
        out += (i ? "," : "") + RectJson(r);
    }
    out += "],\"pages\":[";
    first = true;
    for (HWND page = GetWindow(tabs, GW_CHILD); page != nullptr;
         page = GetWindow(page, GW_HWNDNEXT)) {
        if (ClassOf(page) != L"koPanel") continue;
        out += std::string(first ? "" : ",") + "{\"visible\":" + Bool(IsWindowVisible(page)) +
               ",\"children\":" + std::to_string(Descendants(page).size()) + "}";
        first = false;
    }
    return out + "]}";
}

Outcome Tabs(const Options& o) {
    HWND tabs = nullptr;
    RemoteProcess process;
    if (auto e = TabControl(o, tabs, process); !e.empty()) return e;
    PrintLine(TabsJson(tabs, process));
    return {};
}

// Clicks the tab with posted mouse messages, as the user's click would arrive, so the control
// sends its own TCN_SELCHANGE and the program switches the page itself.
Outcome SelectTab(const Options& o) {
    if (auto e = NeedArgs(o, 1, "tab N|CAPTION"); !e.empty()) return e;
    HWND tabs = nullptr;
    RemoteProcess process;
    if (auto e = TabControl(o, tabs, process); !e.empty()) return e;
    long long index = -1;
    if (!ParseInteger(o.args[0], index)) {
        const auto captions = TabCaptions(tabs, process);
        for (size_t i = 0; i < captions.size(); ++i) {
            if (captions[i] == o.args[0]) index = static_cast<long long>(i);
        }
    }
    const long long count = SendOr(tabs, TCM_GETITEMCOUNT, 0, 0, 0);
    if (index < 0 || index >= count) return "no such tab: " + ToUtf8(o.args[0]);

    RemoteBuffer rect(process, sizeof(RECT));
    LRESULT ok = 0;
    RECT r{};
    if (!rect.IsValid() ||
        !Send(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), rect.Address(), ok) || !ok ||
        !rect.Read(&r, sizeof r)) {
        return "cannot read the tab's rectangle";
    }
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tabs, WM_LBUTTONUP, 0, at);
    const bool switched =
        WaitFor(o.timeoutMs, [&] { return SendOr(tabs, TCM_GETCURSEL, 0, 0, -1) == index; });
    Sleep(100);  // let the page show itself before anyone looks at it
    PrintLine(TabsJson(tabs, process));
    return switched ? Outcome{} : "the tab did not switch";
}

Outcome ListView(const Options& o, HWND& list, RemoteProcess& process) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    if (auto e = NthOfClass(main, WC_LISTVIEWW, 0, list); !e.empty()) return e;
    process = RemoteProcess(ProcessOf(list));
    return process.IsOpen() ? Outcome{} : "cannot open the program's process";
}

bool ItemRect(HWND list, const RemoteProcess& process, int index, int part, RECT& out) {
    RemoteBuffer rect(process, sizeof(RECT));
    RECT r{};
    r.left = part;
    LRESULT ok = 0;
    if (!rect.Write(&r, sizeof r) || !Send(list, LVM_GETITEMRECT, index, rect.Address(), ok) ||
        !ok || !rect.Read(&out, sizeof out)) {
        return false;
    }
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&out), 2);
    return true;
}

std::string ListJson(HWND list, const RemoteProcess& process) {
    const int count = static_cast<int>(SendOr(list, LVM_GETITEMCOUNT, 0, 0, 0));
    std::string out = "{\"count\":" + std::to_string(count) +
                      ",\"list\":" + RectJson(ClientScreenRect(list)) + ",\"items\":[";
    RemoteBuffer item(process, sizeof(LVITEMW) + kTextCapacity * sizeof(wchar_t));
    for (int i = 0; i < count && item.IsValid(); ++i) {
        LVITEMW local{};
        local.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        local.iItem = i;
        local.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        local.pszText =
            reinterpret_cast<wchar_t*>(static_cast<char*>(item.Pointer()) + sizeof(LVITEMW));
        local.cchTextMax = kTextCapacity;
        std::vector<wchar_t> text(kTextCapacity, L'\0');
        item.Write(&local, sizeof local);
        item.Write(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW));
        LRESULT ok = 0;
        if (Send(list, LVM_GETITEMW, 0, item.Address(), ok) && ok) {
            item.Read(&local, sizeof local);
            const size_t offset =
                reinterpret_cast<char*>(local.pszText) - static_cast<char*>(item.Pointer());
            if (offset == sizeof(LVITEMW)) {
                item.Read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW));
            } else if (local.pszText != nullptr) {
                SIZE_T done = 0;
                ReadProcessMemory(process.Get(), local.pszText, text.data(),
                                  (text.size() - 1) * sizeof(wchar_t), &done);
            }
        } else {
            local.iImage = -1;
            local.state = 0;
        }
        text.back() = L'\0';
        RECT icon{};
        const bool hasIcon = ItemRect(list, process, i, LVIR_ICON, icon);
        out += std::string(i ? "," : "") + "{\"index\":" + std::to_string(i) +
               ",\"text\":" + JsonString(text.data()) +
               ",\"image\":" + std::to_string(local.iImage) +
               ",\"selected\":" + Bool((local.state & LVIS_SELECTED) != 0) +
               ",\"icon\":" + (hasIcon ? RectJson(icon) : std::string("null")) + "}";
    }
    return out + "]}";
}

Outcome List(const Options& o) {
    HWND list = nullptr;
    RemoteProcess process;
    if (auto e = ListView(o, list, process); !e.empty()) return e;
    if (o.Has(L"--wait-count")) {
        long long want = 0;
        if (!ParseInteger(o.flags.at(L"--wait-count"), want)) return "--wait-count needs a number";
        const bool reached =
            WaitFor(o.timeoutMs, [&] { return SendOr(list, LVM_GETITEMCOUNT, 0, 0, -1) == want; });
        PrintLine(ListJson(list, process));
        return reached ? Outcome{} : "the list never held " + std::to_string(want) + " items";
    }
    PrintLine(ListJson(list, process));
    return {};
}

Outcome Select(const Options& o) {
    if (auto e = NeedArgs(o, 1, "select N (-1 clears the selection)"); !e.empty()) return e;
    long long index = 0;
    if (auto e = IntegerArg(o, 0, index); !e.empty()) return e;
    HWND list = nullptr;
    RemoteProcess process;
    if (auto e = ListView(o, list, process); !e.empty()) return e;
    const long long count = SendOr(list, LVM_GETITEMCOUNT, 0, 0, 0);
    if (index >= count) return "no item " + std::to_string(index);
    RemoteBuffer item(process, sizeof(LVITEMW));
    LVITEMW local{};
    local.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    local.state = index >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    LRESULT ok = 0;
    if (index < 0) {
        // Item -1 means every item: clear them all.
        if (!item.Write(&local, sizeof local) ||
            !Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), item.Address(), ok) || !ok) {
            return "the list refused to clear its selection";
        }
    } else if (!item.Write(&local, sizeof local) ||
               !Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), item.Address(), ok) ||
               !ok) {
        return "the list refused the selection";
    }
    PrintLine(ListJson(list, process));
    return {};
}

Outcome Command(const Options& o) {
    if (auto e = NeedArgs(o, 1, "command ID"); !e.empty()) return e;
    long long id = 0;
    if (auto e = IntegerArg(o, 0, id); !e.empty()) return e;
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    // What a menu item sends: notification code 0, no control handle.
    if (!PostMessageW(main, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0)) {
        return "could not post the command";
    }
    return {};
}

void PostKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
}

// Opens the menu's sub-menu (the sizes) and keeps a picture of the window with both menus over
// it; closes both menus again. Its place in the menu is found by trying each item in turn.
Outcome ShootMenus(const Options& o, HWND list, DWORD pid, HWND menu) {
    std::vector<HWND> menus;
    bool opened = false;
    for (int item = 0; item < 8 && !opened; ++item) {
        PostKey(menu, VK_DOWN);
        PostKey(menu, VK_RIGHT);  // opens the selected item's sub-menu; nothing on a plain item
        opened = WaitFor(std::min<unsigned long long>(o.timeoutMs, 1000), [&] {
            menus = TopLevelOfProcess(pid, L"#32768");
            return menus.size() >= 2;
        });
    }
    bool saved = false;
    if (opened) {
        Sleep(200);  // let the sub-menu paint
        RECT area = ScreenRect(GetAncestor(list, GA_ROOT));
        for (HWND m : menus) {
            const RECT r = ScreenRect(m);
            UnionRect(&area, &area, &r);
        }
        Pixels pixels;
        saved = CaptureScreen(area, pixels) && SavePicture(pixels, o.flags.at(L"--shot"));
    }
    for (size_t i = 0; i < std::max<size_t>(menus.size(), 1); ++i) PostKey(menu, VK_ESCAPE);
    if (!opened) return "the size sub-menu did not open";
    return saved ? Outcome{} : "cannot keep the picture of the menus";
}

Outcome RightClick(const Options& o) {
    HWND list = nullptr;
    RemoteProcess process;
    if (auto e = ListView(o, list, process); !e.empty()) return e;
    RECT target{};
    if (!o.args.empty()) {
        long long index = 0;
        if (auto e = IntegerArg(o, 0, index); !e.empty()) return e;
        if (!ItemRect(list, process, static_cast<int>(index), LVIR_ICON, target)) {
            return "no item " + std::to_string(index);
        }
    } else {
        // An empty spot: the bottom-right corner of the client area.
        const RECT c = ClientScreenRect(list);
        target = {c.right - 12, c.bottom - 12, c.right - 10, c.bottom - 10};
    }
    POINT screen{(target.left + target.right) / 2, (target.top + target.bottom) / 2};
    SetCursorPos(screen.x, screen.y);
    POINT client = screen;
    ScreenToClient(list, &client);
    const LPARAM at = MAKELPARAM(client.x, client.y);
    const DWORD pid = ProcessOf(list);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, at);
    PostMessageW(list, WM_RBUTTONUP, 0, at);

    HWND menu = nullptr;
    WaitFor(o.timeoutMs, [&] {
        const auto menus = TopLevelOfProcess(pid, L"#32768");
        menu = menus.empty() ? nullptr : menus.front();
        return menu != nullptr;
    });
    if (menu == nullptr) {
        PrintLine("{\"menu\":false}");
        return {};
    }
    const RECT menuRect = ScreenRect(menu);
    if (o.Has(L"--shot")) {
        if (auto e = ShootMenus(o, list, pid, menu); !e.empty()) return e;
    } else if (o.Has(L"--pick")) {
        long long pick = 0;
        if (!ParseInteger(o.flags.at(L"--pick"), pick)) return "--pick needs a number";
        for (long long i = 0; i <= pick; ++i) PostKey(menu, VK_DOWN);
        PostKey(menu, VK_RETURN);
    } else {
        PostKey(menu, VK_ESCAPE);
    }
    const bool closed =
        WaitFor(o.timeoutMs, [&] { return TopLevelOfProcess(pid, L"#32768").empty(); });
    PrintLine("{\"menu\":true,\"closed\":" + Bool(closed) +
              ",\"at\":{\"x\":" + std::to_string(screen.x) + ",\"y\":" + std::to_string(screen.y) +
              "},\"rect\":" + RectJson(menuRect) + "}");
    return closed ? Outcome{} : "the menu stayed open";
}

}  // namespace driver
