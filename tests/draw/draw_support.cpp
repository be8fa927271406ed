#include "draw_support.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "common/gif_bytes.h"
#include "draw/gdiplus_session.h"

namespace drawtest {

namespace {

// GDI+ runs for the whole test binary, as the application host keeps it for the program's life.
class GdiplusEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        session_ = new GdiplusSession();
        ASSERT_TRUE(session_->Ok());
    }
    void TearDown() override { delete session_; }

  private:
    GdiplusSession* session_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

}  // namespace

BitmapObject TwoColourBitmap(int width, int height, ArgbColor left, ArgbColor right) {
    BitmapObject bitmap = BitmapObject::FromPixels(width, height, kPixelFormat32bppARGB);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, x < width / 2 ? left : right);
    }
    return bitmap;
}

ByteBuffer EncodedTwoColour(const char* format, int width, int height, ArgbColor left,
                            ArgbColor right) {
    return TwoColourBitmap(width, height, left, right).SaveToBytes(format);
}

ByteBuffer AnimatedGif(int width, int height, const std::vector<std::uint32_t>& colours,
                       const std::vector<std::uint16_t>& delays, int loops) {
    return gifbytes::AnimatedGif(width, height, colours, delays, loops);
}

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = Dib32Info(width, height);
    dc_.Reset(::CreateCompatibleDC(nullptr));
    void* bits = nullptr;
    bitmap_.Reset(::CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<std::uint32_t*>(bits);
    previous_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    BrushHandle brush(::CreateSolidBrush(fill));
    RECT all{0, 0, width, height};
    ::FillRect(dc_.Get(), &all, brush.Get());
}

Canvas::~Canvas() {
    if (previous_ != nullptr) ::SelectObject(dc_.Get(), previous_);
}

std::uint32_t Canvas::Pixel(int x, int y) const {
    ::GdiFlush();
    if (bits_ == nullptr || x < 0 || y < 0 || x >= width_ || y >= height_) return 0xDEADBEEF;
    return bits_[static_cast<std::size_t>(y) * width_ + x] & 0x00FFFFFF;
}

namespace {

// Wine answers GetGuiResources with 0. Its handle tables also take a handle given by its slot
// number alone, so the live objects can be counted by asking every slot.
DWORD CountGdiSlots() {
    DWORD live = 0;
    for (ULONG_PTR slot = 1; slot < 0x10000; ++slot) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
    }
    return live;
}

DWORD CountIconSlots() {
    DWORD live = 0;
    for (ULONG_PTR slot = 1; slot < 0x10000; ++slot) {
        ICONINFO parts{};
        if (::GetIconInfo(reinterpret_cast<HICON>(slot), &parts)) {
            ++live;
            BitmapHandle colour(parts.hbmColor);
            BitmapHandle mask(parts.hbmMask);
        }
    }
    return live;
}

}  // namespace

Usage CurrentUsage() {
    Usage usage;
    usage.gdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (usage.gdiObjects == 0) usage.gdiObjects = CountGdiSlots();
    usage.userObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    if (usage.userObjects == 0) usage.userObjects = CountIconSlots();
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::K32GetProcessMemoryInfo(::GetCurrentProcess(),
                                  reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                  sizeof counters)) {
        // Wine leaves PrivateUsage at 0; its committed (page-file) bytes are the same measure.
        usage.privateBytes =
            counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    }
    return usage;
}

TempFile::TempFile(const wchar_t* suffix) {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, folder);
    static int serial = 0;
    std::wstring name = std::wstring(folder) + L"pict_draw_" +
                        std::to_wstring(::GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++serial) + suffix;
    path_.assign(name.begin(), name.end());
}

TempFile::~TempFile() {
    ::DeleteFileW(WinStr(path_));
}

bool TempFile::Write(const ByteBuffer& bytes) const {
    std::ofstream file(std::filesystem::path(std::wstring(path_.begin(), path_.end())),
                       std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace drawtest
