#pragma once
// Small text operations shared by every module, and the conversions between code page 936,
// UTF-8 and UTF-16.
//
// Texts are code-page-936 byte strings. Positions are 1-based byte positions; a search that finds
// nothing gives -1. Lengths count bytes, so a double-byte GBK character counts 2. A byte of 0x80
// or above starts a double-byte character; searches step over such a pair as one unit, so a
// match never starts on a trail byte.
//
// Every helper returns a fresh value and leaves its arguments alone. None of them fails loudly:
// empty inputs give the empty text (or -1), failed conversions give an empty result.
#include <optional>
#include <string_view>

#include "text/text_types.h"

inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageUtf8 = 65001;

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

// The path with exactly one "\" appended unless it already ends in one; "" gives "\".
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
