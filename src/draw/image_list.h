#pragma once
// A common-controls image list. The object owns its HIMAGELIST and destroys it when it goes or
// when a new list is created in it. A control that shows the list (a list view) borrows it:
// share it through SharedImageList so the list lives as long as its last holder.
//
// Indexes are the list's own, counted from 0; -1 is "none" / failure.
// The image-list functions tolerate being called from a worker thread while the window thread
// draws (covers are added from the analysis thread).
#include <windows.h>
// IStream first: the list-to-stream functions are only declared when it is known.
#include <objidl.h>
#include <commctrl.h>

#include <memory>

#include "draw/gdi_handles.h"
#include "text/text_types.h"

class ImageObject;

class ImageListObject {
  public:
    static constexpr UINT kDefaultFlags = ILC_COLOR32 | ILC_MASK;  // 0x21

    ImageListObject() = default;
    // Takes ownership of an existing list.
    explicit ImageListObject(HIMAGELIST list) : list_(list) {}
    ImageListObject(ImageListObject&& other) noexcept = default;
    ImageListObject& operator=(ImageListObject&& other) noexcept = default;

    HIMAGELIST Handle() const { return list_.Get(); }
    bool IsEmpty() const { return !list_; }
    // Destroys the held list, then owns `list`.
    void Attach(HIMAGELIST list);
    // Gives the list away; the caller destroys it.
    HIMAGELIST Detach();
    void Destroy();

    // Destroys the old list and makes a new one with cells of width x height. `initial` is also
    // the growth step.
    bool Create(int width, int height, UINT flags = kDefaultFlags, int initial = 16);

    // Adds the image as an icon that the list scales to its cells; -1 for an empty image.
    int AddImage(const ImageObject& image);
    // The list copies the icon; the caller keeps it.
    int AddIcon(HICON icon);
    // The list copies the bitmaps; they are deleted afterwards (passed by ownership).
    int AddBitmap(BitmapHandle image, BitmapHandle mask = BitmapHandle());
    int AddMasked(BitmapHandle image, COLORREF maskColor);
    // Loads a bitmap, icon or cursor file (IMAGE_BITMAP, IMAGE_ICON, IMAGE_CURSOR) at the cell
    // size and adds it; the loaded handle is freed.
    int AddFromFile(const WideText& path, UINT type = IMAGE_ICON);
    int AddFromFile(const Text& path, UINT type = IMAGE_ICON);  // path in code page 936
    // Replaces the list with one loaded from a file (ImageList_LoadImageW, LR_LOADFROMFILE added
    // to `loadFlags`).
    bool LoadFromFile(const WideText& path, int cellWidth, COLORREF maskColor = CLR_NONE,
                      UINT type = IMAGE_BITMAP, UINT loadFlags = LR_CREATEDIBSECTION);
    bool LoadFromFile(const Text& path, int cellWidth, COLORREF maskColor = CLR_NONE,
                      UINT type = IMAGE_BITMAP, UINT loadFlags = LR_CREATEDIBSECTION);

    // The list as ImageList_Write writes it; empty on failure.
    ByteBuffer Write() const;
    // Replaces the list with one read from such bytes; false (list unchanged) on failure.
    bool Read(const ByteBuffer& bytes);

    // -1 removes all.
    bool Remove(int index = -1);
    // The list copies the bitmaps; the caller keeps them.
    bool Replace(int index, HBITMAP image, HBITMAP mask = nullptr);
    // Returns the index or -1.
    int ReplaceIcon(int index, HICON icon);
    bool ReplaceImage(int index, const ImageObject& image);
    // Within this list: ILCF_MOVE copies source onto destination, ILCF_SWAP swaps them.
    bool Copy(int destination, int source, UINT flags = ILCF_MOVE);
    // An independent copy; empty on failure.
    ImageListObject Duplicate() const;

    IconHandle GetIcon(int index, UINT flags = ILD_NORMAL) const;
    int GetCount() const;
    bool SetCount(UINT count);
    bool GetIconSize(int* width, int* height) const;
    // Also empties the list (the platform's rule).
    bool SetIconSize(int width, int height);
    COLORREF GetBackColor() const;
    // Returns the previous colour; CLR_NONE draws transparently.
    COLORREF SetBackColor(COLORREF color);
    bool GetImageInfo(int index, IMAGEINFO* info) const;

    bool Draw(int index, HDC dc, int x, int y, UINT style = ILD_NORMAL) const;
    // width/height 0 = the cell size.
    bool DrawEx(int index, HDC dc, int x, int y, int width, int height,
                COLORREF background = CLR_DEFAULT, COLORREF foreground = CLR_DEFAULT,
                UINT style = ILD_NORMAL) const;

    // Dragging: the platform keeps one drag image per process, so all but BeginDrag are static.
    bool BeginDrag(int index, int hotX, int hotY) const;
    static bool DragEnter(HWND lockWindow, int x, int y);
    static bool DragMove(int x, int y);
    static bool DragShowNolock(bool show);
    static bool DragLeave(HWND lockWindow);
    static void EndDrag();

  private:
    ImageListHandle list_;
};

// The form controls hold: the last holder destroys the list.
using SharedImageList = std::shared_ptr<ImageListObject>;

inline SharedImageList MakeSharedImageList() {
    return std::make_shared<ImageListObject>();
}
