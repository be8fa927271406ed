// Pictalon: downloads a Weibo user's photo albums, whole, into save folder\nick\album\.
#include <windows.h>
#include <ole2.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The folder chooser and the shell's folder window need OLE on the window thread.
    OleInitialize(nullptr);
    static MainWindow window;
    const int code = window.Run(instance);
    // End here, without waiting for flows that may sit in a network call: they hold no lock
    // and no half-written file under a real name, and they have been told to stop.
    ExitProcess(static_cast<UINT>(code));
}
