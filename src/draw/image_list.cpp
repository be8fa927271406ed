#include "draw/image_list.h"

#include <utility>

#include "draw/image_object.h"
#include "draw/memory_stream.h"
#include "text/text_helpers.h"

ImageListObject::~ImageListObject() {
    Destroy();
}

ImageListObject::ImageListObject(ImageListObject&& other) noexcept : list_(other.Detach()) {}

ImageListObject& ImageListObject::operator=(ImageListObject&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
}

void ImageListObject::Attach(HIMAGELIST list) {
    if (list == list_) return;
    Destroy();
    list_ = list;
}

HIMAGELIST ImageListObject::Detach() {
    return std::exchange(list_, nullptr);
}

void ImageListObject::Destroy() {
    if (list_ != nullptr) ::ImageList_Destroy(std::exchange(list_, nullptr));
}

bool ImageListObject::Create(int width, int height, UINT flags, int initial) {
    Destroy();
    if (width <= 0 || height <= 0 || initial < 0) return false;
    list_ = ::ImageList_Create(width, height, flags, initial, initial);
    return list_ != nullptr;
}

int ImageListObject::AddImage(const ImageObject& image) {
    if (list_ == nullptr || image.IsEmpty()) return -1;
    IconHandle icon = image.ToIcon();
    if (!icon) return -1;
    return ::ImageList_AddIcon(list_, icon.Get());
}

int ImageListObject::AddIcon(HICON icon) {
    if (list_ == nullptr || icon == nullptr) return -1;
    return ::ImageList_AddIcon(list_, icon);
}

int ImageListObject::AddBitmap(BitmapHandle image, BitmapHandle mask) {
    if (list_ == nullptr || !image) return -1;
    return ::ImageList_Add(list_, image.Get(), mask.Get());
}

int ImageListObject::AddMasked(BitmapHandle image, COLORREF maskColor) {
    if (list_ == nullptr || !image) return -1;
    return ::ImageList_AddMasked(list_, image.Get(), maskColor);
}

int ImageListObject::AddFromFile(const WideText& path, UINT type) {
    int width = 0;
    int height = 0;
    if (list_ == nullptr || path.empty() || !GetIconSize(&width, &height)) return -1;
    HANDLE loaded = ::LoadImageW(nullptr, WinStr(path), type, width, height, LR_LOADFROMFILE);
    if (loaded == nullptr) return -1;
    if (type == IMAGE_BITMAP) {
        BitmapHandle bitmap(static_cast<HBITMAP>(loaded));
        return ::ImageList_Add(list_, bitmap.Get(), nullptr);
    }
    if (type == IMAGE_ICON || type == IMAGE_CURSOR) {
        // Cursors are icons to the image list and are destroyed the same way.
        IconHandle icon(static_cast<HICON>(loaded));
        return ::ImageList_AddIcon(list_, icon.Get());
    }
    // Any other kind LoadImageW returned is an object the list cannot take.
    ::DeleteObject(loaded);
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
    if (list_ == nullptr) return {};
    StreamRef stream = BytesToStream(ByteBuffer(), false);
    if (!stream || !::ImageList_Write(list_, stream.Get())) return {};
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
    if (list_ == nullptr || index < -1 || index >= GetCount()) return false;
    return ::ImageList_Remove(list_, index) != FALSE;
}

bool ImageListObject::Replace(int index, HBITMAP image, HBITMAP mask) {
    if (list_ == nullptr || image == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_Replace(list_, index, image, mask) != FALSE;
}

int ImageListObject::ReplaceIcon(int index, HICON icon) {
    // -1 would append: that is AddIcon's business, not a replacement.
    if (list_ == nullptr || icon == nullptr || index < 0 || index >= GetCount()) return -1;
    return ::ImageList_ReplaceIcon(list_, index, icon);
}

bool ImageListObject::ReplaceImage(int index, const ImageObject& image) {
    if (image.IsEmpty()) return false;
    IconHandle icon = image.ToIcon();
    return icon && ReplaceIcon(index, icon.Get()) == index;
}

bool ImageListObject::Copy(int destination, int source, UINT flags) {
    const int count = GetCount();
    if (list_ == nullptr || destination < 0 || source < 0 || destination >= count ||
        source >= count) {
        return false;
    }
    return ::ImageList_Copy(list_, destination, list_, source, flags) != FALSE;
}

ImageListObject ImageListObject::Duplicate() const {
    if (list_ == nullptr) return {};
    return ImageListObject(::ImageList_Duplicate(list_));
}

IconHandle ImageListObject::GetIcon(int index, UINT flags) const {
    if (list_ == nullptr || index < 0 || index >= GetCount()) return {};
    return IconHandle(::ImageList_GetIcon(list_, index, flags));
}

int ImageListObject::GetCount() const {
    if (list_ == nullptr) return 0;
    return ::ImageList_GetImageCount(list_);
}

bool ImageListObject::SetCount(UINT count) {
    if (list_ == nullptr) return false;
    return ::ImageList_SetImageCount(list_, count) != FALSE;
}

bool ImageListObject::GetIconSize(int* width, int* height) const {
    int w = 0;
    int h = 0;
    if (list_ == nullptr || !::ImageList_GetIconSize(list_, &w, &h)) return false;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return true;
}

bool ImageListObject::SetIconSize(int width, int height) {
    if (list_ == nullptr || width <= 0 || height <= 0) return false;
    return ::ImageList_SetIconSize(list_, width, height) != FALSE;
}

COLORREF ImageListObject::GetBackColor() const {
    if (list_ == nullptr) return CLR_NONE;
    return ::ImageList_GetBkColor(list_);
}

COLORREF ImageListObject::SetBackColor(COLORREF color) {
    if (list_ == nullptr) return CLR_NONE;
    return ::ImageList_SetBkColor(list_, color);
}

bool ImageListObject::GetImageInfo(int index, IMAGEINFO* info) const {
    if (list_ == nullptr || info == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_GetImageInfo(list_, index, info) != FALSE;
}

bool ImageListObject::Draw(int index, HDC dc, int x, int y, UINT style) const {
    if (list_ == nullptr || dc == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_Draw(list_, index, dc, x, y, style) != FALSE;
}

bool ImageListObject::DrawEx(int index, HDC dc, int x, int y, int width, int height,
                             COLORREF background, COLORREF foreground, UINT style) const {
    if (list_ == nullptr || dc == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_DrawEx(list_, index, dc, x, y, width, height, background, foreground,
                              style) != FALSE;
}

bool ImageListObject::BeginDrag(int index, int hotX, int hotY) const {
    if (list_ == nullptr || index < 0 || index >= GetCount()) return false;
    return ::ImageList_BeginDrag(list_, index, hotX, hotY) != FALSE;
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
