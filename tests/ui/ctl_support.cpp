#include "ctl_support.h"

#include "draw/gdiplus_session.h"

namespace ctl {

namespace {

void Put16(ByteBuffer& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// LZW data for `count` pixels of one colour index with 2-bit minimum code size. A clear code
// before every two pixels keeps every code 3 bits wide, so no table bookkeeping is needed.
ByteBuffer LzwPixels(unsigned index, int count) {
    constexpr unsigned kClear = 4;
    constexpr unsigned kEnd = 5;
    std::vector<unsigned> codes;
    for (int i = 0; i < count; i += 2) {
        codes.push_back(kClear);
        codes.push_back(index);
        if (i + 1 < count) codes.push_back(index);
    }
    codes.push_back(kEnd);
    ByteBuffer packed;
    unsigned accumulator = 0;
    int bits = 0;
    for (unsigned code : codes) {
        accumulator |= code << bits;
        bits += 3;
        while (bits >= 8) {
            packed.push_back(static_cast<char>(accumulator & 0xFF));
            accumulator >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) packed.push_back(static_cast<char>(accumulator & 0xFF));
    ByteBuffer blocks;
    blocks.push_back(2);  // minimum code size
    for (size_t at = 0; at < packed.size(); at += 255) {
        const size_t n = packed.size() - at < 255 ? packed.size() - at : 255;
        blocks.push_back(static_cast<char>(n));
        blocks.append(packed, at, n);
    }
    blocks.push_back(0);
    return blocks;
}

}  // namespace

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
    constexpr int kSide = 8;
    ByteBuffer gif = "GIF89a";
    Put16(gif, kSide);
    Put16(gif, kSide);
    gif.push_back(static_cast<char>(0x81));  // global table of 4 colours
    gif.push_back(0);
    gif.push_back(0);
    const unsigned char palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    gif.append(reinterpret_cast<const char*>(palette), sizeof(palette));
    // Loop forever.
    gif.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (size_t frame = 0; frame < delays.size(); ++frame) {
        gif.append("\x21\xF9\x04\x04", 4);  // graphic control: keep the frame
        Put16(gif, delays[frame]);
        gif.push_back(0);
        gif.push_back(0);
        gif.push_back(0x2C);
        Put16(gif, 0);
        Put16(gif, 0);
        Put16(gif, kSide);
        Put16(gif, kSide);
        gif.push_back(0);
        gif += LzwPixels(static_cast<unsigned>(frame % 3), kSide * kSide);
    }
    gif.push_back(0x3B);
    return gif;
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
