#include "threads/message_pump.h"

#include <windows.h>

int PumpPendingMessages() {
    int dispatched = 0;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
        // Taken with PeekMessageW rather than GetMessageW so this can never block, even if the
        // message seen a moment ago was already handed elsewhere.
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) break;
        if (msg.message == WM_QUIT) {
            // A quit arrived between the two looks: put it back for the real loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        ++dispatched;
    }
    return dispatched;
}
