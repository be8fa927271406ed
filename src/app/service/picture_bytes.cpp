#include "app/service/picture_bytes.h"

#include <cstdint>
#include <string_view>

namespace {

constexpr size_t kShownChars = 60;

bool StartsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

std::uint32_t LittleEndian32(std::string_view bytes, size_t at) {
    std::uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

// A BMP's info header is one of the sizes the format has known (core, v1 to v5, OS/2 v2).
bool IsBmp(std::string_view bytes) {
    if (bytes.size() < 18 || !StartsWith(bytes, "BM")) return false;
    const std::uint32_t header = LittleEndian32(bytes, 14);
    for (const std::uint32_t known : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        if (header == known) return true;
    }
    return false;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool StartsWithNoCase(std::string_view bytes, std::string_view prefix) {
    if (bytes.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = bytes[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != prefix[i]) return false;
    }
    return true;
}

// At most kShownChars printable ASCII characters from the start, line ends and tabs as spaces;
// the first other byte ends the prefix.
Text PrintablePrefix(std::string_view bytes) {
    Text out;
    for (const char c : bytes) {
        if (out.size() == kShownChars) return out + "...";
        if (IsBlank(c)) {
            out += ' ';
        } else if (c >= 32 && c < 127) {
            out += c;
        } else {
            break;
        }
    }
    return out;
}

}  // namespace

bool LooksLikePicture(const ByteBuffer& bytes) {
    const std::string_view b = bytes;
    if (StartsWith(b, "\xFF\xD8\xFF")) return true;
    if (StartsWith(b, std::string_view("\x89PNG\r\n\x1A\n", 8))) return true;
    if (StartsWith(b, "GIF87a") || StartsWith(b, "GIF89a")) return true;
    if (b.size() >= 12 && StartsWith(b, "RIFF") && b.substr(8, 4) == "WEBP") return true;
    return IsBmp(b);
}

Text DescribeNonPicture(const ByteBuffer& bytes) {
    if (bytes.empty()) return "no bytes";
    std::string_view start = bytes;
    // A UTF-8 page may begin with its byte-order mark; the text after it is what tells.
    if (StartsWith(start, "\xEF\xBB\xBF")) start.remove_prefix(3);
    while (!start.empty() && IsBlank(start.front())) start.remove_prefix(1);
    const Text count = std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes");
    if (StartsWithNoCase(start, "<!doctype html") || StartsWithNoCase(start, "<html")) {
        return "HTML page, " + count;
    }
    const Text shown = PrintablePrefix(start);
    // Zero bytes near the start mean data, whatever printable bytes come first.
    if (shown.empty() || start.substr(0, 64).find('\0') != std::string_view::npos) {
        return count + " of binary data";
    }
    const char first = start.front();
    const char* kind = (first == '{' || first == '[') ? "JSON" : first == '<' ? "markup" : "text";
    return Text(kind) + ", " + count + ": " + shown;
}
