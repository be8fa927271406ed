#include "draw/image_object.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <string_view>

#include "draw/gdiplus_api.h"
#include "text/text_helpers.h"

namespace {

constexpr PROPID kPropertyFrameDelay = 0x5100;
constexpr PROPID kPropertyLoopCount = 0x5101;

// One property item read whole. GDI+ puts the item header and the value it points at in one
// buffer; the value is only trusted as far as that buffer reaches.
class PropertyBuffer {
  public:
    PropertyBuffer(GpImage* image, PROPID id) {
        UINT size = 0;
        if (image == nullptr || !GpOk(gp::GdipGetPropertyItemSize(image, id, &size))) return;
        if (size < sizeof(Gdiplus::PropertyItem)) return;
        storage_.resize((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
        auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(storage_.data());
        if (!GpOk(gp::GdipGetPropertyItem(image, id, size, item))) return;
        const auto* begin = reinterpret_cast<const char*>(storage_.data());
        const auto* value = static_cast<const char*>(item->value);
        if (value == nullptr) return;
        // The value normally follows the header inside the buffer; never read past its end.
        if (value >= begin && value <= begin + size) {
            const std::size_t room = static_cast<std::size_t>(begin + size - value);
            value_ = std::string_view(value, std::min<std::size_t>(item->length, room));
        }
        type_ = item->type;
    }
    std::string_view Value() const { return value_; }
    WORD Type() const { return type_; }

  private:
    std::vector<std::uint64_t> storage_;
    std::string_view value_;
    WORD type_ = 0;
};

Gdiplus::GpBitmap* AsBitmap(GpImage* image) {
    return static_cast<GpBitmap*>(image);
}

}  // namespace

bool GpImageTraits::Close(Gdiplus::GpImage* image) {
    return GpOk(gp::GdipDisposeImage(image));
}

ImageObject::ImageObject(Gdiplus::GpImage* image) : image_(image) {}

ImageObject::~ImageObject() {
    Dispose();
}

ImageObject::ImageObject(ImageObject&& other) noexcept
    : image_(std::move(other.image_)), stream_(std::move(other.stream_)) {}

ImageObject& ImageObject::operator=(ImageObject&& other) noexcept {
    if (this != &other) {
        Dispose();
        image_ = std::move(other.image_);
        stream_ = std::move(other.stream_);
    }
    return *this;
}

void ImageObject::Attach(Gdiplus::GpImage* image, StreamRef stream) {
    Dispose();
    image_.Reset(image);
    stream_ = std::move(stream);
}

void ImageObject::Dispose() {
    // The image reads from the stream until it is gone, so it goes first.
    image_.Reset();
    stream_.Reset();
}

bool ImageObject::LoadFromFile(const WideText& path) {
    Dispose();
    if (path.empty()) return false;
    GpImage* image = nullptr;
    if (!GpOk(gp::GdipLoadImageFromFile(WinStr(path), &image)) || image == nullptr) return false;
    image_.Reset(image);
    return true;
}

bool ImageObject::LoadFromFileText(const Text& path) {
    Dispose();
    if (path.empty()) return false;
    return LoadFromFile(AnsiToWide(path));
}

bool ImageObject::LoadFromBytes(const ByteBuffer& bytes) {
    Dispose();
    StreamRef stream = BytesToStream(bytes);
    if (!stream) return false;
    GpImage* image = nullptr;
    if (!GpOk(gp::GdipLoadImageFromStream(stream.Get(), &image)) || image == nullptr) return false;
    image_.Reset(image);
    stream_ = std::move(stream);
    return true;
}

ImageObject ImageObject::Clone() const {
    ImageObject copy;
    GpImage* image = nullptr;
    if (!image_ || !GpOk(gp::GdipCloneImage(image_.Get(), &image)) || image == nullptr) {
        return copy;
    }
    // A copy of a lazily decoded picture may still read from the same stream: it holds a
    // reference of its own.
    copy.Attach(image, ShareRef(stream_.Get()));
    return copy;
}

Text ImageObject::GetFormat() const {
    GUID format{};
    if (!image_ || !GpOk(gp::GdipGetImageRawFormat(image_.Get(), &format))) return {};
    return GuidText(format);
}

int ImageObject::GetPixelFormat() const {
    Gdiplus::PixelFormat format = 0;
    if (!image_ || !GpOk(gp::GdipGetImagePixelFormat(image_.Get(), &format))) return 0;
    return format;
}

ByteBuffer ImageObject::SaveToBytes(const Text& format) const {
    if (!image_) return {};
    const std::optional<CLSID> encoder = FindEncoder(format.empty() ? GetFormat() : format);
    if (!encoder) return {};
    StreamRef stream = BytesToStream(ByteBuffer(), false);
    if (!stream) return {};
    if (!GpOk(gp::GdipSaveImageToStream(image_.Get(), stream.Get(), &*encoder, nullptr))) return {};
    return StreamToBytes(stream.Get());
}

ImageDimension ImageObject::GetDimension() const {
    ImageDimension size;
    if (!image_ || !GpOk(gp::GdipGetImageDimension(image_.Get(), &size.width, &size.height))) {
        return {};
    }
    return size;
}

ImageBounds ImageObject::GetBounds() const {
    Gdiplus::GpRectF rect{};
    Gdiplus::GpUnit unit{};
    if (!image_ || !GpOk(gp::GdipGetImageBounds(image_.Get(), &rect, &unit))) return {};
    return {rect.X, rect.Y, rect.Width, rect.Height};
}

UINT ImageObject::GetWidth() const {
    UINT width = 0;
    if (!image_ || !GpOk(gp::GdipGetImageWidth(image_.Get(), &width))) return 0;
    return width;
}

UINT ImageObject::GetHeight() const {
    UINT height = 0;
    if (!image_ || !GpOk(gp::GdipGetImageHeight(image_.Get(), &height))) return 0;
    return height;
}

float ImageObject::GetHorizontalResolution() const {
    float dpi = 0;
    if (!image_ || !GpOk(gp::GdipGetImageHorizontalResolution(image_.Get(), &dpi))) return 0;
    return dpi;
}

float ImageObject::GetVerticalResolution() const {
    float dpi = 0;
    if (!image_ || !GpOk(gp::GdipGetImageVerticalResolution(image_.Get(), &dpi))) return 0;
    return dpi;
}

bool ImageObject::GetThumbnail(UINT width, UINT height, ImageObject& target) const {
    if (!image_ || width == 0 || height == 0) return false;
    GpImage* thumb = nullptr;
    if (!GpOk(gp::GdipGetImageThumbnail(image_.Get(), width, height, &thumb, nullptr, nullptr)) ||
        thumb == nullptr) {
        return false;
    }
    target.Attach(thumb);
    return true;
}

UINT ImageObject::GetFrameCount(const Text& dimension) const {
    const std::optional<GUID> id = ParseGuid(dimension);
    UINT count = 0;
    if (!image_ || !id || !GpOk(gp::GdipImageGetFrameCount(image_.Get(), &*id, &count))) {
        return 0;
    }
    return count;
}

bool ImageObject::SelectFrame(const Text& dimension, UINT index) {
    const std::optional<GUID> id = ParseGuid(dimension);
    if (!image_ || !id) return false;
    return GpOk(gp::GdipImageSelectActiveFrame(image_.Get(), &*id, index));
}

std::vector<std::uint32_t> ImageObject::GetFrameDelays() const {
    PropertyBuffer property(image_.Get(), kPropertyFrameDelay);
    const std::string_view value = property.Value();
    std::vector<std::uint32_t> delays(value.size() / sizeof(std::uint32_t));
    if (!delays.empty()) std::memcpy(delays.data(), value.data(), delays.size() * 4);
    return delays;
}

int ImageObject::GetLoopCount() const {
    PropertyBuffer property(image_.Get(), kPropertyLoopCount);
    const std::string_view value = property.Value();
    if (value.size() >= sizeof(std::uint32_t) && property.Type() == PropertyTagTypeLong) {
        std::uint32_t count = 0;
        std::memcpy(&count, value.data(), sizeof count);
        return static_cast<int>(count & 0x7FFFFFFF);
    }
    if (value.size() >= sizeof(WORD)) {
        WORD count = 0;
        std::memcpy(&count, value.data(), sizeof count);
        return count;
    }
    return -1;
}

BitmapHandle ImageObject::ToBitmapHandle(ArgbColor background) const {
    HBITMAP bitmap = nullptr;
    if (!image_ ||
        !GpOk(gp::GdipCreateHBITMAPFromBitmap(AsBitmap(image_.Get()), &bitmap, background))) {
        return {};
    }
    return BitmapHandle(bitmap);
}

IconHandle ImageObject::ToIcon() const {
    HICON icon = nullptr;
    if (!image_ || !GpOk(gp::GdipCreateHICONFromBitmap(AsBitmap(image_.Get()), &icon))) {
        return {};
    }
    return IconHandle(icon);
}

bool ImageObject::DrawTo(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                         DWORD rasterOp, ArgbColor background) const {
    if (dc == nullptr || !image_) return false;
    MemoryDc memory(::CreateCompatibleDC(dc));
    BitmapHandle bitmap = ToBitmapHandle(background);
    if (!memory || !bitmap) return false;
    ScopedSelect select(memory.Get(), bitmap.Get());
    if (!select.Ok()) return false;
    return ::BitBlt(dc, x, y, width, height, memory.Get(), sourceX, sourceY, rasterOp) != FALSE;
}

bool ImageObject::DrawAlphaTo(HDC dc, const RECT& destination, const RECT& source,
                              BLENDFUNCTION blend) const {
    if (dc == nullptr || !image_) return false;
    MemoryDc memory(::CreateCompatibleDC(dc));
    BitmapHandle bitmap = ToBitmapHandle(0);
    if (!memory || !bitmap) return false;
    ScopedSelect select(memory.Get(), bitmap.Get());
    if (!select.Ok()) return false;
    // GdiAlphaBlend is AlphaBlend's own entry in gdi32, so this folder needs no msimg32.
    return ::GdiAlphaBlend(
               dc, destination.left, destination.top, destination.right - destination.left,
               destination.bottom - destination.top, memory.Get(), source.left, source.top,
               source.right - source.left, source.bottom - source.top, blend) != FALSE;
}

Text GuidText(const GUID& guid) {
    wchar_t buffer[39] = {};
    if (::StringFromGUID2(guid, buffer, 39) == 0) return {};
    return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), 38));
}

std::optional<GUID> ParseGuid(const Text& text) {
    // Only the registry form: a ProgID lookup in the registry is never wanted here.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    WideText wide = AnsiToWide(text);
    GUID guid{};
    if (wide.empty() || FAILED(::IIDFromString(WinStr(wide), &guid))) return std::nullopt;
    return guid;
}

std::optional<CLSID> FindEncoder(const Text& format) {
    if (format.empty()) return std::nullopt;
    UINT count = 0;
    UINT size = 0;
    if (!GpOk(gp::GdipGetImageEncodersSize(&count, &size)) || count == 0 ||
        size < count * sizeof(Gdiplus::ImageCodecInfo)) {
        return std::nullopt;
    }
    std::vector<std::uint64_t> storage((size + 7) / 8);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
    if (!GpOk(gp::GdipGetImageEncoders(count, size, codecs))) return std::nullopt;
    for (UINT i = 0; i < count; ++i) {
        if (GuidText(codecs[i].FormatID) == format) return codecs[i].Clsid;
    }
    return std::nullopt;
}
