#pragma once
// Pictures of the program's window for the test artefacts and for pixel checks.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// Top-down rows of RGB triples.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Copies a screen rectangle (what Xvfb shows), or asks the window to paint itself into a bitmap
// (PrintWindow) when fromWindow is set, which also works for a covered window.
bool CaptureScreen(const RECT& area, Pixels& out);
bool CaptureWindow(HWND window, Pixels& out);

// The format follows the extension: .bmp gives a 24-bit BMP, anything else a PNG.
bool SavePicture(const Pixels& pixels, const std::wstring& path);

// PNG bytes with stored (uncompressed) deflate blocks: any reader decodes them.
std::string EncodePng(const Pixels& pixels);
std::string EncodeBmp(const Pixels& pixels);

}  // namespace driver
