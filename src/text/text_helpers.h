#pragma once
// Small text operations shared by every module, and the conversions between code page 936,
// UTF-8 and UTF-16.
//
// Texts are code-page-936 byte strings. Positions are 1-based byte positions; a search that finds
// nothing gives -1. Lengths count bytes, so a double-byte GBK character counts 2. A lead byte
// (0x81-0xFE) followed by a trail byte (0x40-0xFE except 0x7F) is one double-byte character;
// every other byte, 0x80 (the euro sign) and 0xFF among them, is a character of its own. A trail
// byte may be 0x5C, the backslash, so every scan walks whole characters from the start of the
// text: a match never starts on a trail byte, and "ends in a backslash" means the last character.
//
// Every helper returns a fresh value and leaves its arguments alone. None of them fails loudly:
// empty inputs give the empty text (or -1), failed conversions give an empty result.
#include <optional>
#include <string_view>

#include "text/text_types.h"

inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageUtf8 = 65001;

// Bytes in the code-page-936 character that starts at byte `at`: 2 for a lead byte with a trail
// byte after it, else 1 (a lone lead byte counts as one byte of its own); 0 at or past the end.
size_t CharBytes936(std::string_view text, size_t at);

// True when the text is well-formed code page 936: no lead byte without its trail byte.
bool IsWellFormed936(std::string_view text);

// Position of the first match of `search` at or after `start` (1-based; absent, 0 or negative
// means 1), or -1. With `ignoreCase` ASCII letters compare without regard to case.
int FindText(std::string_view text, std::string_view search, std::optional<int> start = {},
             bool ignoreCase = false);

// The bytes between the first `left` marker (searched from `start`) and the first `right` marker
// after it. With `includeMarkers` both markers are part of the result. When either marker is
// missing the result is the empty text, or a copy of the whole text with `wholeIfMissing`.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<int> start = {}, bool includeMarkers = false,
                 bool wholeIfMissing = false, bool ignoreCase = false);

// Concatenation of any number of texts (anything that views as a std::string_view).
template <typename... Parts>
Text JoinTexts(const Parts&... parts) {
    const std::string_view views[] = {std::string_view(parts)...};
    size_t total = 0;
    for (std::string_view v : views) total += v.size();
    Text out;
    out.reserve(total);
    for (std::string_view v : views) out.append(v);
    return out;
}

// The last n bytes; the whole text when it is shorter; empty for n < 1.
Text RightText(std::string_view text, int n);

// At most `length` bytes from the 1-based `start`; empty when the text is empty, length < 1,
// start < 1 or start lies beyond the end.
Text MidText(std::string_view text, int start, int length);

// The path with one "\" appended unless its last character is one (a trail byte 0x5C, as in
// 運 DF 5C, is not); "" gives "\".
Text EnsureTrailingBackslash(std::string_view path);

// Without leading and trailing spaces (byte 32 only; tabs and line ends stay).
Text TrimSpaces(std::string_view text);

// n spaces; empty for n < 1.
Text BlankText(int n);

// n zero bytes; empty for n < 1.
ByteBuffer ZeroBytes(int n);

// The first n bytes (may split a double-byte character); the whole text when shorter; empty for
// n < 1.
Text LeftBytes(std::string_view text, int n);

// Code page 936 (or the named code page) to UTF-16. The result carries no terminating zero unit
// of its own: a WideText always has one past its end (c_str()), which is what the platform sees.
// Empty when the conversion fails.
WideText AnsiToWide(std::string_view text, unsigned codePage = kCodePageGbk);

// UTF-16 to code page 936 (or the named code page). Characters the code page lacks become the
// platform's default character ("?"). Empty when the conversion fails.
Text WideToAnsi(std::u16string_view wide, unsigned codePage = kCodePageGbk);

// As WideToAnsi for UTF-16 little-endian data held in a byte buffer (bytes / 2 units; an odd last
// byte is ignored). A terminating zero unit inside the buffer ends the text.
Text WideBytesToAnsi(std::string_view utf16Bytes, unsigned codePage = kCodePageGbk);

// UTF-8 bytes to code page 936 (or the named code page), through UTF-16. Empty when nothing
// converts.
Text Utf8ToAnsi(std::string_view utf8, unsigned codePage = kCodePageGbk);

// Code page 936 (or the named code page) to UTF-8, through UTF-16.
ByteBuffer AnsiToUtf8(std::string_view text, unsigned codePage = kCodePageGbk);

// UTF-16 to UTF-8 / UTF-8 to UTF-16.
ByteBuffer WideToUtf8(std::u16string_view wide);
WideText Utf8ToWide(std::string_view utf8);
