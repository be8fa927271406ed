#include "ctl_support.h"

#include "common/gif_bytes.h"
#include "common/window_thread_check.h"

#include "draw/gdiplus_session.h"

namespace ctl {

FormWindow& SharedForm() {
    static FormWindow* form = [] {
        StartToolkit();
        auto* made = new FormWindow;
        TopLevelOptions options;
        options.caption = "ctl";
        options.size = SIZE{640, 480};
        options.position = POINT{20, 20};
        options.style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        made->CreateTopLevel(options);
        PumpFor(50);
        return made;
    }();
    return *form;
}

HostWindow::~HostWindow() {
    const HWND host = form.GetHandle();
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(host, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    for (HWND child : children) ::DestroyWindow(child);
    if (::IsIconic(host)) ::ShowWindow(host, SW_RESTORE);
    PumpFor(5);
}

ByteBuffer MakeGif(const std::vector<std::uint16_t>& delays) {
    // 8 x 8, frames red, green, blue in turn, looping for ever.
    const std::uint32_t cycle[] = {0xFF0000, 0x00FF00, 0x0000FF};
    std::vector<std::uint32_t> colours;
    for (size_t frame = 0; frame < delays.size(); ++frame) colours.push_back(cycle[frame % 3]);
    return gifbytes::AnimatedGif(8, 8, colours, delays, 0);
}

ByteBuffer MakePng(int width, int height, int seed) {
    static GdiplusSession session;
    BitmapObject bitmap = BitmapObject::FromPixels(width, height);
    const int cx = width / 2 + (seed % 3 - 1) * width / 6;
    const int cy = height / 2;
    const int radius2 = (width < height ? width : height) * (width < height ? width : height) / 9;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned channel[3] = {static_cast<unsigned>(x * 255 / (width > 1 ? width - 1 : 1)),
                                   static_cast<unsigned>(y * 255 / (height > 1 ? height - 1 : 1)),
                                   static_cast<unsigned>(90 + seed * 30)};
            const int dx = x - cx;
            const int dy = y - cy;
            if (dx * dx + dy * dy < radius2) {
                channel[2] = 255;
                channel[0] /= 3;
            }
            // Rotating the channels gives each seed its own colours.
            const unsigned r = channel[seed % 3];
            const unsigned g = channel[(seed + 1) % 3];
            const unsigned b = channel[(seed + 2) % 3];
            bitmap.SetPixel(x, y,
                            0xFF000000u | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF));
        }
    }
    return bitmap.SaveToBytes(kImageFormatPng);
}

ByteBuffer MakeSolidPng(int width, int height, ArgbColor colour) {
    static GdiplusSession session;
    BitmapObject bitmap = BitmapObject::FromPixels(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, colour);
    }
    return bitmap.SaveToBytes(kImageFormatPng);
}

}  // namespace ctl
