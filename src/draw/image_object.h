#pragma once
// Decoded pictures over the GDI+ flat interface: loading from bytes and files, re-encoding,
// frames of animated pictures, thumbnails, and conversion to GDI bitmaps and icons.
//
// GDI+ must be running while any image exists (see draw/gdiplus_session.h).
// An ImageObject owns its GpImage and, when loaded from bytes, the stream GDI+ decodes from
// lazily; both are released together. Objects are movable, not copyable: Clone() makes a deep
// copy, and a picture shown in several places is shared through SharedImage.
// Image objects are used on one thread at a time.
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "draw/gdi_handles.h"
#include "draw/memory_stream.h"
#include "text/text_types.h"

namespace Gdiplus {
class GpImage;
class GpBitmap;
class GpGraphics;
struct BitmapData;
}  // namespace Gdiplus

// The owner of a GDI+ image. Its Close lives beside the GDI+ calls, so this header needs no
// gdiplus.h.
struct GpImageTraits {
    using Handle = Gdiplus::GpImage*;
    static bool IsValid(Handle p) { return p != nullptr; }
    static bool Close(Handle p);
};
using GpImageHandle = Owned<GpImageTraits>;

// A colour as GDI+ takes it: 0xAARRGGBB.
using ArgbColor = DWORD;

// Pixel formats (GDI+ PixelFormat numbers) that callers commonly need.
inline constexpr int kPixelFormat24bppRGB = 0x00021808;
inline constexpr int kPixelFormat32bppRGB = 0x00022009;
inline constexpr int kPixelFormat32bppARGB = 0x0026200A;
inline constexpr int kPixelFormat32bppPARGB = 0x000E200B;

// Format identifiers in their registry text form (upper case, with braces).
inline constexpr char kImageFormatBmp[] = "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr char kImageFormatJpeg[] = "{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr char kImageFormatPng[] = "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr char kImageFormatGif[] = "{B96B3CB0-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr char kImageFormatTiff[] = "{B96B3CB1-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr char kImageFormatIcon[] = "{B96B3CB5-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr char kImageFormatMemoryBmp[] = "{B96B3CAA-0728-11D3-9D7B-0000F81EF32E}";

// Frame dimensions.
inline constexpr char kFrameDimensionTime[] = "{6AEDBD6D-3FB5-418A-83A6-7F45229DC872}";
inline constexpr char kFrameDimensionPage[] = "{7462DC86-6180-4C7E-8E3F-EE7333A7A483}";

struct ImageDimension {
    float width = 0;
    float height = 0;
};

struct ImageBounds {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

class ImageObject {
  public:
    ImageObject() = default;
    // Takes ownership of an image made elsewhere (no stream).
    explicit ImageObject(Gdiplus::GpImage* image);
    virtual ~ImageObject();
    ImageObject(const ImageObject&) = delete;
    ImageObject& operator=(const ImageObject&) = delete;
    ImageObject(ImageObject&& other) noexcept;
    ImageObject& operator=(ImageObject&& other) noexcept;

    Gdiplus::GpImage* Handle() const { return image_.Get(); }
    // The stream the image decodes from; null when it came from a file or was made in memory.
    IStream* Stream() const { return stream_.Get(); }
    bool IsEmpty() const { return !image_; }

    // Disposes what was held, then owns `image` (and `stream`, when the image reads from it).
    void Attach(Gdiplus::GpImage* image, StreamRef stream = {});
    // Releases the stream and disposes the image; idempotent.
    void Dispose();

    // Every loader disposes what the object held first; on failure the object stays empty.
    bool LoadFromFile(const WideText& path);
    // The path in code page 936.
    bool LoadFromFileText(const Text& path);
    bool LoadFromBytes(const ByteBuffer& bytes);

    // A deep copy (GdipCloneImage); empty when this is empty or the copy fails.
    ImageObject Clone() const;

    // The raw format's GUID text (e.g. kImageFormatPng); empty when empty.
    Text GetFormat() const;
    // The GDI+ PixelFormat number; 0 when empty.
    int GetPixelFormat() const;
    // Re-encodes through the encoder for `format` (a GUID text as GuidText makes it; empty = the
    // image's own raw format). Empty bytes when empty or when no encoder matches.
    ByteBuffer SaveToBytes(const Text& format = Text()) const;

    ImageDimension GetDimension() const;
    ImageBounds GetBounds() const;
    UINT GetWidth() const;
    UINT GetHeight() const;
    float GetHorizontalResolution() const;
    float GetVerticalResolution() const;

    // Scales to exactly width x height (no aspect correction); on success `target` is disposed
    // and receives the thumbnail (`target` may be this object).
    bool GetThumbnail(UINT width, UINT height, ImageObject& target) const;

    // Frames along a dimension GUID text (kFrameDimensionTime for animated GIFs); 0 on failure.
    UINT GetFrameCount(const Text& dimension = kFrameDimensionTime) const;
    bool SelectFrame(const Text& dimension, UINT index);
    bool SelectFrame(UINT index) { return SelectFrame(kFrameDimensionTime, index); }
    // The frame delays of an animated picture in hundredths of a second, one per entry of its
    // frame-delay property (which may have fewer entries than frames); empty when absent.
    std::vector<std::uint32_t> GetFrameDelays() const;
    // The loop count of an animated picture (0 = forever); -1 when it has none.
    int GetLoopCount() const;

    // A GDI bitmap of the current frame drawn over `background` (0xAARRGGBB); empty on failure.
    BitmapHandle ToBitmapHandle(ArgbColor background = 0) const;
    // An icon of the current frame at the image's own size; empty on failure.
    IconHandle ToIcon() const;

    // Copies (part of) the current frame to `dc` with BitBlt. No scaling: width and height give
    // the copied area.
    bool DrawTo(HDC dc, int x, int y, int width, int height, int sourceX = 0, int sourceY = 0,
                DWORD rasterOp = SRCCOPY, ArgbColor background = 0) const;
    // The same with AlphaBlend; the rectangles are left, top, right, bottom and may scale.
    bool DrawAlphaTo(HDC dc, const RECT& destination, const RECT& source,
                     BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}) const;

  private:
    GpImageHandle image_;
    StreamRef stream_;
};

// A picture shown in more than one place (a picture box and its player, for instance).
using SharedImage = std::shared_ptr<ImageObject>;

// A raster image with the constructors and pixel access of GDI+ bitmaps. The factories return an
// empty object on failure.
class BitmapObject : public ImageObject {
  public:
    BitmapObject() = default;
    explicit BitmapObject(Gdiplus::GpBitmap* bitmap);

    // A new bitmap of the given size and pixel format; with `pixels` it wraps (does not copy)
    // the caller's buffer, which must outlive the bitmap.
    static BitmapObject FromPixels(int width, int height, int pixelFormat = kPixelFormat32bppARGB,
                                   int stride = 0, BYTE* pixels = nullptr);
    static BitmapObject FromFile(const WideText& path, bool useIcm = false);
    static BitmapObject FromFileText(const Text& path, bool useIcm = false);
    // Decodes from a stream; the bitmap keeps a reference to it for its whole life.
    static BitmapObject FromStream(IStream* stream, bool useIcm = false);
    static BitmapObject FromBytes(const ByteBuffer& bytes);
    static BitmapObject FromGraphics(int width, int height, Gdiplus::GpGraphics* graphics);
    static BitmapObject FromDib(const BITMAPINFO* info, void* bits);
    static BitmapObject FromBitmapHandle(HBITMAP bitmap, HPALETTE palette = nullptr);
    // Keeps the alpha channel of a 32-bit bitmap, which FromBitmapHandle drops.
    static BitmapObject FromBitmapHandleWithAlpha(HBITMAP bitmap);
    static BitmapObject FromIcon(HICON icon);
    // Keeps the translucency of 32-bit icons.
    static BitmapObject FromIconWithAlpha(HICON icon);
    // A bitmap resource (RT_BITMAP) by name or MAKEINTRESOURCE id.
    static BitmapObject FromResource(HINSTANCE module, const wchar_t* name);
    // An encoded picture (PNG, JPEG, ...) stored as a resource of `type` (e.g. RT_RCDATA).
    static BitmapObject FromResourceData(HINSTANCE module, const wchar_t* name,
                                         const wchar_t* type);

    Gdiplus::GpBitmap* GdipBitmap() const;

    BitmapObject CloneArea(float x, float y, float width, float height,
                           int pixelFormat = kPixelFormat32bppARGB) const;
    // `area` null = the whole bitmap. Flags: ImageLockMode bits (1 read, 2 write).
    bool LockBits(const RECT* area, UINT flags, int pixelFormat, Gdiplus::BitmapData* data);
    bool UnlockBits(Gdiplus::BitmapData* data);
    // 0 when empty or out of range.
    ArgbColor GetPixel(int x, int y) const;
    bool SetPixel(int x, int y, ArgbColor color);
    bool SetResolution(float dpiX, float dpiY);
    // A copy turned by `degrees` about its centre, in a bitmap just large enough to hold it,
    // the uncovered corners filled with `background`. `interpolation` is a GDI+
    // InterpolationMode (7 = high-quality bicubic).
    BitmapObject Rotated(float degrees, ArgbColor background = 0, int interpolation = 7) const;
};

// GUID <-> registry text ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case).
Text GuidText(const GUID& guid);
std::optional<GUID> ParseGuid(const Text& text);

// The CLSID of the installed encoder whose format GUID has exactly this text (case matters);
// none when no encoder matches.
std::optional<CLSID> FindEncoder(const Text& format);
