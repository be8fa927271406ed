#include "screenshot.h"

#include <array>

#include "draw/gdi_handles.h"

namespace driver {

namespace {

bool ReadBitmap(HDC dc, HBITMAP bitmap, int w, int h, Pixels& out) {
    BITMAPINFO info = Dib32Info(w, h);
    std::vector<uint8_t> bgra(static_cast<size_t>(w) * h * 4);
    if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(h), bgra.data(), &info, DIB_RGB_COLORS) != h) {
        return false;
    }
    out.width = w;
    out.height = h;
    out.rgb.resize(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0, j = 0; i < bgra.size(); i += 4, j += 3) {
        out.rgb[j] = bgra[i + 2];
        out.rgb[j + 1] = bgra[i + 1];
        out.rgb[j + 2] = bgra[i];
    }
    return true;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void PutLittle(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
}

void PngChunk(std::string& out, const char* type, const std::string& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    out += body;
    PutBig32(out, Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// Lets `draw` paint the area's size into a screen-compatible bitmap, then reads it back.
template <class Draw>
bool CaptureArea(const RECT& area, Pixels& out, const Draw& draw) {
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return false;
    WindowDc screen(nullptr);
    MemoryDc memory(CreateCompatibleDC(screen.Get()));
    BitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), w, h));
    if (!screen || !memory || !bitmap) return false;
    {
        ScopedSelect select(memory.Get(), bitmap.Get());
        if (!draw(memory.Get(), screen.Get(), w, h)) return false;
    }
    return ReadBitmap(memory.Get(), bitmap.Get(), w, h, out);
}

}  // namespace

bool CaptureScreen(const RECT& area, Pixels& out) {
    return CaptureArea(area, out, [&area](HDC memory, HDC screen, int w, int h) {
        return BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY) != FALSE;
    });
}

bool CaptureWindow(HWND window, Pixels& out) {
    RECT area{};
    if (!GetWindowRect(window, &area)) return false;
    return CaptureArea(area, out, [window](HDC memory, HDC, int, int) {
        return PrintWindow(window, memory, 0) != FALSE;
    });
}

std::string EncodePng(const Pixels& pixels) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutBig32(header, static_cast<uint32_t>(pixels.width));
    PutBig32(header, static_cast<uint32_t>(pixels.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    PngChunk(out, "IHDR", header);

    // Filter byte 0 before each row, then the raw image cut into stored deflate blocks.
    std::string raw;
    const size_t stride = static_cast<size_t>(pixels.width) * 3;
    raw.reserve((stride + 1) * pixels.height);
    for (int y = 0; y < pixels.height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(pixels.rgb.data()) + y * stride, stride);
    }
    std::string zlib("\x78\x01", 2);
    const size_t kBlock = 65535;
    for (size_t at = 0; at < raw.size() || at == 0; at += kBlock) {
        const size_t n = raw.size() - at < kBlock ? raw.size() - at : kBlock;
        const bool last = at + n >= raw.size();
        zlib += static_cast<char>(last ? 1 : 0);
        PutLittle(zlib, static_cast<uint32_t>(n), 2);
        PutLittle(zlib, static_cast<uint32_t>(~n & 0xFFFF), 2);
        zlib.append(raw, at, n);
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);
    PngChunk(out, "IDAT", zlib);
    PngChunk(out, "IEND", "");
    return out;
}

std::string EncodeBmp(const Pixels& pixels) {
    const uint32_t stride = (static_cast<uint32_t>(pixels.width) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * static_cast<uint32_t>(pixels.height);
    std::string out = "BM";
    PutLittle(out, 54 + imageSize, 4);
    PutLittle(out, 0, 4);
    PutLittle(out, 54, 4);
    PutLittle(out, 40, 4);
    PutLittle(out, static_cast<uint32_t>(pixels.width), 4);
    PutLittle(out, static_cast<uint32_t>(pixels.height), 4);  // bottom-up
    PutLittle(out, 1, 2);
    PutLittle(out, 24, 2);
    PutLittle(out, 0, 4);
    PutLittle(out, imageSize, 4);
    PutLittle(out, 2835, 4);
    PutLittle(out, 2835, 4);
    PutLittle(out, 0, 4);
    PutLittle(out, 0, 4);
    for (int y = pixels.height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < pixels.width; ++x) {
            const size_t i = (static_cast<size_t>(y) * pixels.width + x) * 3;
            row += static_cast<char>(pixels.rgb[i + 2]);
            row += static_cast<char>(pixels.rgb[i + 1]);
            row += static_cast<char>(pixels.rgb[i]);
        }
        row.resize(stride, '\0');
        out += row;
    }
    return out;
}

bool SavePicture(const Pixels& pixels, const std::wstring& path) {
    const bool bmp = path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".bmp") == 0;
    const std::string bytes = bmp ? EncodeBmp(pixels) : EncodePng(pixels);
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD wrote = 0;
    const bool ok =
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
        wrote == bytes.size();
    file.Reset();
    if (!ok) DeleteFileW(path.c_str());
    return ok;
}

}  // namespace driver
