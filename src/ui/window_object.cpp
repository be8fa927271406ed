#include "ui/window_object.h"

#include <vector>

#include "text/text_helpers.h"
#include "ui/app_host.h"
#include "ui/dispatch.h"
#include "ui/window_registry.h"
#include "ui/window_thread.h"

namespace {

constexpr DWORD kBorderExBits = WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE;

bool OwnedByThisProcess(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid == GetCurrentProcessId();
}

}  // namespace

int ModifierFlags() {
    int flags = 0;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000) flags |= 1;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) flags |= 2;
    if (GetAsyncKeyState(VK_MENU) & 0x8000) flags |= 4;
    return flags;
}

WindowObject::WindowObject() : record_(WindowRecord::Create()) {}

WindowObject::WindowObject(RecordMessageFn message, RecordMessageFn reflected, RecordRefFn cleanup)
    : record_(WindowRecord::Create(message, reflected, cleanup)) {}

WindowObject::WindowObject(WindowRecord* record, Share how) : record_(record) {
    if (record_ && how == Share::AddRef) record_->AddRef();
}

WindowObject::WindowObject(const WindowObject& o) : record_(o.record_) {
    if (record_) record_->AddRef();
}

WindowObject::WindowObject(WindowObject&& o) noexcept
    : record_(std::exchange(o.record_, nullptr)) {}

WindowObject& WindowObject::operator=(const WindowObject& o) {
    if (this != &o) {
        if (o.record_) o.record_->AddRef();
        ReleaseRecord();
        record_ = o.record_;
    }
    return *this;
}

WindowObject& WindowObject::operator=(WindowObject&& o) noexcept {
    if (this != &o) {
        ReleaseRecord();
        record_ = std::exchange(o.record_, nullptr);
    }
    return *this;
}

WindowObject::~WindowObject() {
    ReleaseRecord();
}

void WindowObject::ReleaseRecord() {
    if (WindowRecord* r = std::exchange(record_, nullptr)) r->Release();
}

WindowObject WindowObject::FromHandle(HWND hwnd) {
    return WindowObject(WindowRegistry::Find(hwnd), Share::AddRef);
}

HWND WindowObject::GetHandle() const {
    return record_ ? record_->Handle() : nullptr;
}

bool WindowObject::IsWindowAlive() const {
    HWND h = GetHandle();
    return h && IsWindow(h);
}

void WindowObject::SetProperty(std::string_view name, INT_PTR value) {
    if (record_) record_->Bag().Set(name, BagValue::FromPointer(value));
}

INT_PTR WindowObject::GetProperty(std::string_view name) const {
    return record_ ? record_->Bag().GetPtr(name) : 0;
}

bool WindowObject::HasProperty(std::string_view name) const {
    return record_ && record_->Bag().Has(name);
}

void WindowObject::RemoveProperty(std::string_view name) {
    if (record_) record_->Bag().Remove(name);
}

void WindowObject::HoldChild(const WindowObject& child) {
    if (!record_ || !child.record_ || child.record_ == record_) return;
    auto& list = EnsureBagObject<std::vector<WindowRecord*>>(record_, "Controls");
    child.record_->AddRef();
    list.push_back(child.record_);
}

WindowSize WindowObject::GetSize() const {
    RECT rc{};
    HWND h = GetHandle();
    if (!h || !GetWindowRect(h, &rc)) return {};
    return {rc.right - rc.left, rc.bottom - rc.top};
}

bool WindowObject::Disabled() const {
    HWND h = GetHandle();
    return h && !IsWindowEnabled(h);
}

bool WindowObject::Disabled(bool flag) {
    HWND h = GetHandle();
    CheckWindowThread(h, "Disabled");
    if (!h || !IsWindow(h)) return false;
    EnableWindow(h, flag ? FALSE : TRUE);
    return true;
}

bool WindowObject::AddStyle(LONG_PTR bits) {
    HWND h = GetHandle();
    CheckWindowThread(h, "AddStyle");
    if (!h || !IsWindow(h)) return false;
    LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
    SetWindowLongPtrW(h, GWL_STYLE, style | bits);
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    return true;
}

bool WindowObject::SetText(const Text& text) {
    return SetTextW(AnsiToWide(text));
}

bool WindowObject::SetTextW(const WideText& text) {
    HWND h = GetHandle();
    CheckWindowThread(h, "SetText");
    return h && SetWindowTextW(h, WinStr(text)) != FALSE;
}

WideText WindowObject::GetTextW() const {
    HWND h = GetHandle();
    CheckWindowThread(h, "GetText");
    if (!h) return {};
    int n = GetWindowTextLengthW(h);
    if (n <= 0) return {};
    WideText w(static_cast<size_t>(n) + 1, u'\0');
    int got = GetWindowTextW(h, WinStr(w), n + 1);
    w.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return w;
}

Text WindowObject::GetText() const {
    return WideToAnsi(GetTextW());
}

bool WindowObject::Show(int command) {
    HWND h = GetHandle();
    CheckWindowThread(h, "Show");
    if (!h || !IsWindow(h)) return false;
    ShowWindow(h, command);
    return true;
}

bool WindowObject::Destroy() {
    HWND h = GetHandle();
    CheckWindowThread(h, "Destroy");
    return h && DestroyWindow(h) != FALSE;
}

bool WindowObject::Create(HWND parent, const Text& title, int x, int y, int width, int height,
                          INT_PTR menuOrId, DWORD style, DWORD exStyle, const WideText& className) {
    if (!record_ || GetHandle()) return false;
    WideText wideTitle = AnsiToWide(title);
    // Keep the record alive through creation even if a creation handler drops its object.
    WindowObject keep(*this);
    HWND h =
        CreateWindowExW(exStyle, WinStr(className), WinStr(wideTitle), style, x, y, width, height,
                        parent, reinterpret_cast<HMENU>(menuOrId), ToolkitInstance(), record_);
    if (!h) return false;
    // Windows of the toolkit's own classes bound themselves at WM_NCCREATE; others (common
    // controls) are subclassed now.
    if (WindowRegistry::Find(h) == record_) return true;
    return Attach(h);
}

bool WindowObject::Attach(HWND hwnd) {
    if (!record_ || !hwnd || !IsWindow(hwnd) || !OwnedByThisProcess(hwnd)) return false;
    if (WindowRecord* existing = WindowRegistry::Find(hwnd)) {
        if (existing != record_) {
            existing->AddRef();
            ReleaseRecord();
            record_ = existing;
        }
        return true;
    }
    if (GetHandle()) {
        // Bound elsewhere: end that binding first.
        if (record_->RefCount() == 1) {
            record_->callbacks.cleanup(record_);
        } else {
            RecordCallbackTable table = record_->callbacks;
            WindowRecord* fresh =
                WindowRecord::Create(table.message, table.reflected, table.cleanup);
            if (!fresh) return false;
            ReleaseRecord();
            record_ = fresh;
        }
    }
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (current != &SharedWindowProc) {
        auto previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SharedWindowProc)));
        if (!previous) return false;
        record_->Bag().Set("oldWndProp",
                           BagValue::FromPointer(reinterpret_cast<INT_PTR>(previous)));
    }
    record_->Bag().Set("hWnd", BagValue::FromPointer(reinterpret_cast<INT_PTR>(hwnd)));
    WindowRegistry::Insert(hwnd, record_);
    return true;
}

bool WindowObject::Detach() {
    if (!GetHandle()) return false;
    DetachRecord(record_);
    return true;
}

void WindowObject::ApplyBorder(int kind, DWORD& style, DWORD& exStyle) {
    if (kind < 0 || kind > 5) return;
    exStyle &= ~kBorderExBits;
    style &= ~static_cast<DWORD>(WS_BORDER);
    switch (kind) {
        case 1:
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case 2:
            exStyle |= WS_EX_WINDOWEDGE;
            break;
        case 3:
            exStyle |= WS_EX_STATICEDGE;
            break;
        case 4:
            exStyle |= WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE;
            break;
        case 5:
            style |= WS_BORDER;
            break;
        default:
            break;
    }
}

bool WindowObject::SetBorder(int kind) {
    if (!record_ || kind < 0 || kind > 5) return false;
    SetProperty("Border", kind);
    HWND h = GetHandle();
    if (!h || !IsWindow(h)) return true;
    auto style = static_cast<DWORD>(GetWindowLongPtrW(h, GWL_STYLE));
    auto ex = static_cast<DWORD>(GetWindowLongPtrW(h, GWL_EXSTYLE));
    ApplyBorder(kind, style, ex);
    SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(style));
    SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(ex));
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    return true;
}

bool WindowObject::SetPropW(const WideText& name, HANDLE value) {
    HWND h = GetHandle();
    return h && ::SetPropW(h, WinStr(name), value) != FALSE;
}

HANDLE WindowObject::GetPropW(const WideText& name) const {
    HWND h = GetHandle();
    return h ? ::GetPropW(h, WinStr(name)) : nullptr;
}

HANDLE WindowObject::RemovePropW(const WideText& name) {
    HWND h = GetHandle();
    return h ? ::RemovePropW(h, WinStr(name)) : nullptr;
}
