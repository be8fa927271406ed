#include "text/text_helpers.h"

#include <algorithm>
#include <climits>

#include "text/codepage.h"

namespace {

unsigned char Byte(std::string_view s, size_t i) {
    return static_cast<unsigned char>(s[i]);
}

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The match starts on a character boundary of the text, so the search's own characters line up
// with the text's: only its single-byte characters fold, double-byte ones compare exactly.
bool SameBytes(std::string_view text, size_t at, std::string_view search, bool ignoreCase) {
    if (!ignoreCase) return text.compare(at, search.size(), search) == 0;
    for (size_t k = 0; k < search.size();) {
        const size_t n = CharBytes936(search, k);
        if (n == 1) {
            if (FoldAscii(Byte(text, at + k)) != FoldAscii(Byte(search, k))) return false;
        } else if (text.compare(at + k, n, search.substr(k, n)) != 0) {
            return false;
        }
        k += n;
    }
    return true;
}

// Texts are zero-terminated in the rest of the program: whatever follows a zero is not part of
// the text.
std::string_view UpToZero(std::string_view text) {
    const size_t z = text.find('\0');
    return z == std::string_view::npos ? text : text.substr(0, z);
}

std::u16string_view UpToZero(std::u16string_view text) {
    const size_t z = text.find(u'\0');
    return z == std::u16string_view::npos ? text : text.substr(0, z);
}

}  // namespace

size_t CharBytes936(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    const unsigned char lead = Byte(text, at);
    if (lead < 0x81 || lead > 0xFE || at + 1 >= text.size()) return 1;
    const unsigned char trail = Byte(text, at + 1);
    return (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) ? 2 : 1;
}

bool IsWellFormed936(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = CharBytes936(text, i);
        const unsigned char b = Byte(text, i);
        if (n == 1 && b >= 0x81 && b <= 0xFE) return false;
        i += n;
    }
    return true;
}

int FindText(std::string_view text, std::string_view search, std::optional<int> start,
             bool ignoreCase) {
    // Positions are ints; a text too long for one has no position to report.
    if (text.size() > static_cast<size_t>(INT_MAX)) return -1;
    const long long L = static_cast<long long>(text.size());
    const long long S = static_cast<long long>(search.size());
    if (L == 0 || S == 0 || L < S) return -1;
    long long pos = (start && *start > 0) ? *start : 1;
    const long long last = L - S + 1;
    while (pos <= last) {
        const size_t at = static_cast<size_t>(pos - 1);
        if (SameBytes(text, at, search, ignoreCase)) return static_cast<int>(pos);
        // A lead byte and its trail byte are one character: never start a match on the trail.
        pos += static_cast<long long>(CharBytes936(text, at));
    }
    return -1;
}

Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<int> start, bool includeMarkers, bool wholeIfMissing,
                 bool ignoreCase) {
    const int p = FindText(text, left, start, ignoreCase);
    if (p >= 1) {
        const long long m = static_cast<long long>(p) + static_cast<long long>(left.size());
        const int q = m <= INT_MAX ? FindText(text, right, static_cast<int>(m), ignoreCase) : -1;
        if (q > p) {
            if (!includeMarkers) return MidText(text, static_cast<int>(m), q - static_cast<int>(m));
            const size_t from = static_cast<size_t>(p - 1);
            const size_t to = static_cast<size_t>(q - 1) + right.size();
            return Text(text.substr(from, to - from));
        }
    }
    return wholeIfMissing ? Text(text) : Text();
}

Text RightText(std::string_view text, int n) {
    if (n < 1 || text.empty()) return Text();
    const size_t count = static_cast<size_t>(n);
    if (count >= text.size()) return Text(text);
    return Text(text.substr(text.size() - count));
}

Text MidText(std::string_view text, int start, int length) {
    if (text.empty() || length < 1 || start < 1) return Text();
    const size_t from = static_cast<size_t>(start) - 1;
    if (from >= text.size()) return Text();
    return Text(text.substr(from, static_cast<size_t>(length)));
}

Text EnsureTrailingBackslash(std::string_view path) {
    // Characters can only be told apart from the front, so walk to the last one.
    size_t last = 0;
    for (size_t i = 0; i < path.size(); i += CharBytes936(path, i)) last = i;
    Text out(path);
    if (path.empty() || path.substr(last) != "\\") out.push_back('\\');
    return out;
}

Text TrimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return Text();
    const size_t last = text.find_last_not_of(' ');
    return Text(text.substr(first, last - first + 1));
}

Text BlankText(int n) {
    return n < 1 ? Text() : Text(static_cast<size_t>(n), ' ');
}

ByteBuffer ZeroBytes(int n) {
    return n < 1 ? ByteBuffer() : ByteBuffer(static_cast<size_t>(n), '\0');
}

Text LeftBytes(std::string_view text, int n) {
    if (n < 1 || text.empty()) return Text();
    return Text(text.substr(0, static_cast<size_t>(n)));
}

WideText AnsiToWide(std::string_view text, unsigned codePage) {
    WideText out;
    if (!MultiByteToWide(codePage, UpToZero(text), out)) return WideText();
    return out;
}

Text WideToAnsi(std::u16string_view wide, unsigned codePage) {
    Text out;
    if (!WideToMultiByte(codePage, UpToZero(wide), out)) return Text();
    return out;
}

Text WideBytesToAnsi(std::string_view utf16Bytes, unsigned codePage) {
    WideText units(utf16Bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] =
            static_cast<char16_t>(Byte(utf16Bytes, 2 * i) | (Byte(utf16Bytes, 2 * i + 1) << 8));
    }
    return WideToAnsi(units, codePage);
}

Text Utf8ToAnsi(std::string_view utf8, unsigned codePage) {
    if (utf8.empty()) return Text();
    WideText wide;
    if (!MultiByteToWide(kCodePageUtf8, utf8, wide) || wide.empty()) return Text();
    return WideToAnsi(wide, codePage);
}

ByteBuffer AnsiToUtf8(std::string_view text, unsigned codePage) {
    return WideToUtf8(AnsiToWide(text, codePage));
}

ByteBuffer WideToUtf8(std::u16string_view wide) {
    return WideToAnsi(wide, kCodePageUtf8);
}

WideText Utf8ToWide(std::string_view utf8) {
    return AnsiToWide(utf8, kCodePageUtf8);
}
