#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw/image_object.h"
#include "draw/memory_stream.h"
#include "draw_support.h"

using namespace drawtest;

namespace {

const ByteBuffer kPngSignature("\x89PNG\r\n\x1A\n", 8);
const ByteBuffer kPngEnd("IEND\xAE\x42\x60\x82", 8);

bool StartsWith(const ByteBuffer& bytes, const ByteBuffer& prefix) {
    return bytes.size() >= prefix.size() && bytes.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const ByteBuffer& bytes, const ByteBuffer& suffix) {
    return bytes.size() >= suffix.size() &&
           bytes.compare(bytes.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

TEST(ImageLoading, PngJpegAndGifBytesDecodeWithTheirFormatAndSize) {
    struct Case {
        const char* format;
        ByteBuffer bytes;
        ByteBuffer magic;
    };
    // Wine's GIF encoder writes no pixels for a 32-bit bitmap, so the GIF is built by hand.
    const Case cases[] = {
        {kImageFormatPng, EncodedTwoColour(kImageFormatPng, 40, 24), kPngSignature},
        {kImageFormatJpeg, EncodedTwoColour(kImageFormatJpeg, 40, 24),
         ByteBuffer("\xFF\xD8\xFF", 3)},
        {kImageFormatGif, AnimatedGif(40, 24, {0xFF0000}, {0}), ByteBuffer("GIF89a", 6)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const ByteBuffer& bytes = c.bytes;
        ASSERT_TRUE(StartsWith(bytes, c.magic));
        ImageObject image;
        ASSERT_TRUE(image.LoadFromBytes(bytes));
        EXPECT_FALSE(image.IsEmpty());
        EXPECT_NE(image.Stream(), nullptr);
        EXPECT_EQ(image.GetFormat(), c.format);
        EXPECT_EQ(image.GetWidth(), 40u);
        EXPECT_EQ(image.GetHeight(), 24u);
        EXPECT_FLOAT_EQ(image.GetDimension().width, 40.0f);
        EXPECT_FLOAT_EQ(image.GetDimension().height, 24.0f);
        EXPECT_FLOAT_EQ(image.GetBounds().width, 40.0f);
        EXPECT_NE(image.GetPixelFormat(), 0);
        EXPECT_GT(image.GetHorizontalResolution(), 0.0f);
        EXPECT_GT(image.GetVerticalResolution(), 0.0f);
    }
}

TEST(ImageLoading, EmptyGarbageAndCutOffBytesFailAndLeaveTheObjectEmpty) {
    const ByteBuffer png = EncodedTwoColour(kImageFormatPng, 8, 8);
    const ByteBuffer inputs[] = {ByteBuffer(), ByteBuffer("not a picture at all"),
                                 ByteBuffer(4096, '\0'), png.substr(0, 8)};
    for (const ByteBuffer& bytes : inputs) {
        ImageObject image;
        ASSERT_TRUE(image.LoadFromBytes(png));  // a failed load must not keep the old picture
        EXPECT_FALSE(image.LoadFromBytes(bytes)) << bytes.size();
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.Stream(), nullptr);
        // Everything on an empty image answers with its failure value.
        EXPECT_EQ(image.GetWidth(), 0u);
        EXPECT_EQ(image.GetFormat(), "");
        EXPECT_EQ(image.GetPixelFormat(), 0);
        EXPECT_EQ(image.SaveToBytes(), "");
        EXPECT_FALSE(image.ToIcon());
        EXPECT_FALSE(image.ToBitmapHandle());
        EXPECT_EQ(image.GetFrameCount(), 0u);
        EXPECT_FALSE(image.SelectFrame(0));
        EXPECT_TRUE(image.GetFrameDelays().empty());
        EXPECT_TRUE(image.Clone().IsEmpty());
        ImageObject target;
        EXPECT_FALSE(image.GetThumbnail(10, 10, target));
    }
}

TEST(ImageLoading, FilesLoadByWidePathAndMissingFilesFail) {
    TempFile file(L"_\u4E2D.png");  // a name outside every single-byte code page
    ASSERT_TRUE(file.Write(EncodedTwoColour(kImageFormatPng, 12, 6)));
    ImageObject image;
    ASSERT_TRUE(image.LoadFromFile(file.Path()));
    EXPECT_EQ(image.GetWidth(), 12u);
    EXPECT_EQ(image.Stream(), nullptr);
    EXPECT_EQ(BitmapObject::FromFile(file.Path()).GetHeight(), 6u);

    EXPECT_FALSE(image.LoadFromFile(u"C:\\no\\such\\picture.png"));
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_FALSE(image.LoadFromFile(u""));
    EXPECT_FALSE(image.LoadFromFileText(""));
}

TEST(ImageLoading, LoadingAgainReleasesTheFirstImageAndItsStream) {
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 30, 20)));
    IStream* first = image.Stream();
    ASSERT_NE(first, nullptr);
    first->AddRef();  // our own reference tells us when everyone else has let go

    ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatJpeg, 7, 5)));
    EXPECT_EQ(image.GetWidth(), 7u);
    EXPECT_EQ(image.GetFormat(), kImageFormatJpeg);
    EXPECT_NE(image.Stream(), first);
    EXPECT_EQ(first->Release(), 0u);

    image.Dispose();
    image.Dispose();  // idempotent
    EXPECT_TRUE(image.IsEmpty());
}

TEST(ImageLoading, AThousandLoadsIntoOneObjectDoNotGrowHandlesOrMemory) {
    const ByteBuffer png = EncodedTwoColour(kImageFormatPng, 64, 64);
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(png));
    IconHandle warmIcon = image.ToIcon();
    warmIcon.Reset();
    const Usage before = CurrentUsage();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(image.LoadFromBytes(png));
        // Each picture is also turned into an icon and a bitmap, as the album list does.
        ASSERT_TRUE(image.ToIcon());
        ASSERT_TRUE(image.ToBitmapHandle());
    }
    const Usage after = CurrentUsage();
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 10);
    EXPECT_LE(after.userObjects, before.userObjects + 10);
    // 1,000 leaked 64 x 64 pictures with their streams would be well over 16 MB.
    EXPECT_LT(after.privateBytes, before.privateBytes + 8u * 1024 * 1024);
}

TEST(ImageSaving, AnEmptyFormatKeepsEachPictureInItsOwnFormat) {
    ImageObject png;
    ASSERT_TRUE(png.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 16, 16)));
    const ByteBuffer again = png.SaveToBytes();
    EXPECT_TRUE(StartsWith(again, kPngSignature));
    // Exactly the encoded picture: nothing of the memory block behind the stream trails it.
    EXPECT_TRUE(EndsWith(again, kPngEnd));

    ImageObject jpeg;
    ASSERT_TRUE(jpeg.LoadFromBytes(EncodedTwoColour(kImageFormatJpeg, 16, 16)));
    const ByteBuffer jpegAgain = jpeg.SaveToBytes("");
    EXPECT_TRUE(StartsWith(jpegAgain, ByteBuffer("\xFF\xD8", 2)));
    EXPECT_TRUE(EndsWith(jpegAgain, ByteBuffer("\xFF\xD9", 2)));

    // Re-encoding in another format on request, and back.
    const ByteBuffer asPng = jpeg.SaveToBytes(kImageFormatPng);
    ImageObject reloaded;
    ASSERT_TRUE(reloaded.LoadFromBytes(asPng));
    EXPECT_EQ(reloaded.GetFormat(), kImageFormatPng);
    EXPECT_EQ(reloaded.GetWidth(), 16u);
}

TEST(ImageSaving, PixelsSurviveAPngRoundTrip) {
    BitmapObject source = TwoColourBitmap(10, 4, kRed, kGreen);
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(source.SaveToBytes(kImageFormatPng)));
    Canvas canvas(10, 4);
    ASSERT_TRUE(image.DrawTo(canvas.Dc(), 0, 0, 10, 4));
    EXPECT_EQ(canvas.Pixel(0, 0), Rgb(kRed));
    EXPECT_EQ(canvas.Pixel(4, 3), Rgb(kRed));
    EXPECT_EQ(canvas.Pixel(5, 0), Rgb(kGreen));
    EXPECT_EQ(canvas.Pixel(9, 3), Rgb(kGreen));
}

TEST(ImageSaving, EncodersAreFoundOnlyByTheExactUpperCaseFormatText) {
    EXPECT_TRUE(FindEncoder(kImageFormatPng).has_value());
    EXPECT_TRUE(FindEncoder(kImageFormatJpeg).has_value());
    EXPECT_TRUE(FindEncoder(kImageFormatBmp).has_value());
    const Text notFound[] = {Lower(kImageFormatPng), "", "PNG", "{B96B3CAF-0728-11D3-9D7B}",
                             "{00000000-0000-0000-0000-000000000000}"};
    for (const Text& format : notFound) {
        EXPECT_FALSE(FindEncoder(format).has_value()) << format;
    }
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 4, 4)));
    EXPECT_EQ(image.SaveToBytes(Lower(kImageFormatPng)), "");
}

TEST(Guids, TextAndParsingRoundTripAndMalformedTextsAreRefused) {
    const std::optional<GUID> time = ParseGuid(kFrameDimensionTime);
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->Data1, 0x6AEDBD6Du);
    EXPECT_EQ(time->Data4[7], 0x72);
    EXPECT_EQ(GuidText(*time), kFrameDimensionTime);
    // Parsing is forgiving about case; the text made is always upper case.
    const std::optional<GUID> lower = ParseGuid(Lower(kImageFormatPng));
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(GuidText(*lower), kImageFormatPng);

    const Text malformed[] = {"",
                              "6AEDBD6D-3FB5-418A-83A6-7F45229DC872",
                              "{6AEDBD6D-3FB5-418A-83A6-7F45229DC87}",
                              "{6AEDBD6D-3FB5-418A-83A6-7F45229DC8721}",
                              "{6AEDBD6D-3FB5-418A-83A6-7F45229DC87Z}",
                              "{6AEDBD6D+3FB5-418A-83A6-7F45229DC872}",
                              "Paint.Picture"};
    for (const Text& text : malformed) EXPECT_FALSE(ParseGuid(text).has_value()) << text;
}

TEST(ImageFrames, AnimatedGifReportsItsFramesDelaysAndLoopCount) {
    ImageObject gif;
    ASSERT_TRUE(gif.LoadFromBytes(AnimatedGif(6, 4, {0xFF0000, 0x0000FF}, {0, 10}, 3)));
    EXPECT_EQ(gif.GetFormat(), kImageFormatGif);
    EXPECT_EQ(gif.GetFrameCount(), 2u);
    EXPECT_EQ(gif.GetFrameCount(kFrameDimensionTime), 2u);
    EXPECT_EQ(gif.GetFrameDelays(), (std::vector<std::uint32_t>{0, 10}));
    EXPECT_EQ(gif.GetLoopCount(), 3);

    Canvas first(6, 4);
    ASSERT_TRUE(gif.SelectFrame(0));
    ASSERT_TRUE(gif.DrawTo(first.Dc(), 0, 0, 6, 4));
    EXPECT_EQ(first.Pixel(2, 2), 0xFF0000u);
    Canvas second(6, 4);
    ASSERT_TRUE(gif.SelectFrame(kFrameDimensionTime, 1));
    ASSERT_TRUE(gif.DrawTo(second.Dc(), 0, 0, 6, 4));
    EXPECT_EQ(second.Pixel(2, 2), 0x0000FFu);

    EXPECT_FALSE(gif.SelectFrame(kFrameDimensionTime, 2));
    EXPECT_FALSE(gif.SelectFrame("{not-a-dimension}", 0));
    EXPECT_EQ(gif.GetFrameCount("garbage"), 0u);
}

TEST(ImageFrames, StillPicturesHaveOneFrameAndNoDelays) {
    ImageObject png;
    ASSERT_TRUE(png.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 5, 5)));
    EXPECT_EQ(png.GetFrameCount(), 1u);
    EXPECT_TRUE(png.GetFrameDelays().empty());
    EXPECT_EQ(png.GetLoopCount(), -1);

    ImageObject gif;
    ASSERT_TRUE(gif.LoadFromBytes(AnimatedGif(3, 3, {0x00FF00}, {25})));
    EXPECT_EQ(gif.GetFrameCount(), 1u);
}

TEST(ImageThumbnails, AThumbnailHasExactlyTheAskedSizeAndLeavesTheSourceAlone) {
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 300, 200, kRed, kBlue)));
    ImageObject thumb;
    ASSERT_TRUE(thumb.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 3, 3)));
    ASSERT_TRUE(image.GetThumbnail(140, 140, thumb));
    EXPECT_EQ(thumb.GetWidth(), 140u);
    EXPECT_EQ(thumb.GetHeight(), 140u);
    EXPECT_EQ(thumb.Stream(), nullptr);  // the old content went, stream included
    EXPECT_EQ(image.GetWidth(), 300u);

    Canvas canvas(140, 140);
    ASSERT_TRUE(thumb.DrawTo(canvas.Dc(), 0, 0, 140, 140));
    EXPECT_EQ(canvas.Pixel(20, 70), Rgb(kRed));  // stretched, not letter-boxed
    EXPECT_EQ(canvas.Pixel(120, 70), Rgb(kBlue));

    // Into itself, and refused sizes.
    ASSERT_TRUE(image.GetThumbnail(30, 20, image));
    EXPECT_EQ(image.GetWidth(), 30u);
    EXPECT_FALSE(image.GetThumbnail(0, 10, thumb));
    EXPECT_EQ(thumb.GetWidth(), 140u);
}

TEST(ImageConversion, IconsAndBitmapsHaveThePicturesSizeAndPixels) {
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 32, 16, kRed, kGreen)));

    BitmapHandle bitmap = image.ToBitmapHandle(kWhite);
    ASSERT_TRUE(bitmap);
    BITMAP info{};
    ASSERT_EQ(::GetObjectW(bitmap.Get(), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 32);
    EXPECT_EQ(std::abs(info.bmHeight), 16);

    IconHandle icon = image.ToIcon();
    ASSERT_TRUE(icon);
    Canvas canvas(32, 16);
    ASSERT_TRUE(::DrawIconEx(canvas.Dc(), 0, 0, icon.Get(), 32, 16, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(canvas.Pixel(3, 8), Rgb(kRed));
    EXPECT_EQ(canvas.Pixel(28, 8), Rgb(kGreen));
}

TEST(ImageConversion, DrawToCopiesTheAskedAreaAndAlphaDrawingScales) {
    ImageObject image;
    ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 20, 10, kRed, kBlue)));
    Canvas canvas(40, 40, RGB(255, 255, 255));
    // Only the right half, put at (5, 5).
    ASSERT_TRUE(image.DrawTo(canvas.Dc(), 5, 5, 10, 10, 10, 0));
    EXPECT_EQ(canvas.Pixel(5, 5), Rgb(kBlue));
    EXPECT_EQ(canvas.Pixel(14, 14), Rgb(kBlue));
    EXPECT_EQ(canvas.Pixel(15, 5), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(4, 4), 0xFFFFFFu);
    EXPECT_FALSE(image.DrawTo(nullptr, 0, 0, 1, 1));

    Canvas scaled(40, 20, RGB(255, 255, 255));
    ASSERT_TRUE(image.DrawAlphaTo(scaled.Dc(), RECT{0, 0, 40, 20}, RECT{0, 0, 20, 10}));
    EXPECT_EQ(scaled.Pixel(2, 18), Rgb(kRed));
    EXPECT_EQ(scaled.Pixel(38, 1), Rgb(kBlue));
}

TEST(ImageOwnership, ClonesAndMovedImagesOutliveTheirSource) {
    ImageObject clone;
    {
        ImageObject image;
        ASSERT_TRUE(image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, 8, 2, kGreen, kRed)));
        clone = image.Clone();
        ASSERT_FALSE(clone.IsEmpty());
        EXPECT_NE(clone.Handle(), image.Handle());
    }
    Canvas canvas(8, 2);
    ASSERT_TRUE(clone.DrawTo(canvas.Dc(), 0, 0, 8, 2));
    EXPECT_EQ(canvas.Pixel(0, 0), Rgb(kGreen));
    EXPECT_EQ(canvas.Pixel(7, 1), Rgb(kRed));

    ImageObject moved(std::move(clone));
    EXPECT_TRUE(clone.IsEmpty());  // NOLINT(bugprone-use-after-move): the moved-from state
    EXPECT_EQ(moved.GetWidth(), 8u);
    SharedImage shared = std::make_shared<ImageObject>(std::move(moved));
    SharedImage other = shared;
    shared.reset();
    EXPECT_EQ(other->GetWidth(), 8u);
}

TEST(MemoryStreams, StreamsHoldExactlyTheirBytes) {
    const ByteBuffer bytes("ab\0cd", 5);
    StreamRef stream = BytesToStream(bytes);
    ASSERT_TRUE(stream);
    EXPECT_EQ(StreamToBytes(stream.Get()), bytes);

    // A larger block is zero-filled behind the copied bytes; no copy gives zeros only.
    EXPECT_EQ(StreamToBytes(BytesToStream(bytes, true, 8).Get()), ByteBuffer("ab\0cd\0\0\0", 8));
    EXPECT_EQ(StreamToBytes(BytesToStream(bytes, false).Get()), ByteBuffer(5, '\0'));
    EXPECT_EQ(StreamToBytes(BytesToStream(bytes, true, 2).Get()), "ab");

    // What is written to a growing stream comes back without the block's spare room.
    StreamRef growing = BytesToStream(ByteBuffer(), false);
    ASSERT_TRUE(growing);
    ULONG written = 0;
    ASSERT_EQ(growing->Write("hello", 5, &written), S_OK);
    EXPECT_EQ(StreamToBytes(growing.Get()), "hello");
    EXPECT_EQ(StreamToBytes(nullptr), "");
}
