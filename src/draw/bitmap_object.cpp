#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "draw/gdiplus_api.h"
#include "draw/image_object.h"
#include "text/text_helpers.h"

namespace {

// Takes the made bitmap by address: it is read only after the call that fills it has run (an
// argument passed by value could be read first).
BitmapObject Adopt(GpStatus status, GpBitmap* const* made) {
    GpBitmap* bitmap = *made;
    if (!GpOk(status) || bitmap == nullptr) {
        GpImageHandle::Close(bitmap);
        return {};
    }
    return BitmapObject(bitmap);
}

// A 32-bit ARGB bitmap filled from top-down BGRA rows (`stride` bytes apart).
BitmapObject FromBgraRows(int width, int height, const BYTE* rows, int stride, int pixelFormat) {
    BitmapObject bitmap = BitmapObject::FromPixels(width, height, pixelFormat);
    Gdiplus::BitmapData data{};
    if (bitmap.IsEmpty() ||
        !bitmap.LockBits(nullptr, Gdiplus::ImageLockModeWrite, pixelFormat, &data)) {
        return {};
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(static_cast<BYTE*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride,
                    rows + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(width) * 4);
    }
    bitmap.UnlockBits(&data);
    return bitmap;
}

bool AnyAlpha(const std::vector<BYTE>& bgra) {
    for (std::size_t i = 3; i < bgra.size(); i += 4) {
        if (bgra[i] != 0) return true;
    }
    return false;
}

}  // namespace

BitmapObject::BitmapObject(Gdiplus::GpBitmap* bitmap) : ImageObject(bitmap) {}

Gdiplus::GpBitmap* BitmapObject::GdipBitmap() const {
    return static_cast<GpBitmap*>(Handle());
}

BitmapObject BitmapObject::FromPixels(int width, int height, int pixelFormat, int stride,
                                      BYTE* pixels) {
    if (width <= 0 || height <= 0) return {};
    GpBitmap* bitmap = nullptr;
    GpStatus status = gp::GdipCreateBitmapFromScan0(width, height, pixels ? stride : 0, pixelFormat,
                                                    pixels, &bitmap);
    return Adopt(status, &bitmap);
}

BitmapObject BitmapObject::FromFile(const WideText& path, bool useIcm) {
    if (path.empty()) return {};
    GpBitmap* bitmap = nullptr;
    GpStatus status = useIcm ? gp::GdipCreateBitmapFromFileICM(WinStr(path), &bitmap)
                             : gp::GdipCreateBitmapFromFile(WinStr(path), &bitmap);
    return Adopt(status, &bitmap);
}

BitmapObject BitmapObject::FromFileText(const Text& path, bool useIcm) {
    if (path.empty()) return {};
    return FromFile(AnsiToWide(path), useIcm);
}

BitmapObject BitmapObject::FromStream(IStream* stream, bool useIcm) {
    if (stream == nullptr) return {};
    GpBitmap* bitmap = nullptr;
    GpStatus status = useIcm ? gp::GdipCreateBitmapFromStreamICM(stream, &bitmap)
                             : gp::GdipCreateBitmapFromStream(stream, &bitmap);
    if (!GpOk(status) || bitmap == nullptr) return {};
    // GDI+ reads the pixels from the stream lazily: the bitmap keeps it alive.
    BitmapObject result;
    result.Attach(bitmap, ShareRef(stream));
    return result;
}

BitmapObject BitmapObject::FromBytes(const ByteBuffer& bytes) {
    StreamRef stream = BytesToStream(bytes);
    if (!stream || bytes.empty()) return {};
    GpBitmap* bitmap = nullptr;
    if (!GpOk(gp::GdipCreateBitmapFromStream(stream.Get(), &bitmap)) || bitmap == nullptr) {
        return {};
    }
    BitmapObject result;
    result.Attach(bitmap, std::move(stream));
    return result;
}

BitmapObject BitmapObject::FromGraphics(int width, int height, Gdiplus::GpGraphics* graphics) {
    if (graphics == nullptr || width <= 0 || height <= 0) return {};
    GpBitmap* bitmap = nullptr;
    return Adopt(gp::GdipCreateBitmapFromGraphics(width, height, graphics, &bitmap), &bitmap);
}

BitmapObject BitmapObject::FromDib(const BITMAPINFO* info, void* bits) {
    if (info == nullptr || bits == nullptr) return {};
    GpBitmap* bitmap = nullptr;
    return Adopt(gp::GdipCreateBitmapFromGdiDib(info, bits, &bitmap), &bitmap);
}

BitmapObject BitmapObject::FromBitmapHandle(HBITMAP source, HPALETTE palette) {
    if (source == nullptr) return {};
    GpBitmap* bitmap = nullptr;
    return Adopt(gp::GdipCreateBitmapFromHBITMAP(source, palette, &bitmap), &bitmap);
}

BitmapObject BitmapObject::FromBitmapHandleWithAlpha(HBITMAP source) {
    BITMAP info{};
    if (source == nullptr || ::GetObjectW(source, sizeof info, &info) != sizeof info) return {};
    if (info.bmBitsPixel != 32) return FromBitmapHandle(source);
    const int width = info.bmWidth;
    const int height = std::abs(info.bmHeight);
    BITMAPINFO header = Dib32Info(width, height);
    std::vector<BYTE> pixels(static_cast<std::size_t>(width) * height * 4);
    WindowDc screen(nullptr);
    if (::GetDIBits(screen.Get(), source, 0, height, pixels.data(), &header, DIB_RGB_COLORS) !=
        height) {
        return {};
    }
    // A 32-bit bitmap that never had alpha leaves the byte at 0: that means opaque, not clear.
    if (!AnyAlpha(pixels)) return FromBitmapHandle(source);
    return FromBgraRows(width, height, pixels.data(), width * 4, kPixelFormat32bppARGB);
}

BitmapObject BitmapObject::FromIcon(HICON icon) {
    if (icon == nullptr) return {};
    GpBitmap* bitmap = nullptr;
    return Adopt(gp::GdipCreateBitmapFromHICON(icon, &bitmap), &bitmap);
}

BitmapObject BitmapObject::FromIconWithAlpha(HICON icon) {
    ICONINFO parts{};
    if (icon == nullptr || !::GetIconInfo(icon, &parts)) return {};
    BitmapHandle color(parts.hbmColor);
    BitmapHandle mask(parts.hbmMask);
    BITMAP size{};
    HBITMAP measured = color ? color.Get() : mask.Get();
    if (::GetObjectW(measured, sizeof size, &size) != sizeof size) return {};
    const int width = size.bmWidth;
    // A monochrome icon stores its mask and image stacked in one bitmap of double height.
    const int height = color ? size.bmHeight : size.bmHeight / 2;
    if (width <= 0 || height <= 0) return {};

    BITMAPINFO header = Dib32Info(width, height);
    WindowDc screen(nullptr);
    void* bits = nullptr;
    BitmapHandle section(
        ::CreateDIBSection(screen.Get(), &header, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDc memory(::CreateCompatibleDC(screen.Get()));
    if (!section || !memory || bits == nullptr) return {};
    {
        ScopedSelect select(memory.Get(), section.Get());
        if (!select.Ok() ||
            !::DrawIconEx(memory.Get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL)) {
            return {};
        }
    }
    ::GdiFlush();
    const auto* begin = static_cast<const BYTE*>(bits);
    std::vector<BYTE> pixels(begin, begin + static_cast<std::size_t>(width) * height * 4);
    // Without any alpha the icon is an old masked one, which GDI+ converts well by itself.
    if (!AnyAlpha(pixels)) return FromIcon(icon);
    // DrawIconEx blends over the zeroed section: the colours come out premultiplied.
    return FromBgraRows(width, height, pixels.data(), width * 4, kPixelFormat32bppPARGB);
}

BitmapObject BitmapObject::FromResource(HINSTANCE module, const wchar_t* name) {
    if (name == nullptr) return {};
    GpBitmap* bitmap = nullptr;
    return Adopt(gp::GdipCreateBitmapFromResource(module, name, &bitmap), &bitmap);
}

BitmapObject BitmapObject::FromResourceData(HINSTANCE module, const wchar_t* name,
                                            const wchar_t* type) {
    if (name == nullptr || type == nullptr) return {};
    HRSRC found = ::FindResourceW(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(module, found);  // resource memory: never freed by us
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, found);
    if (data == nullptr || size == 0) return {};
    return FromBytes(ByteBuffer(static_cast<const char*>(data), size));
}

BitmapObject BitmapObject::CloneArea(float x, float y, float width, float height,
                                     int pixelFormat) const {
    if (IsEmpty()) return {};
    GpBitmap* bitmap = nullptr;
    return Adopt(gp::GdipCloneBitmapArea(x, y, width, height, pixelFormat, GdipBitmap(), &bitmap),
                 &bitmap);
}

bool BitmapObject::LockBits(const RECT* area, UINT flags, int pixelFormat,
                            Gdiplus::BitmapData* data) {
    if (IsEmpty() || data == nullptr) return false;
    Gdiplus::GpRect rect;
    if (area != nullptr) {
        rect = Gdiplus::GpRect(area->left, area->top, area->right - area->left,
                               area->bottom - area->top);
    } else {
        rect = Gdiplus::GpRect(0, 0, static_cast<INT>(GetWidth()), static_cast<INT>(GetHeight()));
    }
    return GpOk(gp::GdipBitmapLockBits(GdipBitmap(), &rect, flags, pixelFormat, data));
}

bool BitmapObject::UnlockBits(Gdiplus::BitmapData* data) {
    if (IsEmpty() || data == nullptr) return false;
    return GpOk(gp::GdipBitmapUnlockBits(GdipBitmap(), data));
}

ArgbColor BitmapObject::GetPixel(int x, int y) const {
    Gdiplus::ARGB color = 0;
    if (IsEmpty() || !GpOk(gp::GdipBitmapGetPixel(GdipBitmap(), x, y, &color))) return 0;
    return color;
}

bool BitmapObject::SetPixel(int x, int y, ArgbColor color) {
    return !IsEmpty() && GpOk(gp::GdipBitmapSetPixel(GdipBitmap(), x, y, color));
}

bool BitmapObject::SetResolution(float dpiX, float dpiY) {
    return !IsEmpty() && GpOk(gp::GdipBitmapSetResolution(GdipBitmap(), dpiX, dpiY));
}

BitmapObject BitmapObject::Rotated(float degrees, ArgbColor background, int interpolation) const {
    if (IsEmpty()) return {};
    const double w = GetWidth();
    const double h = GetHeight();
    const double radians = degrees * 3.14159265358979323846 / 180.0;
    const double c = std::fabs(std::cos(radians));
    const double s = std::fabs(std::sin(radians));
    // Rounded a hair down first so 90 degrees does not grow a pixel from cos() noise.
    const int outWidth = static_cast<int>(std::ceil(w * c + h * s - 1e-6));
    const int outHeight = static_cast<int>(std::ceil(w * s + h * c - 1e-6));
    BitmapObject result = FromPixels(std::max(outWidth, 1), std::max(outHeight, 1));
    if (result.IsEmpty()) return {};
    GpGraphicsHandle owned;
    if (!GpOk(gp::GdipGetImageGraphicsContext(result.Handle(), owned.Receive()))) return {};
    Gdiplus::GpGraphics* graphics = owned.Get();
    const bool ok =
        GpOk(gp::GdipGraphicsClear(graphics, background)) &&
        GpOk(gp::GdipSetInterpolationMode(
            graphics, static_cast<Gdiplus::InterpolationMode>(interpolation))) &&
        GpOk(gp::GdipTranslateWorldTransform(graphics, outWidth / 2.0f, outHeight / 2.0f,
                                             Gdiplus::MatrixOrderPrepend)) &&
        GpOk(gp::GdipRotateWorldTransform(graphics, degrees, Gdiplus::MatrixOrderPrepend)) &&
        GpOk(gp::GdipTranslateWorldTransform(graphics, static_cast<float>(-w / 2),
                                             static_cast<float>(-h / 2),
                                             Gdiplus::MatrixOrderPrepend)) &&
        GpOk(gp::GdipDrawImageRectI(graphics, Handle(), 0, 0, static_cast<INT>(w),
                                    static_cast<INT>(h)));
    owned.Reset();  // the drawing is complete only once the graphics is gone
    if (!ok) return {};
    return result;
}
