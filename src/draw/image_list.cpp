#include "draw/image_list.h"

#include <utility>

#include "draw/image_object.h"
#include "draw/memory_stream.h"
#include "text/text_helpers.h"

void ImageListObject::Attach(HIMAGELIST list) {
    list_.Reset(list);
}

HIMAGELIST ImageListObject::Detach() {
    return list_.Release();
}

void ImageListObject::Destroy() {
    list_.Reset();
}

bool ImageListObject::Create(int width, int height, UINT flags, int initial) {
    Destroy();
    if (width <= 0 || height <= 0 || initial < 0) return false;
    list_.Reset(::ImageList_Create(width, height, flags, initial, initial));
    return static_cast<bool>(list_.Get());
}

int ImageListObject::AddImage(const ImageObject& image) {
    if (!list_ || image.IsEmpty()) return -1;
    IconHandle icon = image.ToIcon();
    if (!icon) return -1;
    return ::ImageList_AddIcon(list_.Get(), icon.Get());
}

int ImageListObject::AddIcon(HICON icon) {
    if (!list_ || icon == nullptr) return -1;
    return ::ImageList_AddIcon(list_.Get(), icon);
}

int ImageListObject::AddBitmap(BitmapHandle image, BitmapHandle mask) {
    if (!list_ || !image) return -1;
    return ::ImageList_Add(list_.Get(), image.Get(), mask.Get());
}

int ImageListObject::AddMasked(BitmapHandle image, COLORREF maskColor) {
    if (!list_ || !image) return -1;
    return ::ImageList_AddMasked(list_.Get(), image.Get(), maskColor);
}

int ImageListObject::AddFromFile(const WideText& path, UINT type) {
    int width = 0;
    int height = 0;
    if (!list_ || path.empty() || !GetIconSize(&width, &height)) return -1;
    HANDLE loaded = ::LoadImageW(nullptr, WinStr(path), type, width, height, LR_LOADFROMFILE);
    if (loaded == nullptr) return -1;
    if (type == IMAGE_BITMAP) {
        BitmapHandle bitmap(static_cast<HBITMAP>(loaded));
        return ::ImageList_Add(list_.Get(), bitmap.Get(), nullptr);
    }
    if (type == IMAGE_ICON || type == IMAGE_CURSOR) {
        // Cursors are icons to the image list and are destroyed the same way.
        IconHandle icon(static_cast<HICON>(loaded));
        return ::ImageList_AddIcon(list_.Get(), icon.Get());
    }
    // Any other kind LoadImageW returned is a GDI object the list cannot take.
    GdiObjectHandle::Close(static_cast<HGDIOBJ>(loaded));
    return -1;
}

int ImageListObject::AddFromFile(const Text& path, UINT type) {
    if (path.empty()) return -1;
    return AddFromFile(AnsiToWide(path), type);
}

bool ImageListObject::LoadFromFile(const WideText& path, int cellWidth, COLORREF maskColor,
                                   UINT type, UINT loadFlags) {
    if (path.empty() || cellWidth <= 0) return false;
    HIMAGELIST loaded = ::ImageList_LoadImageW(nullptr, WinStr(path), cellWidth, 4, maskColor, type,
                                               loadFlags | LR_LOADFROMFILE);
    if (loaded == nullptr) return false;
    Attach(loaded);
    return true;
}

bool ImageListObject::LoadFromFile(const Text& path, int cellWidth, COLORREF maskColor, UINT type,
                                   UINT loadFlags) {
    if (path.empty()) return false;
    return LoadFromFile(AnsiToWide(path), cellWidth, maskColor, type, loadFlags);
}

ByteBuffer ImageListObject::Write() const {
    if (!list_) return {};
    StreamRef stream = BytesToStream(ByteBuffer(), false);
    if (!stream || !::ImageList_Write(list_.Get(), stream.Get())) return {};
    return StreamToBytes(stream.Get());
}

bool ImageListObject::Read(const ByteBuffer& bytes) {
    if (bytes.empty()) return false;
    StreamRef stream = BytesToStream(bytes);
    if (!stream) return false;
    HIMAGELIST read = ::ImageList_Read(stream.Get());
    if (read == nullptr) return false;
    Attach(read);
    return true;
}

bool ImageListObject::Remove(int index) {
    if (!list_ || index < -1 || index >= GetCount()) return false;
    return ::ImageList_Remove(list_.Get(), index) != FALSE;
}

bool ImageListObject::Replace(int index, HBITMAP image, HBITMAP mask) {
    if (!list_ || image == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_Replace(list_.Get(), index, image, mask) != FALSE;
}

int ImageListObject::ReplaceIcon(int index, HICON icon) {
    // -1 would append: that is AddIcon's business, not a replacement.
    if (!list_ || icon == nullptr || index < 0 || index >= GetCount()) return -1;
    return ::ImageList_ReplaceIcon(list_.Get(), index, icon);
}

bool ImageListObject::ReplaceImage(int index, const ImageObject& image) {
    if (image.IsEmpty()) return false;
    IconHandle icon = image.ToIcon();
    return icon && ReplaceIcon(index, icon.Get()) == index;
}

bool ImageListObject::Copy(int destination, int source, UINT flags) {
    const int count = GetCount();
    if (!list_ || destination < 0 || source < 0 || destination >= count || source >= count) {
        return false;
    }
    return ::ImageList_Copy(list_.Get(), destination, list_.Get(), source, flags) != FALSE;
}

ImageListObject ImageListObject::Duplicate() const {
    if (!list_) return {};
    return ImageListObject(::ImageList_Duplicate(list_.Get()));
}

IconHandle ImageListObject::GetIcon(int index, UINT flags) const {
    if (!list_ || index < 0 || index >= GetCount()) return {};
    return IconHandle(::ImageList_GetIcon(list_.Get(), index, flags));
}

int ImageListObject::GetCount() const {
    if (!list_) return 0;
    return ::ImageList_GetImageCount(list_.Get());
}

bool ImageListObject::SetCount(UINT count) {
    if (!list_) return false;
    return ::ImageList_SetImageCount(list_.Get(), count) != FALSE;
}

bool ImageListObject::GetIconSize(int* width, int* height) const {
    int w = 0;
    int h = 0;
    if (!list_ || !::ImageList_GetIconSize(list_.Get(), &w, &h)) return false;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return true;
}

bool ImageListObject::SetIconSize(int width, int height) {
    if (!list_ || width <= 0 || height <= 0) return false;
    return ::ImageList_SetIconSize(list_.Get(), width, height) != FALSE;
}

COLORREF ImageListObject::GetBackColor() const {
    if (!list_) return CLR_NONE;
    return ::ImageList_GetBkColor(list_.Get());
}

COLORREF ImageListObject::SetBackColor(COLORREF color) {
    if (!list_) return CLR_NONE;
    return ::ImageList_SetBkColor(list_.Get(), color);
}

bool ImageListObject::GetImageInfo(int index, IMAGEINFO* info) const {
    if (!list_ || info == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_GetImageInfo(list_.Get(), index, info) != FALSE;
}

bool ImageListObject::Draw(int index, HDC dc, int x, int y, UINT style) const {
    if (!list_ || dc == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_Draw(list_.Get(), index, dc, x, y, style) != FALSE;
}

bool ImageListObject::DrawEx(int index, HDC dc, int x, int y, int width, int height,
                             COLORREF background, COLORREF foreground, UINT style) const {
    if (!list_ || dc == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_DrawEx(list_.Get(), index, dc, x, y, width, height, background, foreground,
                              style) != FALSE;
}

bool ImageListObject::BeginDrag(int index, int hotX, int hotY) const {
    if (!list_ || index < 0 || index >= GetCount()) return false;
    return ::ImageList_BeginDrag(list_.Get(), index, hotX, hotY) != FALSE;
}

bool ImageListObject::DragEnter(HWND lockWindow, int x, int y) {
    return ::ImageList_DragEnter(lockWindow, x, y) != FALSE;
}

bool ImageListObject::DragMove(int x, int y) {
    return ::ImageList_DragMove(x, y) != FALSE;
}

bool ImageListObject::DragShowNolock(bool show) {
    return ::ImageList_DragShowNolock(show ? TRUE : FALSE) != FALSE;
}

bool ImageListObject::DragLeave(HWND lockWindow) {
    return ::ImageList_DragLeave(lockWindow) != FALSE;
}

void ImageListObject::EndDrag() {
    ::ImageList_EndDrag();
}
