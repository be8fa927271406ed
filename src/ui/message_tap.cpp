#include "ui/message_tap.h"

#include <commctrl.h>

MessageTap::~MessageTap() {
    Detach();
}

bool MessageTap::Attach(HWND window, Handler handler) {
    Detach();
    if (window == nullptr || !handler) return false;
    handler_ = std::move(handler);
    if (!SetWindowSubclass(window, &MessageTap::Proc, 1, reinterpret_cast<DWORD_PTR>(this))) {
        handler_ = nullptr;
        return false;
    }
    window_ = window;
    return true;
}

void MessageTap::Detach() {
    if (window_ != nullptr) RemoveWindowSubclass(window_, &MessageTap::Proc, 1);
    window_ = nullptr;
    handler_ = nullptr;
}

LRESULT CALLBACK MessageTap::Proc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                  DWORD_PTR data) {
    auto* tap = reinterpret_cast<MessageTap*>(data);
    if (message == WM_NCDESTROY) {
        // The window is going: nothing of ours may be called for it afterwards.
        RemoveWindowSubclass(window, &MessageTap::Proc, 1);
        tap->window_ = nullptr;
        return DefSubclassProc(window, message, w, l);
    }
    LRESULT result = 0;
    if (tap->handler_ && tap->handler_(message, w, l, result)) return result;
    return DefSubclassProc(window, message, w, l);
}
