#pragma once
// Dots per inch of a window and the sizes that follow from it. Layout figures are given at 96 dpi
// (100 %); a window on a monitor of another scale multiplies each by its own dpi / 96.
#include <windows.h>

#include "draw/gdi_handles.h"

constexpr UINT kBaseDpi = 96;

// The window's dpi (its monitor's under per-monitor awareness); the screen's when the system
// cannot tell per window, 96 when nothing answers.
UINT WindowDpi(HWND window);
// The dpi a new top-level window starts with, before it exists.
UINT SystemDpi();

// A figure given at 96 dpi, at dpi; fractions are cut toward zero.
constexpr int ScaleForDpi(int value, UINT dpi) {
    return static_cast<int>(static_cast<long long>(value) * static_cast<int>(dpi) /
                            static_cast<int>(kBaseDpi));
}

// The controls' font (the face of the default GUI font, 8 points) drawn at dpi.
FontHandle ControlFontForDpi(UINT dpi);
