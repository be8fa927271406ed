#include <gtest/gtest.h>

#include "draw/gdiplus_api.h"

#include <vector>

#include "draw/gdiplus_session.h"
#include "draw/image_object.h"
#include "draw/memory_stream.h"
#include "draw_support.h"

using namespace drawtest;

namespace {

// A 32-bit top-down DIB section whose every pixel is `bgra` (0xAARRGGBB as stored).
BitmapHandle SolidDibSection(int width, int height, std::uint32_t argb) {
    BITMAPINFO info = Dib32Info(width, height);
    void* bits = nullptr;
    BitmapHandle section(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (section && bits != nullptr) {
        auto* pixels = static_cast<std::uint32_t*>(bits);
        for (int i = 0; i < width * height; ++i) pixels[i] = argb;
    }
    return section;
}

std::uint32_t Alpha(ArgbColor argb) {
    return argb >> 24;
}

}  // namespace

TEST(BitmapMaking, PixelsSetAreReadBackAndOutOfRangeReadsGiveZero) {
    BitmapObject bitmap = BitmapObject::FromPixels(5, 3);
    ASSERT_FALSE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.GetPixelFormat(), kPixelFormat32bppARGB);
    ASSERT_TRUE(bitmap.SetPixel(4, 2, 0x80112233));
    EXPECT_EQ(bitmap.GetPixel(4, 2), 0x80112233u);
    EXPECT_EQ(bitmap.GetPixel(5, 0), 0u);
    EXPECT_FALSE(bitmap.SetPixel(-1, 0, kRed));

    EXPECT_TRUE(BitmapObject::FromPixels(0, 5).IsEmpty());
    EXPECT_TRUE(BitmapObject::FromPixels(5, -1).IsEmpty());
    EXPECT_EQ(BitmapObject().GetPixel(0, 0), 0u);
}

TEST(BitmapMaking, ACallersPixelBufferIsUsedInPlace) {
    std::vector<std::uint32_t> pixels(4 * 2, 0xFF00FF00);
    BitmapObject bitmap = BitmapObject::FromPixels(4, 2, kPixelFormat32bppARGB, 16,
                                                   reinterpret_cast<BYTE*>(pixels.data()));
    ASSERT_FALSE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.GetPixel(3, 1), 0xFF00FF00u);
    pixels[7] = 0xFF0000FF;
    EXPECT_EQ(bitmap.GetPixel(3, 1), 0xFF0000FFu);
}

TEST(BitmapMaking, BytesAndStreamsStayReadableForTheBitmapsLife) {
    const ByteBuffer png = EncodedTwoColour(kImageFormatPng, 6, 6, kRed, kGreen);
    BitmapObject fromBytes = BitmapObject::FromBytes(png);
    ASSERT_FALSE(fromBytes.IsEmpty());
    EXPECT_NE(fromBytes.Stream(), nullptr);
    EXPECT_EQ(fromBytes.GetPixel(5, 5), kGreen);
    EXPECT_TRUE(BitmapObject::FromBytes(ByteBuffer()).IsEmpty());
    EXPECT_TRUE(BitmapObject::FromBytes("junk").IsEmpty());

    BitmapObject fromStream;
    {
        StreamRef stream = BytesToStream(png);
        fromStream = BitmapObject::FromStream(stream.Get());
    }  // our reference is gone; the bitmap's own keeps the stream
    ASSERT_FALSE(fromStream.IsEmpty());
    EXPECT_NE(fromStream.Stream(), nullptr);
    EXPECT_EQ(fromStream.GetPixel(0, 0), kRed);
    EXPECT_TRUE(BitmapObject::FromStream(nullptr).IsEmpty());
}

TEST(BitmapMaking, GdiBitmapsConvertWithAndWithoutTheirAlpha) {
    BitmapHandle translucent = SolidDibSection(4, 4, 0x800000FF);  // half-covered blue
    BitmapObject kept = BitmapObject::FromBitmapHandleWithAlpha(translucent.Get());
    ASSERT_FALSE(kept.IsEmpty());
    EXPECT_EQ(kept.GetWidth(), 4u);
    EXPECT_EQ(Alpha(kept.GetPixel(1, 1)), 0x80u);
    EXPECT_EQ(kept.GetPixel(1, 1) & 0xFF, 0xFFu);

    BitmapObject plain = BitmapObject::FromBitmapHandle(translucent.Get());
    ASSERT_FALSE(plain.IsEmpty());
    EXPECT_EQ(Alpha(plain.GetPixel(1, 1)), 0xFFu);

    // A 32-bit bitmap that never had alpha (all zero) is opaque, not invisible.
    BitmapHandle noAlpha = SolidDibSection(3, 3, 0x0000FF00);
    BitmapObject opaque = BitmapObject::FromBitmapHandleWithAlpha(noAlpha.Get());
    ASSERT_FALSE(opaque.IsEmpty());
    EXPECT_EQ(opaque.GetPixel(2, 2), kGreen);

    EXPECT_TRUE(BitmapObject::FromBitmapHandleWithAlpha(nullptr).IsEmpty());
    EXPECT_TRUE(BitmapObject::FromBitmapHandle(nullptr).IsEmpty());
}

TEST(BitmapMaking, IconsConvertAndTranslucentIconsKeepTheirAlpha) {
    BitmapObject source = BitmapObject::FromPixels(8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) source.SetPixel(x, y, x < 4 ? kRed : 0x40FF0000);
    }
    IconHandle icon = source.ToIcon();
    ASSERT_TRUE(icon);

    BitmapObject withAlpha = BitmapObject::FromIconWithAlpha(icon.Get());
    ASSERT_FALSE(withAlpha.IsEmpty());
    EXPECT_EQ(withAlpha.GetWidth(), 8u);
    EXPECT_EQ(withAlpha.GetPixel(1, 1), kRed);
    EXPECT_NEAR(static_cast<int>(Alpha(withAlpha.GetPixel(6, 6))), 0x40, 2);

    BitmapObject plain = BitmapObject::FromIcon(icon.Get());
    ASSERT_FALSE(plain.IsEmpty());
    EXPECT_EQ(plain.GetHeight(), 8u);

    EXPECT_TRUE(BitmapObject::FromIconWithAlpha(nullptr).IsEmpty());
}

TEST(BitmapMaking, DibsFilesAndMissingResourcesGiveBitmapsOrNothing) {
    std::vector<std::uint32_t> pixels(2 * 2, 0x000000FF);  // BGRA blue, bottom-up rows
    BITMAPINFO info = Dib32Info(2, 2, /*topDown=*/false);
    BitmapObject dib = BitmapObject::FromDib(&info, pixels.data());
    ASSERT_FALSE(dib.IsEmpty());
    EXPECT_EQ(Rgb(dib.GetPixel(0, 0)), Rgb(kBlue));
    EXPECT_TRUE(BitmapObject::FromDib(nullptr, pixels.data()).IsEmpty());

    TempFile file(L".png");
    ASSERT_TRUE(file.Write(EncodedTwoColour(kImageFormatPng, 9, 4)));
    EXPECT_EQ(BitmapObject::FromFile(file.Path()).GetWidth(), 9u);
    EXPECT_EQ(BitmapObject::FromFile(file.Path(), true).GetWidth(), 9u);
    EXPECT_TRUE(BitmapObject::FromFile(u"C:\\missing.png").IsEmpty());

    EXPECT_TRUE(BitmapObject::FromResource(::GetModuleHandleW(nullptr), L"NOSUCH").IsEmpty());
    EXPECT_TRUE(
        BitmapObject::FromResourceData(::GetModuleHandleW(nullptr), L"NOSUCH", MAKEINTRESOURCEW(10))
            .IsEmpty());
}

TEST(BitmapEditing, AreasLockedBitsAndResolutionBehave) {
    BitmapObject bitmap = TwoColourBitmap(10, 4, kRed, kBlue);
    BitmapObject right = bitmap.CloneArea(5, 0, 5, 4);
    ASSERT_FALSE(right.IsEmpty());
    EXPECT_EQ(right.GetWidth(), 5u);
    EXPECT_EQ(right.GetPixel(0, 0), kBlue);

    Gdiplus::BitmapData data{};
    RECT area{2, 1, 4, 3};
    ASSERT_TRUE(bitmap.LockBits(&area, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite,
                                kPixelFormat32bppARGB, &data));
    EXPECT_EQ(data.Width, 2u);
    EXPECT_EQ(data.Height, 2u);
    auto* first = static_cast<std::uint32_t*>(data.Scan0);
    EXPECT_EQ(first[0], kRed);
    first[0] = kGreen;
    ASSERT_TRUE(bitmap.UnlockBits(&data));
    EXPECT_EQ(bitmap.GetPixel(2, 1), kGreen);
    EXPECT_EQ(bitmap.GetPixel(2, 2), kRed);

    ASSERT_TRUE(bitmap.SetResolution(300, 150));
    EXPECT_FLOAT_EQ(bitmap.GetHorizontalResolution(), 300);
    EXPECT_FLOAT_EQ(bitmap.GetVerticalResolution(), 150);
    EXPECT_FALSE(BitmapObject().SetResolution(1, 1));
}

TEST(BitmapEditing, RotatingAQuarterTurnSwapsTheSidesAndMovesTheHalves) {
    BitmapObject bitmap = TwoColourBitmap(20, 10, kRed, kBlue);
    BitmapObject turned = bitmap.Rotated(90, kWhite, 5 /* nearest neighbour */);
    ASSERT_FALSE(turned.IsEmpty());
    EXPECT_EQ(turned.GetWidth(), 10u);
    EXPECT_EQ(turned.GetHeight(), 20u);
    // Clockwise: the left (red) half ends on top.
    EXPECT_EQ(turned.GetPixel(5, 4), kRed);
    EXPECT_EQ(turned.GetPixel(5, 15), kBlue);

    BitmapObject tilted = bitmap.Rotated(45, kWhite);
    ASSERT_FALSE(tilted.IsEmpty());
    EXPECT_EQ(tilted.GetWidth(), 22u);         // ceil((20 + 10) / sqrt 2)
    EXPECT_EQ(tilted.GetPixel(0, 0), kWhite);  // an uncovered corner
    EXPECT_TRUE(BitmapObject().Rotated(10).IsEmpty());
}

TEST(GdiplusSessions, NestedSessionsKeepGdiplusRunning) {
    ASSERT_TRUE(GdiplusSession::IsRunning());  // the test environment's own session
    {
        GdiplusSession inner;
        EXPECT_TRUE(inner.Ok());
        GdiplusSession another;
        EXPECT_TRUE(another.Ok());
    }
    // Ending the nested ones did not shut GDI+ down under the outer one.
    EXPECT_TRUE(GdiplusSession::IsRunning());
    ImageObject image;
    EXPECT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 3, 3)));
}
