#include <gtest/gtest.h>

#include "draw/image_list.h"
#include "draw/image_object.h"
#include "draw_support.h"

using namespace drawtest;

namespace {

ImageObject Picture(int width, int height, ArgbColor left, ArgbColor right) {
    ImageObject image;
    image.LoadFromBytes(EncodedTwoColour(kImageFormatPng, width, height, left, right));
    return image;
}

// The colour at the middle of the cell's left and right halves after drawing image `index`.
struct Halves {
    std::uint32_t left;
    std::uint32_t right;
};
Halves DrawnHalves(const ImageListObject& list, int index) {
    int width = 0;
    int height = 0;
    list.GetIconSize(&width, &height);
    Canvas canvas(width, height, RGB(255, 255, 255));
    if (!list.Draw(index, canvas.Dc(), 0, 0)) return {0xDEAD, 0xDEAD};
    return {canvas.Pixel(width / 4, height / 2), canvas.Pixel(width * 3 / 4, height / 2)};
}

bool IsDeletedGdiObject(HGDIOBJ object) {
    return ::GetObjectType(object) == 0;
}

}  // namespace

TEST(ImageListBasics, CoversAreAddedAsIconsScaledToTheCells) {
    ImageListObject list;
    ASSERT_TRUE(list.Create(140, 140));
    int width = 0;
    int height = 0;
    ASSERT_TRUE(list.GetIconSize(&width, &height));
    EXPECT_EQ(width, 140);
    EXPECT_EQ(height, 140);

    // A wide picture is stretched to the square cell, not letter-boxed.
    EXPECT_EQ(list.AddImage(Picture(300, 100, kRed, kBlue)), 0);
    EXPECT_EQ(list.AddImage(Picture(10, 40, kGreen, kRed)), 1);
    EXPECT_EQ(list.GetCount(), 2);
    const Halves first = DrawnHalves(list, 0);
    EXPECT_EQ(first.left, Rgb(kRed));
    EXPECT_EQ(first.right, Rgb(kBlue));
    const Halves second = DrawnHalves(list, 1);
    EXPECT_EQ(second.left, Rgb(kGreen));
    EXPECT_EQ(second.right, Rgb(kRed));

    IMAGEINFO info{};
    ASSERT_TRUE(list.GetImageInfo(1, &info));
    EXPECT_EQ(info.rcImage.right - info.rcImage.left, 140);
    EXPECT_EQ(info.rcImage.bottom - info.rcImage.top, 140);
}

TEST(ImageListBasics, EmptyPicturesMissingListsAndBadIndexesAddOrChangeNothing) {
    ImageListObject none;
    EXPECT_EQ(none.AddImage(Picture(4, 4, kRed, kRed)), -1);
    EXPECT_EQ(none.GetCount(), 0);
    EXPECT_FALSE(none.Remove(-1));
    EXPECT_TRUE(none.Write().empty());

    ImageListObject list;
    ASSERT_TRUE(list.Create(16, 16));
    EXPECT_EQ(list.AddImage(ImageObject()), -1);
    EXPECT_EQ(list.AddIcon(nullptr), -1);
    EXPECT_EQ(list.AddBitmap(BitmapHandle()), -1);
    EXPECT_EQ(list.GetCount(), 0);
    ASSERT_EQ(list.AddImage(Picture(4, 4, kRed, kRed)), 0);

    EXPECT_FALSE(list.Remove(1));
    EXPECT_FALSE(list.Remove(-2));
    EXPECT_FALSE(list.GetIcon(1));
    EXPECT_FALSE(list.GetIcon(-1));
    EXPECT_FALSE(list.Draw(5, Canvas(4, 4).Dc(), 0, 0));
    EXPECT_EQ(list.ReplaceIcon(-1, Picture(4, 4, kRed, kRed).ToIcon().Get()), -1);
    EXPECT_FALSE(list.ReplaceImage(3, Picture(4, 4, kRed, kRed)));
    EXPECT_FALSE(list.Copy(0, 1));
    IMAGEINFO info{};
    EXPECT_FALSE(list.GetImageInfo(1, &info));
    EXPECT_EQ(list.GetCount(), 1);

    EXPECT_FALSE(list.Create(0, 16));
    EXPECT_TRUE(list.IsEmpty());  // the old list went even though the new one was refused
}

TEST(ImageListBasics, ReplaceRemoveAndGetIconChangeTheRightCells) {
    ImageListObject list;
    ASSERT_TRUE(list.Create(32, 32));
    ASSERT_EQ(list.AddImage(Picture(32, 32, kRed, kRed)), 0);
    ASSERT_EQ(list.AddImage(Picture(32, 32, kGreen, kGreen)), 1);
    ASSERT_EQ(list.AddImage(Picture(32, 32, kBlue, kBlue)), 2);

    ASSERT_TRUE(list.ReplaceImage(1, Picture(32, 32, kBlue, kRed)));
    EXPECT_EQ(DrawnHalves(list, 1).left, Rgb(kBlue));
    EXPECT_EQ(DrawnHalves(list, 1).right, Rgb(kRed));
    EXPECT_EQ(DrawnHalves(list, 0).left, Rgb(kRed));

    BitmapHandle green = Picture(32, 32, kGreen, kGreen).ToBitmapHandle();
    BitmapHandle opaque(::CreateBitmap(32, 32, 1, 1, nullptr));  // all-zero mask: every pixel shows
    ASSERT_TRUE(list.Replace(2, green.Get(), opaque.Get()));
    EXPECT_FALSE(IsDeletedGdiObject(green.Get()));  // the caller keeps what it lent
    EXPECT_EQ(DrawnHalves(list, 2).left, Rgb(kGreen));

    // Removing the first moves the others down one place.
    ASSERT_TRUE(list.Remove(0));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(DrawnHalves(list, 0).left, Rgb(kBlue));
    EXPECT_EQ(DrawnHalves(list, 1).left, Rgb(kGreen));

    IconHandle icon = list.GetIcon(1);
    ASSERT_TRUE(icon);
    Canvas canvas(32, 32);
    ASSERT_TRUE(::DrawIconEx(canvas.Dc(), 0, 0, icon.Get(), 32, 32, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(canvas.Pixel(16, 16), Rgb(kGreen));

    // (Wine's ILCF_SWAP leaves the second cell blank, so only the plain copy is checked.)
    ASSERT_TRUE(list.Copy(0, 1));
    EXPECT_EQ(DrawnHalves(list, 0).left, Rgb(kGreen));
    EXPECT_EQ(DrawnHalves(list, 1).left, Rgb(kGreen));

    ASSERT_TRUE(list.Remove(-1));
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(ImageListBasics, BitmapsHandedToTheListAreDeletedAfterAdding) {
    ImageListObject list;
    ASSERT_TRUE(list.Create(8, 8, ILC_COLOR32 | ILC_MASK));
    BitmapHandle image = Picture(8, 8, kRed, kRed).ToBitmapHandle();
    BitmapHandle mask(::CreateBitmap(8, 8, 1, 1, nullptr));
    const HBITMAP imageHandle = image.Get();
    const HBITMAP maskHandle = mask.Get();
    EXPECT_EQ(list.AddBitmap(std::move(image), std::move(mask)), 0);
    EXPECT_TRUE(IsDeletedGdiObject(imageHandle));
    EXPECT_TRUE(IsDeletedGdiObject(maskHandle));

    // A bitmap without alpha, so the list takes its transparency from the mask colour.
    ImageListObject colours;
    ASSERT_TRUE(colours.Create(8, 8, ILC_COLOR24 | ILC_MASK));
    Canvas source(8, 8, RGB(255, 255, 255));
    BrushHandle blue(::CreateSolidBrush(RGB(0, 0, 255)));
    RECT leftHalf{0, 0, 4, 8};
    ::FillRect(source.Dc(), &leftHalf, blue.Get());
    BitmapHandle masked(::CreateCompatibleBitmap(source.Dc(), 8, 8));
    {
        MemoryDc copyDc(::CreateCompatibleDC(source.Dc()));
        ScopedSelect select(copyDc.Get(), masked.Get());
        ::BitBlt(copyDc.Get(), 0, 0, 8, 8, source.Dc(), 0, 0, SRCCOPY);
    }
    const HBITMAP maskedHandle = masked.Get();
    EXPECT_EQ(colours.AddMasked(std::move(masked), RGB(255, 255, 255)), 0);
    EXPECT_TRUE(IsDeletedGdiObject(maskedHandle));
    // The white half is transparent: drawing over black leaves black there.
    Canvas canvas(8, 8, RGB(0, 0, 0));
    ASSERT_TRUE(colours.Draw(0, canvas.Dc(), 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(canvas.Pixel(1, 4), Rgb(kBlue));
    EXPECT_EQ(canvas.Pixel(6, 4), 0u);
}

TEST(ImageListBasics, SizesCountsAndColoursAreKept) {
    ImageListObject list;
    ASSERT_TRUE(list.Create(16, 16));
    list.AddImage(Picture(4, 4, kRed, kRed));
    ASSERT_TRUE(list.SetIconSize(24, 20));
    int width = 0;
    int height = 0;
    ASSERT_TRUE(list.GetIconSize(&width, &height));
    EXPECT_EQ(width, 24);
    EXPECT_EQ(height, 20);
    EXPECT_EQ(list.GetCount(), 0);  // a new cell size empties the list

    ASSERT_TRUE(list.SetCount(5));
    EXPECT_EQ(list.GetCount(), 5);
    ASSERT_TRUE(list.SetCount(2));
    EXPECT_EQ(list.GetCount(), 2);

    list.SetBackColor(RGB(1, 2, 3));
    EXPECT_EQ(list.SetBackColor(CLR_NONE), RGB(1, 2, 3));
    EXPECT_EQ(list.GetBackColor(), CLR_NONE);
}

TEST(ImageListCopies, WriteThenReadGivesTheSameCellsAndDuplicatesAreIndependent) {
    ImageListObject list;
    ASSERT_TRUE(list.Create(20, 20));
    ASSERT_EQ(list.AddImage(Picture(20, 20, kRed, kBlue)), 0);
    ASSERT_EQ(list.AddImage(Picture(20, 20, kGreen, kGreen)), 1);

    const ByteBuffer saved = list.Write();
    ASSERT_FALSE(saved.empty());
    ImageListObject read;
    ASSERT_TRUE(read.Read(saved));
    EXPECT_EQ(read.GetCount(), 2);
    EXPECT_EQ(DrawnHalves(read, 0).left, Rgb(kRed));
    EXPECT_EQ(DrawnHalves(read, 0).right, Rgb(kBlue));
    EXPECT_EQ(DrawnHalves(read, 1).left, Rgb(kGreen));

    // Bad bytes leave the list as it was.
    EXPECT_FALSE(read.Read(ByteBuffer("not an image list")));
    EXPECT_FALSE(read.Read(saved.substr(0, saved.size() / 2)));
    EXPECT_FALSE(read.Read(ByteBuffer()));
    EXPECT_EQ(read.GetCount(), 2);

    ImageListObject copy = list.Duplicate();
    ASSERT_FALSE(copy.IsEmpty());
    ASSERT_TRUE(list.Remove(-1));
    EXPECT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(DrawnHalves(copy, 1).left, Rgb(kGreen));
}

TEST(ImageListFiles, BitmapAndIconFilesAreLoadedAtTheCellSize) {
    TempFile bmp(L".bmp");
    ASSERT_TRUE(bmp.Write(EncodedTwoColour(kImageFormatBmp, 32, 16, kRed, kGreen)));
    ImageListObject list;
    ASSERT_TRUE(list.Create(16, 16, ILC_COLOR32));
    // The file is loaded at the cell size: the 32 x 16 picture is squeezed into one cell.
    EXPECT_EQ(list.AddFromFile(bmp.Path(), IMAGE_BITMAP), 0);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(DrawnHalves(list, 0).left, Rgb(kRed));
    EXPECT_EQ(DrawnHalves(list, 0).right, Rgb(kGreen));
    EXPECT_EQ(list.AddFromFile(WideText(u"C:\\missing.bmp"), IMAGE_BITMAP), -1);
    EXPECT_EQ(list.AddFromFile(Text(""), IMAGE_BITMAP), -1);

    // Loading a whole list cuts the same picture into cells of the given width.
    ImageListObject loaded;
    ASSERT_TRUE(loaded.LoadFromFile(bmp.Path(), 16));
    EXPECT_EQ(loaded.GetCount(), 2);
    EXPECT_EQ(DrawnHalves(loaded, 1).right, Rgb(kGreen));
    EXPECT_FALSE(loaded.LoadFromFile(WideText(u"C:\\missing.bmp"), 16));
    EXPECT_EQ(loaded.GetCount(), 2);
}

TEST(ImageListOwnership, AThousandCoversLeakNoHandlesAndTheLastHolderFreesTheList) {
    const ImageObject cover = Picture(200, 150, kRed, kBlue);
    {
        // Warm up whatever the platform allocates once for the first list and icon.
        ImageListObject warm;
        warm.Create(140, 140);
        warm.AddImage(cover);
    }
    const Usage before = CurrentUsage();
    {
        SharedImageList shown = MakeSharedImageList();
        ASSERT_TRUE(shown->Create(140, 140, ImageListObject::kDefaultFlags, 100));
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(shown->AddImage(cover), i);
        const Usage during = CurrentUsage();
        // The icons made on the way are all gone; the list holds a few bitmaps of its own.
        EXPECT_LE(during.userObjects, before.userObjects + 4);
        EXPECT_LE(during.gdiObjects, before.gdiObjects + 20);

        // A list view borrowing the list keeps it alive after its maker lets go.
        SharedImageList borrowed = shown;
        shown.reset();
        EXPECT_EQ(borrowed->GetCount(), 1000);
        ASSERT_TRUE(borrowed->Remove(-1));
    }
    const Usage after = CurrentUsage();
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 4);
    EXPECT_LE(after.userObjects, before.userObjects + 4);
    // 1,000 leaked 140 x 140 icons would hold about 80 MB.
    EXPECT_LT(after.privateBytes, before.privateBytes + 16u * 1024 * 1024);
}

TEST(ImageListOwnership, MovingAndRecreatingDestroyEachListOnce) {
    const Usage before = CurrentUsage();
    {
        ImageListObject list;
        for (int i = 0; i < 50; ++i) ASSERT_TRUE(list.Create(64, 64));  // each replaces the last
        ImageListObject moved(std::move(list));
        EXPECT_TRUE(list.IsEmpty());  // NOLINT(bugprone-use-after-move): the moved-from state
        ImageListObject target;
        ASSERT_TRUE(target.Create(8, 8));
        target = std::move(moved);
        int width = 0;
        ASSERT_TRUE(target.GetIconSize(&width, nullptr));
        EXPECT_EQ(width, 64);
        HIMAGELIST raw = target.Detach();
        EXPECT_TRUE(target.IsEmpty());
        ImageListObject adopted(raw);
        EXPECT_EQ(adopted.Handle(), raw);
    }
    EXPECT_LE(CurrentUsage().gdiObjects, before.gdiObjects + 4);
}

TEST(ImageListDragging, ADragStartsOnlyFromAnExistingImage) {
    ImageListObject list;
    ASSERT_TRUE(list.Create(16, 16));
    ASSERT_EQ(list.AddImage(Picture(16, 16, kRed, kRed)), 0);
    EXPECT_FALSE(list.BeginDrag(3, 0, 0));
    ASSERT_TRUE(list.BeginDrag(0, 2, 2));
    EXPECT_TRUE(ImageListObject::DragMove(10, 10));
    ImageListObject::EndDrag();
}
