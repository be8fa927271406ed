#include "ui/form_window.h"

#include <windowsx.h>

#include <optional>
#include <vector>

#include "draw/gdiplus_api.h"
#include "ui/app_host.h"
#include "ui/dispatch.h"
#include "ui/window_registry.h"

namespace {

FormTrayHook g_trayHook = nullptr;

constexpr DWORD kDefaultTopLevelStyle = WS_CAPTION | WS_SYSMENU | WS_VISIBLE;  // 0x10C80000

INT_PTR H(HWND h) {
    return reinterpret_cast<INT_PTR>(h);
}

bool RegisterToolkitClass(const WideText& name, bool withIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(ToolkitInstance(), WinStr(name), &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    // Double clicks are an event of their own ("OnLButtonDblClk"), so the class asks for them.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &SharedWindowProc;
    wc.hInstance = ToolkitInstance();
    if (withIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = WinStr(name);
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

SharedImage* BackImageSlot(PropertyBag& bag) {
    return reinterpret_cast<SharedImage*>(bag.GetPtr("pBackImage"));
}

WindowRecord* RecordIn(PropertyBag& bag, std::string_view name) {
    auto* r = reinterpret_cast<WindowRecord*>(bag.GetPtr(name));
    return WindowRecord::IsRecord(r) ? r : nullptr;
}

void ReleaseRecordIn(PropertyBag& bag, std::string_view name) {
    if (WindowRecord* r = RecordIn(bag, name)) r->Release();
    bag.Remove(name);
}

// The form's own resources; run at WM_NCDESTROY and again (finding nothing) at final release.
void FreeFormResources(WindowRecord* r, HWND hwnd) {
    PropertyBag& bag = r->Bag();
    DeleteBagObject<SharedImage>(r, "pBackImage");
    if (g_trayHook && bag.GetPtr("NotifyiconData")) {
        int ignored = 0;
        g_trayHook(r, hwnd, WM_NCDESTROY, 0, 0, &ignored);
    }
    CloseBagHandle<AccelTableHandle>(bag, "hAccelTable");
    bag.Remove("pAccelTable");
    DeleteBagObject<std::vector<HWND>>(r, "ATLWindows");
    ReleaseRecordIn(bag, "DefaultButton");
    ReleaseRecordIn(bag, "CancelButton");
    bag.Remove("FirstActivte");
    // The invisible owner that kept this window off the taskbar has no use left.
    if (auto owner = reinterpret_cast<HWND>(bag.GetPtr("hTaskbarOwner"))) {
        bag.Remove("hTaskbarOwner");
        if (IsWindow(owner)) PostMessageW(owner, WM_CLOSE, 0, 0);
    }
}

void ClickButtonIn(PropertyBag& bag, std::string_view name) {
    if (WindowRecord* button = RecordIn(bag, name)) {
        if (HWND h = button->Handle()) SendMessageW(h, BM_CLICK, 0, 0);
    }
}

LRESULT HandleCommand(WindowRecord* r, HWND hwnd, WPARAM wParam, int* handled) {
    const WORD code = HIWORD(wParam);
    const WORD id = LOWORD(wParam);
    PropertyBag& bag = r->Bag();
    if (code == 0 && id == IDOK) {
        ClickButtonIn(bag, "DefaultButton");
        *handled = 1;
        return 0;
    }
    if (code == 0 && id == IDCANCEL) {
        ClickButtonIn(bag, "CancelButton");
        if (bag.GetPtr("EscClose") != 0) SendMessageW(hwnd, WM_CLOSE, 0, 0);
        *handled = 1;
        return 0;
    }
    r->Fire("OnMenuItemClick", {H(hwnd), id});
    return 0;
}

void CenterRect(const RECT& area, int width, int height, POINT& pos) {
    pos.x = area.left + ((area.right - area.left) - width) / 2;
    pos.y = area.top + ((area.bottom - area.top) - height) / 2;
}

Gdiplus::ARGB ToArgb(COLORREF c) {
    return 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(c)) << 16) |
           (static_cast<Gdiplus::ARGB>(GetGValue(c)) << 8) | GetBValue(c);
}

// The form's own handling of a message, before the generic dispatch. A handler returns the
// message result when it answered the message; otherwise the generic dispatch runs.
using FormHandler = std::optional<LRESULT> (*)(WindowRecord*, HWND, WPARAM, LPARAM, int* handled);

std::optional<LRESULT> Answer(int* handled, LRESULT result) {
    *handled = 1;
    return result;
}

std::optional<LRESULT> OnFormNcDestroy(WindowRecord* r, HWND hwnd, WPARAM, LPARAM, int*) {
    FreeFormResources(r, hwnd);
    return std::nullopt;
}

std::optional<LRESULT> OnFormEraseBackground(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM,
                                             int* handled) {
    PropertyBag& bag = r->Bag();
    SharedImage* image = BackImageSlot(bag);
    if (!image && !bag.Has("BackColor")) return std::nullopt;
    RECT client{};
    GetClientRect(hwnd, &client);
    PaintBackground(reinterpret_cast<HDC>(wParam), client,
                    static_cast<COLORREF>(bag.GetPtr("BackColor")),
                    static_cast<int>(bag.GetPtr("ShowImageType")),
                    image && *image ? (*image)->Handle() : nullptr);
    return Answer(handled, 1);
}

std::optional<LRESULT> OnFormCreate(WindowRecord* r, HWND hwnd, WPARAM, LPARAM, int*) {
    if (r->IsBound("XmlresOnCreate")) {
        r->Fire("XmlresOnCreate",
                {reinterpret_cast<INT_PTR>(r), H(hwnd), r->Bag().GetPtr("XmlNode")});
    }
    r->Fire("OnCreate", {H(hwnd)});
    RECT client{};
    GetClientRect(hwnd, &client);
    SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    return std::nullopt;
}

std::optional<LRESULT> OnFormClose(WindowRecord* r, HWND hwnd, WPARAM, LPARAM, int* handled) {
    auto keep = r->Fire("OnClose", {H(hwnd)});
    if (keep && *keep != 0) return Answer(handled, 1);
    auto owner = reinterpret_cast<HWND>(GetWindowLongPtrW(hwnd, GWLP_HWNDPARENT));
    if (owner && IsWindow(owner) && !IsWindowEnabled(owner) && IsWindowVisible(owner)) {
        // Enable the owner before this window goes, so the activation returns to it.
        EnableWindow(owner, TRUE);
        SetWindowPos(owner, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    }
    return std::nullopt;
}

std::optional<LRESULT> OnFormDestroy(WindowRecord* r, HWND hwnd, WPARAM, LPARAM, int* handled) {
    if (!r->IsBound("OnDestory")) return std::nullopt;
    r->Fire("OnDestory", {H(hwnd)});
    return Answer(handled, 0);
}

std::optional<LRESULT> OnFormMove(WindowRecord* r, HWND hwnd, WPARAM, LPARAM lParam, int*) {
    r->Fire("OnMove", {H(hwnd), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    return std::nullopt;
}

std::optional<LRESULT> OnFormSize(WindowRecord* r, HWND hwnd, WPARAM, LPARAM lParam, int*) {
    r->Fire("OnSize", {H(hwnd), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    return std::nullopt;
}

std::optional<LRESULT> OnFormActivate(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM, int*) {
    r->Fire(LOWORD(wParam) != 0 ? "OnActivate" : "OnUnActivate", {H(hwnd)});
    return std::nullopt;
}

std::optional<LRESULT> OnFormShow(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM, int*) {
    r->Fire(wParam != 0 ? "OnShow" : "OnHide", {H(hwnd)});
    return std::nullopt;
}

std::optional<LRESULT> OnFormCommand(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM lParam,
                                     int* handled) {
    if (lParam != 0 || (HIWORD(wParam) != 0 && HIWORD(wParam) != 1)) return std::nullopt;
    LRESULT result = HandleCommand(r, hwnd, wParam, handled);
    if (*handled) return result;
    return std::nullopt;
}

std::optional<LRESULT> OnFormActivateApp(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM, int*) {
    PropertyBag& bag = r->Bag();
    if (wParam != 0 && !bag.Has("FirstActivte")) {
        bag.Set("FirstActivte", BagValue::FromPointer(1));
        if (r->IsBound("OnFirstActivate")) {
            SendMessageW(hwnd, WM_NCACTIVATE, 1, 0);
            r->Fire("OnFirstActivate", {H(hwnd)});
        }
    }
    return std::nullopt;
}

std::optional<LRESULT> OnFormSetCursor(WindowRecord* r, HWND, WPARAM, LPARAM, int* handled) {
    if (r->Bag().GetPtr("WaitCursor") == 0) return std::nullopt;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return Answer(handled, TRUE);
}

std::optional<LRESULT> OnFormMinMaxInfo(WindowRecord* r, HWND hwnd, WPARAM, LPARAM lParam,
                                        int* handled) {
    auto* layout = reinterpret_cast<WindowRecord*>(r->Bag().GetPtr("koLayout"));
    if (!layout || !WindowRecord::IsRecord(layout) || !lParam) return std::nullopt;
    int answered = 0;
    LRESULT size = layout->callbacks.message(layout, hwnd, kLayoutMinSize, 0, 0, &answered);
    if (!answered) return std::nullopt;
    RECT window{}, client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize.x = LOWORD(size) + (window.right - window.left) - client.right;
    info->ptMinTrackSize.y = HIWORD(size) + (window.bottom - window.top) - client.bottom;
    return Answer(handled, 0);
}

std::optional<LRESULT> OnFormNcActivate(WindowRecord* r, HWND, WPARAM wParam, LPARAM,
                                        int* handled) {
    if (wParam == 0 && r->Bag().GetPtr("NCEverActive") != 0) return Answer(handled, 1);
    return std::nullopt;
}

std::optional<LRESULT> OnFormSysCommand(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM,
                                        int* handled) {
    if ((wParam & 0xFFF0) != SC_CLOSE) return std::nullopt;
    auto drop = r->Fire("OnUserClose", {H(hwnd)});
    if (drop && *drop != 0) return Answer(handled, 0);
    return std::nullopt;
}

std::optional<LRESULT> OnFormInitMenuPopup(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM lParam,
                                           int* handled) {
    if (!r->IsBound("OnInitMenuPopup")) return std::nullopt;
    r->Fire("OnInitMenuPopup",
            {H(hwnd), static_cast<INT_PTR>(wParam), LOWORD(lParam), HIWORD(lParam)});
    return Answer(handled, 0);
}

std::optional<LRESULT> OnFormMenuSelect(WindowRecord* r, HWND hwnd, WPARAM wParam, LPARAM lParam,
                                        int* handled) {
    if (!r->IsBound("OnMenuSelect")) return std::nullopt;
    r->Fire("OnMenuSelect", {H(hwnd), lParam, LOWORD(wParam), HIWORD(wParam)});
    return Answer(handled, 0);
}

// The dialog manager moves the focus (Tab, Shift+Tab) by sending this to the root window; only
// the dialog procedure answers it, and forms are not dialogs.
std::optional<LRESULT> OnFormNextDlgCtl(WindowRecord*, HWND hwnd, WPARAM wParam, LPARAM lParam,
                                        int* handled) {
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
    if (target) SetFocus(target);
    return Answer(handled, 0);
}

std::optional<LRESULT> OnFormLButtonDown(WindowRecord* r, HWND hwnd, WPARAM, LPARAM, int*) {
    if (r->Bag().GetPtr("FreeMove") != 0) SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
    return std::nullopt;
}

struct FormHandlerEntry {
    UINT message;
    FormHandler handler;
};

constexpr FormHandlerEntry kFormHandlers[] = {
    {WM_NCDESTROY, &OnFormNcDestroy},
    {WM_ERASEBKGND, &OnFormEraseBackground},
    {WM_CREATE, &OnFormCreate},
    {WM_INITDIALOG, &OnFormCreate},
    {WM_CLOSE, &OnFormClose},
    {WM_DESTROY, &OnFormDestroy},
    {WM_MOVE, &OnFormMove},
    {WM_SIZE, &OnFormSize},
    {WM_ACTIVATE, &OnFormActivate},
    {WM_SHOWWINDOW, &OnFormShow},
    {WM_COMMAND, &OnFormCommand},
    {WM_ACTIVATEAPP, &OnFormActivateApp},
    {WM_SETCURSOR, &OnFormSetCursor},
    {WM_GETMINMAXINFO, &OnFormMinMaxInfo},
    {WM_NCACTIVATE, &OnFormNcActivate},
    {WM_SYSCOMMAND, &OnFormSysCommand},
    {WM_INITMENUPOPUP, &OnFormInitMenuPopup},
    {WM_MENUSELECT, &OnFormMenuSelect},
    {WM_NEXTDLGCTL, &OnFormNextDlgCtl},
    {WM_LBUTTONDOWN, &OnFormLButtonDown},
};

}  // namespace

void SetFormTrayHook(FormTrayHook hook) {
    g_trayHook = hook;
}

RECT FitRect(int cw, int ch, int w, int h) {
    RECT rc{0, 0, cw, ch};
    if (w <= 0 || h <= 0 || cw <= 0 || ch <= 0) return rc;
    // Compare h/w with ch/cw without rounding: h*cw against ch*w.
    const long long lhs = static_cast<long long>(h) * cw;
    const long long rhs = static_cast<long long>(ch) * w;
    if (lhs > rhs) {
        int drawn = static_cast<int>(static_cast<long long>(ch) * w / h);
        rc.left = (cw - drawn) / 2;
        rc.right = rc.left + drawn;
    } else if (lhs < rhs) {
        int drawn = static_cast<int>(static_cast<long long>(cw) * h / w);
        rc.top = (ch - drawn) / 2;
        rc.bottom = rc.top + drawn;
    }
    return rc;
}

bool PaintBackground(HDC dc, const RECT& client, COLORREF backColor, int placement,
                     Gdiplus::GpImage* image) {
    const int cw = client.right - client.left;
    const int ch = client.bottom - client.top;
    if (!dc || cw <= 0 || ch <= 0) return false;

    MemoryDc canvas(CreateCompatibleDC(dc));
    if (!canvas) return false;
    BITMAPINFO info = Dib32Info(cw, ch);
    void* bits = nullptr;
    BitmapHandle dib(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib) return false;
    {
        ScopedSelect select(canvas.Get(), dib.Get());
        GpGraphicsHandle graphics;
        Gdiplus::GpGraphics* g = nullptr;
        if (gp::GdipCreateFromHDC(canvas.Get(), graphics.Receive()) != Gdiplus::Ok ||
            !(g = graphics.Get())) {
            // No GDI+ (not started): still give the window its colour.
            BrushHandle brush(CreateSolidBrush(backColor ? backColor : GetSysColor(COLOR_BTNFACE)));
            RECT all{0, 0, cw, ch};
            FillRect(canvas.Get(), &all, brush.Get());
        } else {
            gp::GdipGraphicsClear(g, ToArgb(backColor ? backColor : GetSysColor(COLOR_BTNFACE)));
            UINT w = 0, h = 0;
            if (image) {
                gp::GdipGetImageWidth(image, &w);
                gp::GdipGetImageHeight(image, &h);
            }
            if (image && w > 0 && h > 0) {
                if (placement == 0) {
                    Gdiplus::GpTexture* texture = nullptr;
                    if (gp::GdipCreateTexture(image, Gdiplus::WrapModeTile, &texture) ==
                            Gdiplus::Ok &&
                        texture) {
                        GpBrushHandle owned(texture);
                        gp::GdipFillRectangleI(g, texture, 0, 0, cw, ch);
                    }
                } else {
                    RECT dest{0, 0, cw, ch};
                    if (placement == 1)
                        dest = RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
                    if (placement == 3) {
                        dest = FitRect(cw, ch, static_cast<int>(w), static_cast<int>(h));
                    }
                    gp::GdipSetInterpolationMode(g, Gdiplus::InterpolationModeNearestNeighbor);
                    gp::GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
                    gp::GdipDrawImageRectRect(g, image, static_cast<Gdiplus::REAL>(dest.left),
                                              static_cast<Gdiplus::REAL>(dest.top),
                                              static_cast<Gdiplus::REAL>(dest.right - dest.left),
                                              static_cast<Gdiplus::REAL>(dest.bottom - dest.top), 0,
                                              0, static_cast<Gdiplus::REAL>(w),
                                              static_cast<Gdiplus::REAL>(h), Gdiplus::UnitPixel,
                                              nullptr, nullptr, nullptr);
                }
            }
            graphics.Reset();  // flushes the drawing before the copy below
        }
        BitBlt(dc, client.left, client.top, cw, ch, canvas.Get(), 0, 0, SRCCOPY);
    }
    return true;
}

FormWindow::FormWindow()
    : WindowObject(&FormWindow::FormMessage, nullptr, &FormWindow::FormCleanup) {}

void FormWindow::FormCleanup(WindowRecord* r) {
    FreeFormResources(r, r->Handle());
    DetachRecord(r);
}

LRESULT FormWindow::FormMessage(WindowRecord* r, HWND hwnd, UINT message, WPARAM wParam,
                                LPARAM lParam, int* handled) {
    for (const FormHandlerEntry& entry : kFormHandlers) {
        if (entry.message != message) continue;
        if (std::optional<LRESULT> result = entry.handler(r, hwnd, wParam, lParam, handled)) {
            return *result;
        }
        return ControlDispatch(r, hwnd, message, wParam, lParam, handled);
    }
    if (g_trayHook) {
        const auto taskbarCreated = static_cast<UINT>(r->Bag().GetPtr("TaskbarCreatedMsg"));
        if (message == kTrayCallbackMessage || (taskbarCreated != 0 && message == taskbarCreated)) {
            LRESULT result = g_trayHook(r, hwnd, message, wParam, lParam, handled);
            if (*handled) return result;
        }
    }
    return ControlDispatch(r, hwnd, message, wParam, lParam, handled);
}

bool FormWindow::CreateTopLevelWith(const TopLevelOptions& options, bool taskbarFlag) {
    if (!record_ || GetHandle()) return false;
    const WideText className =
        options.className.empty() ? WideText(u"koWindow") : options.className;
    if (!RegisterToolkitClass(className, true)) return false;

    POINT pos = options.position.value_or(POINT{50, 50});
    const SIZE size = options.size.value_or(SIZE{380, 250});
    DWORD style = options.style.value_or(kDefaultTopLevelStyle);
    DWORD exStyle = 0;

    HWND owner = options.owner;
    WindowHandle hiddenOwner;
    if (!owner && taskbarFlag) {
        hiddenOwner.Reset(CreateWindowExW(0, WinStr(className), L"koShowTaskbar", WS_POPUP, 0, 0,
                                          250, 110, nullptr, nullptr, ToolkitInstance(), nullptr));
        owner = hiddenOwner.Get();
    }

    if (HasProperty("StartPosition")) {
        const auto where = GetProperty("StartPosition");
        RECT area{};
        if (where == kStartCenterOwner && owner && IsWindow(owner) && IsWindowVisible(owner)) {
            GetWindowRect(owner, &area);
            CenterRect(area, size.cx, size.cy, pos);
        } else if (where == kStartCenterScreen || where == kStartCenterOwner) {
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
            CenterRect(area, size.cx, size.cy, pos);
        }
    }
    if (HasProperty("Border")) ApplyBorder(static_cast<int>(GetProperty("Border")), style, exStyle);
    style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;

    if (!Create(owner, options.caption, pos.x, pos.y, size.cx, size.cy, 0, style, exStyle,
                className)) {
        return false;
    }
    if (hiddenOwner) SetProperty("hTaskbarOwner", reinterpret_cast<INT_PTR>(hiddenOwner.Release()));
    if (HWND first = GetNextDlgTabItem(GetHandle(), nullptr, FALSE)) SetFocus(first);
    return true;
}

bool FormWindow::CreateTopLevel(const TopLevelOptions& options) {
    return CreateTopLevelWith(options, options.taskbarFlag);
}

INT_PTR FormWindow::ShowModal(const TopLevelOptions& options) {
    HWND callerFocus = GetFocus();
    if (!CreateTopLevelWith(options, GetProperty("ShowTaskbar") != 0)) return 0;
    const HWND hwnd = GetHandle();
    const HWND owner = options.owner;
    bool disabledOwner = false;
    if (owner && IsWindow(owner) && IsWindowVisible(owner) && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        disabledOwner = true;
    }
    bool quitSeen = false;
    WPARAM quitCode = 0;
    MSG msg{};
    while (IsWindow(hwnd)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // A quit request belongs to the outer loop; keep it for when this one ends.
            quitSeen = true;
            quitCode = msg.wParam;
            continue;
        }
        ProcessLoopMessage(msg, false);
    }
    // The window's close handling normally enables the owner; a window destroyed without
    // WM_CLOSE must not leave it disabled for good.
    if (disabledOwner && IsWindow(owner) && !IsWindowEnabled(owner)) EnableWindow(owner, TRUE);
    if (callerFocus && IsWindow(callerFocus) && IsWindowEnabled(callerFocus)) {
        SetFocus(callerFocus);
    } else if (owner && IsWindow(owner)) {
        SetFocus(owner);
    }
    if (quitSeen) PostQuitMessage(static_cast<int>(quitCode));
    return DialogResult();
}

bool FormWindow::CreatePanel(HWND parent, std::optional<POINT> position, std::optional<SIZE> size,
                             std::optional<int> id, std::optional<DWORD> style,
                             std::optional<DWORD> exStyle) {
    if (!record_ || GetHandle() || !parent || !IsWindow(parent)) return false;
    const WideText className = u"koPanel";
    if (!RegisterToolkitClass(className, false)) return false;
    DWORD s = style.value_or(WS_VISIBLE) | WS_CHILD | WS_CLIPCHILDREN;
    DWORD ex = exStyle.value_or(0) | WS_EX_CONTROLPARENT;
    if (HasProperty("Border")) ApplyBorder(static_cast<int>(GetProperty("Border")), s, ex);
    const POINT pos = position.value_or(POINT{0, 0});
    const SIZE sz = size.value_or(SIZE{200, 200});
    return Create(parent, Text(), pos.x, pos.y, sz.cx, sz.cy, id.value_or(NextControlId()), s, ex,
                  className);
}

bool FormWindow::SetBackImage(SharedImage image) {
    if (!record_) return false;
    DeleteBagObject<SharedImage>(record_, "pBackImage");
    if (image && !image->IsEmpty()) {
        EnsureBagObject<SharedImage>(record_, "pBackImage") = std::move(image);
    }
    if (HWND h = GetHandle()) InvalidateRect(h, nullptr, TRUE);
    return true;
}

bool FormWindow::SetBackBitmap(HBITMAP bitmap) {
    if (!bitmap) return false;
    auto image = std::make_shared<BitmapObject>(BitmapObject::FromBitmapHandle(bitmap));
    if (image->IsEmpty()) return false;
    return SetBackImage(std::move(image));
}

SharedImage FormWindow::BackImage() const {
    if (!record_) return {};
    SharedImage* slot = BackImageSlot(record_->Bag());
    return slot ? *slot : SharedImage{};
}

void FormWindow::ClearBackImage() {
    SetBackImage(nullptr);
}

void FormWindow::SetBackColor(COLORREF color) {
    SetProperty("BackColor", static_cast<INT_PTR>(color));
    if (HWND h = GetHandle()) InvalidateRect(h, nullptr, TRUE);
}

void FormWindow::SetShowImageType(int placement) {
    SetProperty("ShowImageType", placement);
    if (HWND h = GetHandle()) InvalidateRect(h, nullptr, TRUE);
}

void FormWindow::SetDefaultButton(const WindowObject& button) {
    if (!record_) return;
    ReleaseRecordIn(record_->Bag(), "DefaultButton");
    if (WindowRecord* b = button.Record()) {
        b->AddRef();
        SetProperty("DefaultButton", reinterpret_cast<INT_PTR>(b));
    }
}

void FormWindow::SetCancelButton(const WindowObject& button) {
    if (!record_) return;
    ReleaseRecordIn(record_->Bag(), "CancelButton");
    if (WindowRecord* b = button.Record()) {
        b->AddRef();
        SetProperty("CancelButton", reinterpret_cast<INT_PTR>(b));
    }
}

bool FormWindow::SetIcon(HICON icon, bool big) {
    HWND h = GetHandle();
    if (!h) return false;
    SendMessageW(h, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return true;
}

bool FormWindow::SetAcceleratorTable(HACCEL table) {
    if (!record_) return false;
    PutBagHandle(record_->Bag(), "hAccelTable", AccelTableHandle(table));
    SetProperty("pAccelTable", reinterpret_cast<INT_PTR>(table));
    return true;
}

bool FormWindow::AddHostedWindow(HWND hosted) {
    if (!record_ || !hosted) return false;
    EnsureBagObject<std::vector<HWND>>(record_, "ATLWindows").push_back(hosted);
    return true;
}
