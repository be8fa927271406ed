// The native build's code-page conversions. UTF-8 is decoded here by hand; code page 936 and the
// other numbered code pages go through iconv. Bytes that do not decode and characters a code page
// lacks are replaced the way the Windows tables do it (checked under Wine): "?" in a multi-byte
// code page, U+FFFD in UTF-8, so both builds give the same texts.
#include <errno.h>
#include <iconv.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "text/codepage.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (Ok()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

  private:
    iconv_t cd_;
};

std::string IconvName(unsigned codePage) {
    if (codePage == 936) return "CP936";
    return "CP" + std::to_string(codePage);
}

// Opening a converter is far dearer than a short conversion, so each thread keeps the ones it
// has opened. Null when iconv does not know the code page.
iconv_t Converter(unsigned codePage, bool toWide) {
    thread_local std::map<std::pair<unsigned, bool>, std::unique_ptr<IconvHandle>> cache;
    auto& slot = cache[{codePage, toWide}];
    if (!slot) {
        const std::string name = IconvName(codePage);
        slot = toWide ? std::make_unique<IconvHandle>("UTF-16LE", name.c_str())
                      : std::make_unique<IconvHandle>(name.c_str(), "UTF-16LE");
    }
    if (!slot->Ok()) return nullptr;
    iconv(slot->Get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return slot->Get();
}

bool IsLeadByte936(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// One run of iconv over the whole input; `onError` decides what a bad spot becomes and how many
// input bytes it eats. Returns false only when iconv fails for another reason.
template <typename OnError>
bool RunIconv(iconv_t cd, const char* in, size_t inLen, std::string& outBytes, OnError onError) {
    outBytes.clear();
    char buffer[4096];
    char* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        outBytes.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno != EILSEQ && errno != EINVAL) return false;
        const size_t eaten = onError(src, left, outBytes);
        src += eaten;
        left -= eaten;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

void AppendUnit(std::string& bytes, char16_t u) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
}

WideText BytesToUnits(const std::string& bytes) {
    WideText out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return out;
}

void DecodeUtf8(std::string_view in, WideText& out) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    const size_t n = in.size();
    auto at = [&](size_t k) { return static_cast<unsigned char>(in[k]); };
    while (i < n) {
        const unsigned char b = at(i);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int extra = 0;
        unsigned lo = 0x80, hi = 0xBF;
        char32_t cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        // The longest valid beginning of a sequence is replaced as one character.
        size_t k = i + 1;
        int got = 0;
        while (got < extra && k < n) {
            const unsigned char c = at(k);
            if (c < lo || c > hi) break;
            cp = (cp << 6) | (c & 0x3F);
            lo = 0x80;
            hi = 0xBF;
            ++k;
            ++got;
        }
        if (got < extra) {
            out.push_back(kReplacement);
            i = k;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i = k;
    }
}

void EncodeUtf8(std::u16string_view in, Text& out) {
    out.clear();
    out.reserve(in.size() * 3);
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

}  // namespace

bool MultiByteToWide(unsigned codePage, std::string_view bytes, WideText& out) {
    out.clear();
    if (codePage == 65001) {
        DecodeUtf8(bytes, out);
        return true;
    }
    iconv_t cd = Converter(codePage, true);
    if (!cd) return false;
    if (bytes.empty()) return true;
    std::string units;
    const bool ok = RunIconv(cd, bytes.data(), bytes.size(), units,
                             [&](const char* at, size_t left, std::string& sink) -> size_t {
                                 const auto b = static_cast<unsigned char>(at[0]);
                                 if (codePage == 936 && b == 0xFF) {
                                     AppendUnit(sink, 0xF8F5);  // the Windows table's entry
                                     return 1;
                                 }
                                 AppendUnit(sink, u'?');
                                 // A lead byte swallows whatever follows it, as on Windows.
                                 return (IsLeadByte936(b) && left >= 2) ? 2 : 1;
                             });
    if (!ok) return false;
    out = BytesToUnits(units);
    return true;
}

bool WideToMultiByte(unsigned codePage, std::u16string_view wide, Text& out) {
    out.clear();
    if (codePage == 65001) {
        EncodeUtf8(wide, out);
        return true;
    }
    iconv_t cd = Converter(codePage, false);
    if (!cd) return false;
    if (wide.empty()) return true;
    std::string le;
    le.reserve(wide.size() * 2);
    for (char16_t u : wide) AppendUnit(le, u);
    // Every UTF-16 unit of an unmappable character becomes one "?", as on Windows.
    const bool ok = RunIconv(cd, le.data(), le.size(), out,
                             [](const char* at, size_t left, std::string& sink) -> size_t {
                                 const unsigned u =
                                     static_cast<unsigned char>(at[0]) |
                                     (left >= 2 ? static_cast<unsigned char>(at[1]) << 8 : 0);
                                 if (u >= 0xD800 && u <= 0xDBFF && left >= 4) {
                                     const unsigned v = static_cast<unsigned char>(at[2]) |
                                                        (static_cast<unsigned char>(at[3]) << 8);
                                     if (v >= 0xDC00 && v <= 0xDFFF) {
                                         sink += "??";
                                         return 4;
                                     }
                                 }
                                 sink.push_back('?');
                                 return left >= 2 ? 2 : left;
                             });
    if (!ok) out.clear();
    return ok;
}
