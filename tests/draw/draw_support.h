#pragma once
// Pictures and measurements shared by the drawing tests: encoded test pictures made on the spot,
// a hand-built animated GIF, a 32-bit canvas to draw on and read back, and resource counters.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "draw/gdi_handles.h"
#include "draw/image_object.h"
#include "text/text_types.h"

namespace drawtest {

inline constexpr ArgbColor kRed = 0xFFFF0000;
inline constexpr ArgbColor kGreen = 0xFF00FF00;
inline constexpr ArgbColor kBlue = 0xFF0000FF;
inline constexpr ArgbColor kWhite = 0xFFFFFFFF;

// A width x height bitmap whose left half is `left` and right half `right`.
BitmapObject TwoColourBitmap(int width, int height, ArgbColor left, ArgbColor right);

// The same picture encoded by the platform's encoder for `format` (kImageFormatPng, ...).
ByteBuffer EncodedTwoColour(const char* format, int width, int height, ArgbColor left = kRed,
                            ArgbColor right = kBlue);

// An animated GIF of width x height whose frame i is filled with colours[i] and has delays[i]
// (hundredths of a second) in its graphic-control block; a NETSCAPE loop block with `loops`.
// colours are 0xRRGGBB and there are at most 4 distinct ones.
ByteBuffer AnimatedGif(int width, int height, const std::vector<std::uint32_t>& colours,
                       const std::vector<std::uint16_t>& delays, int loops = 0);

// A top-down 32-bit DIB section selected into a memory DC, filled with `fill` (0xRRGGBB).
class Canvas {
  public:
    Canvas(int width, int height, COLORREF fill = RGB(255, 255, 255));
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC Dc() const { return dc_.Get(); }
    // 0xRRGGBB of the pixel (alpha dropped).
    std::uint32_t Pixel(int x, int y) const;

  private:
    int width_;
    int height_;
    MemoryDc dc_;
    BitmapHandle bitmap_;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// 0xRRGGBB from 0xAARRGGBB.
inline std::uint32_t Rgb(ArgbColor argb) {
    return argb & 0x00FFFFFF;
}

// Resource use of this process, for leak checks: GDI objects, user objects (icons, cursors,
// windows) and committed private bytes.
struct Usage {
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    std::size_t privateBytes = 0;
};
Usage CurrentUsage();

// A file under the temporary folder that is deleted when the object goes.
class TempFile {
  public:
    explicit TempFile(const wchar_t* suffix);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const WideText& Path() const { return path_; }
    bool Write(const ByteBuffer& bytes) const;

  private:
    WideText path_;
};

}  // namespace drawtest
