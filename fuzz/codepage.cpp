// Random bytes through the conversions between code page 936, UTF-16 and UTF-8. The first byte
// says what the rest is: code page 936, UTF-8 or UTF-16 little-endian. Besides the sanitizers'
// bounds checks, every conversion agrees with iconv called directly on as much of the input as
// iconv accepts, and every round trip through well-formed text gives that text back.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text_helpers.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// iconv over the input up to its first unconvertible spot; `whole` tells whether it got through.
std::string Iconv(const char* to, const char* from, std::string_view in, bool& whole) {
    const iconv_t cd = iconv_open(to, from);
    Check(cd != reinterpret_cast<iconv_t>(-1));
    std::string out(in.size() * 4 + 16, '\0');
    std::string copy(in);
    char* src = copy.data();
    size_t left = copy.size();
    char* dst = out.data();
    size_t room = out.size();
    whole = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) && left == 0;
    iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

WideText Units(const std::string& le) {
    WideText out(le.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(le[2 * i]) |
                                       (static_cast<unsigned char>(le[2 * i + 1]) << 8));
    }
    return out;
}

std::string LittleEndian(std::u16string_view wide) {
    std::string out;
    for (char16_t u : wide) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

bool HasLoneSurrogate(std::u16string_view w) {
    for (size_t i = 0; i < w.size(); ++i) {
        if (w[i] >= 0xDC00 && w[i] <= 0xDFFF) return true;
        if (w[i] >= 0xD800 && w[i] <= 0xDBFF) {
            if (i + 1 == w.size() || w[i + 1] < 0xDC00 || w[i + 1] > 0xDFFF) return true;
            ++i;
        }
    }
    return false;
}

void FromGbk(std::string_view text) {
    const WideText wide = AnsiToWide(text);
    bool whole = false;
    const WideText expected = Units(Iconv("UTF-16LE", "CP936", text, whole));
    Check(wide.compare(0, expected.size(), expected) == 0);
    if (whole) {
        Check(wide == expected);
        Check(WideToAnsi(wide) == text);
    }
    const ByteBuffer utf8 = AnsiToUtf8(text);
    Check(utf8 == WideToUtf8(wide) && Utf8ToWide(utf8) == wide);
}

void FromUtf8(std::string_view utf8) {
    const WideText wide = Utf8ToWide(utf8);
    bool whole = false;
    const WideText expected = Units(Iconv("UTF-16LE", "UTF-8", utf8, whole));
    Check(wide.compare(0, expected.size(), expected) == 0);
    if (whole) {
        Check(wide == expected);
        Check(WideToUtf8(wide) == utf8);
    }
    (void)Utf8ToAnsi(utf8);
}

void FromUtf16(std::string_view bytes) {
    (void)WideBytesToAnsi(bytes);
    WideText wide = Units(std::string(bytes.substr(0, bytes.size() & ~size_t{1})));
    wide = wide.substr(0, wide.find(u'\0'));
    const ByteBuffer utf8 = WideToUtf8(wide);
    if (!HasLoneSurrogate(wide)) {
        bool whole = false;
        Check(utf8 == Iconv("UTF-8", "UTF-16LE", LittleEndian(wide), whole) && whole);
        Check(Utf8ToWide(utf8) == wide);
    }
    const Text gbk = WideToAnsi(wide);
    Check(IsWellFormed936(gbk) || gbk.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The conversions end a text at its first zero, as the platform does.
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0:
            FromGbk(rest.substr(0, rest.find('\0')));
            break;
        case 1:
            FromUtf8(rest.substr(0, rest.find('\0')));
            break;
        default:
            FromUtf16(rest);
            break;
    }
    return 0;
}
