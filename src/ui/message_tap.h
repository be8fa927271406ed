#pragma once
// A look at a window's messages before the toolkit dispatches them, for the few messages the
// toolkit has no event for (dpi changes, registered shell messages). One tap per window and
// owner; it lets go by itself when the window is destroyed.
#include <windows.h>

#include <functional>

class MessageTap {
  public:
    // Returns true when it handled the message and set the result; false passes it on.
    using Handler = std::function<bool(UINT message, WPARAM, LPARAM, LRESULT& result)>;

    MessageTap() = default;
    MessageTap(const MessageTap&) = delete;
    MessageTap& operator=(const MessageTap&) = delete;
    ~MessageTap();

    // On the window's thread. False when the window cannot be tapped.
    bool Attach(HWND window, Handler handler);
    void Detach();

  private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND window_ = nullptr;
    Handler handler_;
};
