// Holds Wine's desktop for the whole of a sandbox. Started once by scripts/sandbox, away from any
// caller's pipes, it makes Wine start the desktop process (explorer) with quiet output and keeps
// it from ending between programs. Otherwise the first window of each test program starts the
// desktop process with that program's output pipes, which the test runner then waits on; and a
// desktop process started as its starter ends was seen to hang in its start-up for good, leaving
// every later window waiting.
#include <windows.h>

#include <cstdio>

int main() {
    if (GetDesktopWindow() == nullptr) return 1;
    // One window of its own, so the desktop counts this process as a user for as long as it lives.
    HWND window = CreateWindowExW(0, L"STATIC", L"desktop holder", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
