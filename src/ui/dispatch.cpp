#include "ui/dispatch.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cwctype>
#include <utility>
#include <vector>

#include "text/text_helpers.h"
#include "ui/form_window.h"
#include "ui/marshal.h"
#include "ui/window_object.h"
#include "ui/window_record.h"
#include "ui/window_registry.h"

namespace {

INT_PTR H(HWND h) {
    return reinterpret_cast<INT_PTR>(h);
}

// Holds a reference for the length of a call, so a handler that drops the last object does
// not free the record under the dispatcher's feet.
class RecordRef {
  public:
    RecordRef() = default;
    explicit RecordRef(WindowRecord* r) : r_(r) {
        if (r_) r_->AddRef();
    }
    ~RecordRef() {
        if (r_) r_->Release();
    }
    RecordRef(const RecordRef&) = delete;
    RecordRef& operator=(const RecordRef&) = delete;

    // The record registered for hwnd, referenced in the same step as the look-up: another
    // thread's release between the two could otherwise free it.
    static RecordRef Registered(HWND hwnd) {
        RecordRef ref;
        ref.r_ = WindowRecord::AcquireLive(WindowRegistry::Find(hwnd));
        return ref;
    }
    RecordRef(RecordRef&& other) noexcept : r_(std::exchange(other.r_, nullptr)) {}
    RecordRef& operator=(RecordRef&& other) noexcept {
        if (this != &other) {
            if (r_) r_->Release();
            r_ = std::exchange(other.r_, nullptr);
        }
        return *this;
    }
    WindowRecord* Get() const { return r_; }

  private:
    WindowRecord* r_ = nullptr;
};

LRESULT Reflect(HWND child, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, int* handled) {
    const RecordRef target = RecordRef::Registered(child);
    if (!target.Get()) return 0;
    return target.Get()->callbacks.reflected(target.Get(), hwnd, message, wParam, lParam, handled);
}

// "claims if non-zero": a non-zero handler result becomes the message result.
LRESULT ClaimIfNonZero(std::optional<INT_PTR> result, int* handled) {
    if (result && *result != 0) {
        *handled = 1;
        return *result;
    }
    return 0;
}

void TrackHover(WindowRecord* r, HWND hwnd, int x, int y, int mods) {
    PropertyBag& bag = r->Bag();
    if (!bag.Has("EnlableHover") || bag.GetPtr("isMoveIn") != 0) return;
    bag.Set("isMoveIn", BagValue::FromPointer(1));
    r->Fire("OnMouseIn", {H(hwnd), x, y, mods});
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_HOVER | TME_LEAVE;
    tme.hwndTrack = hwnd;
    tme.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&tme);
}

std::vector<Text> DroppedFiles(HDROP drop) {
    std::vector<Text> files;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        WideText name(static_cast<size_t>(length) + 1, u'\0');
        UINT got = DragQueryFileW(drop, i, WinStr(name), length + 1);
        name.resize(got);
        files.push_back(WideToAnsi(name));
    }
    return files;
}

WideText ClassOf(HWND hwnd) {
    wchar_t buffer[64] = {};
    int n = GetClassNameW(hwnd, buffer, 64);
    return WideText(reinterpret_cast<const char16_t*>(buffer), n > 0 ? static_cast<size_t>(n) : 0);
}

bool SameClass(const WideText& a, const char16_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == 0;
}

bool HasMnemonic(const WideText& text, wchar_t ch) {
    const auto want = std::towlower(static_cast<wint_t>(ch));
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] == u'&') {  // "&&" is a literal ampersand
            ++i;
            continue;
        }
        if (std::towlower(static_cast<wint_t>(text[i + 1])) == want) return true;
    }
    return false;
}

WideText WindowTextOf(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    if (n <= 0) return {};
    WideText w(static_cast<size_t>(n) + 1, u'\0');
    int got = GetWindowTextW(hwnd, WinStr(w), n + 1);
    w.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return w;
}

struct MnemonicSearch {
    const char16_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectByClass(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<MnemonicSearch*>(lParam);
    if (SameClass(ClassOf(hwnd), search->className)) search->found.push_back(hwnd);
    return TRUE;
}

struct MessageEvent {
    UINT message;
    const char* event;
};

// Mouse buttons: the event gets the position and modifier keys and may claim the message.
constexpr MessageEvent kButtonEvents[] = {
    {WM_LBUTTONDOWN, "OnLButtonDown"},     {WM_LBUTTONUP, "OnLButtonUp"},
    {WM_LBUTTONDBLCLK, "OnLButtonDblClk"}, {WM_RBUTTONDOWN, "OnRButtonDown"},
    {WM_RBUTTONUP, "OnRButtonUp"},
};
// Told to the window alone; the default handling runs afterwards.
constexpr MessageEvent kWindowEvents[] = {
    {WM_MOUSEHOVER, "OnMouseHover"},
    {WM_SETFOCUS, "OnSetFocus"},
    {WM_KILLFOCUS, "OnKillFocus"},
};
// Keys: the event gets the key and modifiers; a claim only keeps the default handling away.
constexpr MessageEvent kKeyEvents[] = {
    {WM_KEYDOWN, "OnKeyDown"},
    {WM_SYSKEYDOWN, "OnKeyDown"},
    {WM_KEYUP, "OnKeyUp"},
    {WM_SYSKEYUP, "OnKeyUp"},
};

template <size_t N>
const char* EventFor(const MessageEvent (&table)[N], UINT message) {
    for (const MessageEvent& entry : table) {
        if (entry.message == message) return entry.event;
    }
    return nullptr;
}

// For the notifications a parent gets about a child control, the child whose record handles
// them (null when the message names none). False for every other message.
bool ReflectionTarget(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, HWND* child) {
    switch (message) {
        case WM_COMMAND:
        case WM_HSCROLL:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            *child = reinterpret_cast<HWND>(lParam);
            return true;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<const NMHDR*>(lParam);
            *child = header ? header->hwndFrom : nullptr;
            return true;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            *child = item && item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
            return true;
        }
        case WM_MEASUREITEM:
        case WM_DELETEITEM:
        case WM_COMPAREITEM:
            // Menus measure with id 0.
            *child = wParam == 0 ? nullptr : GetDlgItem(hwnd, static_cast<int>(wParam));
            return true;
        default:
            return false;
    }
}

LRESULT FirePaint(WindowRecord* r, HWND hwnd, int* handled) {
    if (!r->IsBound("OnPaint")) return 0;
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    r->Fire("OnPaint", {H(hwnd), reinterpret_cast<INT_PTR>(dc), ps.rcPaint.left, ps.rcPaint.top,
                        ps.rcPaint.right, ps.rcPaint.bottom});
    EndPaint(hwnd, &ps);
    *handled = 1;
    return 0;
}

LRESULT FireDropFiles(WindowRecord* r, HWND hwnd, HDROP drop, int* handled) {
    if (!r->IsBound("OnDropFiles")) return 0;
    std::vector<Text> files = DroppedFiles(drop);
    DragFinish(drop);
    r->Fire("OnDropFiles", {H(hwnd), reinterpret_cast<INT_PTR>(&files)});
    *handled = 1;
    return 0;
}

void ApplyLayout(WindowRecord* r, HWND hwnd, LPARAM size) {
    auto* layout = reinterpret_cast<WindowRecord*>(r->Bag().GetPtr("koLayout"));
    if (!layout || !WindowRecord::IsRecord(layout)) return;
    RecordRef keep(layout);
    int ignored = 0;
    layout->callbacks.message(layout, hwnd, kLayoutResize, LOWORD(size), HIWORD(size), &ignored);
    ignored = 0;
    layout->callbacks.message(layout, hwnd, kLayoutApply, 0, 0, &ignored);
}

}  // namespace

bool ClickMnemonic(HWND hwnd, wchar_t ch) {
    if (!hwnd || !IsWindow(hwnd)) return false;
    // A child searches its parent's family; a top-level window its own children (its
    // GetParent would be its owner, a different window altogether).
    HWND root = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : hwnd;
    if (!root) return false;
    for (const char16_t* cls : {u"button", u"koButton"}) {
        MnemonicSearch search{cls, {}};
        EnumChildWindows(root, &CollectByClass, reinterpret_cast<LPARAM>(&search));
        for (HWND button : search.found) {
            // A disabled or hidden button cannot be pressed with the mouse either.
            if (!IsWindowEnabled(button) || !IsWindowVisible(button)) continue;
            if (!HasMnemonic(WindowTextOf(button), ch)) continue;
            auto id = static_cast<WORD>(GetWindowLongPtrW(button, GWLP_ID));
            SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
            return true;
        }
    }
    return false;
}

void DetachRecord(WindowRecord* r) {
    if (!r) return;
    PropertyBag& bag = r->Bag();
    HWND hwnd = r->Handle();
    if (hwnd) {
        auto old = bag.GetPtr("oldWndProp");
        if (old) {
            // Only unhook when nobody subclassed on top of us; otherwise their chain would
            // lose its link to the original procedure.
            if (IsWindow(hwnd) && GetWindowLongPtrW(hwnd, GWLP_WNDPROC) ==
                                      reinterpret_cast<LONG_PTR>(&SharedWindowProc)) {
                SetWindowLongPtrW(hwnd, GWLP_WNDPROC, old);
            }
            bag.Set("oldWndProp", BagValue::FromPointer(0));
        }
        if (WindowRegistry::Find(hwnd) == r) WindowRegistry::Remove(hwnd);
        bag.Set("hWnd", BagValue::FromPointer(0));
    }
    if (auto* layout = reinterpret_cast<WindowRecord*>(bag.GetPtr("koLayout"))) {
        bag.Set("koLayout", BagValue::FromPointer(0));
        if (WindowRecord::IsRecord(layout)) layout->Release();
    }
}

LRESULT GenericDispatch(WindowRecord* r, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                        int* handled) {
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    if (const char* event = EventFor(kButtonEvents, message)) {
        return ClaimIfNonZero(r->Fire(event, {H(hwnd), x, y, ModifierFlags()}), handled);
    }
    if (const char* event = EventFor(kWindowEvents, message)) {
        r->Fire(event, {H(hwnd)});
        return 0;
    }
    if (const char* event = EventFor(kKeyEvents, message)) {
        ClaimIfNonZero(r->Fire(event, {H(hwnd), static_cast<INT_PTR>(wParam), ModifierFlags()}),
                       handled);
        return 0;
    }
    if (HWND child = nullptr; ReflectionTarget(hwnd, message, wParam, lParam, &child)) {
        return child ? Reflect(child, hwnd, message, wParam, lParam, handled) : 0;
    }
    switch (message) {
        case WM_NCDESTROY:
            DetachRecord(r);
            return 0;
        case WM_PAINT:
            return FirePaint(r, hwnd, handled);
        case WM_MOUSEMOVE: {
            const int mods = ModifierFlags();
            TrackHover(r, hwnd, x, y, mods);
            return ClaimIfNonZero(r->Fire("OnMouseMove", {H(hwnd), x, y, mods}), handled);
        }
        case WM_MOUSELEAVE:
            r->Bag().Set("isMoveIn", BagValue::FromPointer(0));
            r->Fire("OnMouseLeave", {H(hwnd)});
            return 0;
        case WM_MOUSEWHEEL:
            r->Fire("OnMouseWheel", {H(hwnd), GET_WHEEL_DELTA_WPARAM(wParam), ModifierFlags()});
            return 0;
        case WM_CHAR:
            return ClaimIfNonZero(r->Fire("OnChar", {H(hwnd), static_cast<INT_PTR>(wParam)}),
                                  handled);
        case WM_DROPFILES:
            return FireDropFiles(r, hwnd, reinterpret_cast<HDROP>(wParam), handled);
        case WM_TIMER:
            if (!r->IsBound("OnTimer")) return 0;
            r->Fire("OnTimer", {H(hwnd), static_cast<INT_PTR>(wParam)});
            *handled = 1;
            return 0;
        case WM_SIZE:
            ApplyLayout(r, hwnd, lParam);
            return 0;
        case WM_SYSCHAR:
            if (ClickMnemonic(hwnd, static_cast<wchar_t>(wParam))) *handled = 1;
            return 0;
        default:
            return 0;
    }
}

LRESULT ControlDispatch(WindowRecord* r, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                        int* handled) {
    PropertyBag& bag = r->Bag();
    if (message == WM_NCDESTROY) {
        CloseBagHandle<CursorHandle>(bag, "hCursor");
        CloseBagHandle<FontHandle>(bag, "hFont");
        if (auto* list = BagObject<std::vector<WindowRecord*>>(r, "Controls")) {
            for (WindowRecord* child : *list) {
                if (WindowRecord::IsRecord(child)) child->Release();
            }
        }
        DeleteBagObject<std::vector<WindowRecord*>>(r, "Controls");
    } else if (message == WM_SETCURSOR) {
        const HCURSOR cursor = BagHandle<CursorHandle>(bag, "hCursor");
        if (cursor && LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd) {
            *handled = 1;
            HCURSOR previous = SetCursor(cursor);
            return previous ? reinterpret_cast<LRESULT>(previous) : TRUE;
        }
    }
    return GenericDispatch(r, hwnd, message, wParam, lParam, handled);
}

LRESULT CALLBACK SharedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordRef keep = RecordRef::Registered(hwnd);
    WindowRecord* r = keep.Get();
    if (!r) {
        WindowRecord* candidate = nullptr;
        if (message == WM_NCCREATE && lParam) {
            candidate = static_cast<WindowRecord*>(
                reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        } else if (message == WM_INITDIALOG) {
            candidate = reinterpret_cast<WindowRecord*>(lParam);
        }
        if (candidate && WindowRecord::IsRecord(candidate) && !candidate->Handle()) {
            candidate->Bag().Set("hWnd", BagValue::FromPointer(H(hwnd)));
            WindowRegistry::Insert(hwnd, candidate);
            keep = RecordRef(candidate);
            r = candidate;
        }
        if (!r) return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (LRESULT ran = 0; RunMarshalledCall(message, wParam, lParam, &ran)) return ran;

    int handled = 0;
    // "OnWndMsg" sees every message first, before any kind-specific handling. It may claim
    // anything except the final clean-up, which must run or the registry would keep a dead
    // handle.
    if (r->IsBound("OnWndMsg")) {
        LRESULT claimed = r->Fire("OnWndMsg", {H(hwnd), static_cast<INT_PTR>(message),
                                               static_cast<INT_PTR>(wParam), lParam,
                                               reinterpret_cast<INT_PTR>(&handled)})
                              .value_or(0);
        if (handled && message != WM_NCDESTROY) return claimed;
        handled = 0;
    }
    // Read before dispatch: the clean-up at WM_NCDESTROY clears it, yet the original
    // procedure must still see that message.
    auto previous = reinterpret_cast<WNDPROC>(r->Bag().GetPtr("oldWndProp"));
    LRESULT result = r->callbacks.message(r, hwnd, message, wParam, lParam, &handled);
    if (handled) return result;
    if (previous) return CallWindowProcW(previous, hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
