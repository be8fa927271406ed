// Byte scans of answers: searching, the ASCII and UTF-8 checks, and reading one UTF-8 character.
// Answers run to hundreds of kilobytes, so the scans look at 16 bytes at a time where the
// processor offers it (every x86-64 one does) and fall back to 8.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/json_tree.h"

namespace {

unsigned U(char c) {
    return static_cast<unsigned char>(c);
}

// Searches eight bytes at a time (the C library's search is a plain loop on some platforms).
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Marks the zero bytes of `x`; the lowest mark is always exact.
uint64_t ZeroBytes(uint64_t x) {
    return (x - kOnes) & ~x & kHighs;
}

uint64_t Load8(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

#if defined(__SSE2__)
__m128i Load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#endif

}  // namespace

// The first index from `i` holding `a` or `b`; s.size() when there is none.
size_t FindEither(std::string_view s, size_t i, char a, char b) {
    bool high = false;
    return FindEitherNotingHigh(s, i, a, b, high);
}

size_t FindEitherNotingHigh(std::string_view s, size_t i, char a, char b, bool& high) {
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i w = Load16(s.data() + i);
        const unsigned hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(w, va), _mm_cmpeq_epi8(w, vb))));
        const unsigned highs = static_cast<unsigned>(_mm_movemask_epi8(w));
        if (hits) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(hits));
            if (highs & ((1u << at) - 1)) high = true;
            return i + at;
        }
        if (highs) high = true;
    }
#endif
    const uint64_t wa = kOnes * U(a), wb = kOnes * U(b);
    for (; i + 8 <= s.size(); i += 8) {
        const uint64_t w = Load8(s.data() + i);
        const uint64_t hit = ZeroBytes(w ^ wa) | ZeroBytes(w ^ wb);
        if (hit) break;
        if (w & kHighs) high = true;
    }
    for (; i < s.size(); ++i) {
        if (s[i] == a || s[i] == b) return i;
        if (U(s[i]) >= 0x80) high = true;
    }
    return s.size();
}

void WidenAscii(const char* in, size_t count, char16_t* out) {
    size_t k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= count; k += 16) {
        const __m128i w = Load16(in + k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_unpacklo_epi8(w, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8), _mm_unpackhi_epi8(w, zero));
    }
#endif
    for (; k < count; ++k) out[k] = static_cast<char16_t>(U(in[k]));
}

// Like every text here, the input ends at its first zero.
std::string_view UpToZero(std::string_view s) {
    return s.substr(0, FindEither(s, 0, '\0', '\0'));
}

bool IsAscii(std::string_view s) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= s.size(); i += 16) {
        if (_mm_movemask_epi8(Load16(s.data() + i))) return false;
    }
#endif
    for (; i + 8 <= s.size(); i += 8) {
        if (Load8(s.data() + i) & kHighs) return false;
    }
    for (; i < s.size(); ++i) {
        if (U(s[i]) >= 0x80) return false;
    }
    return true;
}

// Well-formed UTF-8 as the converters accept it: no overlong forms, no surrogates, nothing past
// U+10FFFF.
bool IsUtf8(std::string_view s) {
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (n - i >= 16 && _mm_movemask_epi8(Load16(s.data() + i)) == 0) {
            i += 16;
            continue;
        }
#endif
        if (n - i >= 8 && (Load8(s.data() + i) & kHighs) == 0) {
            i += 8;
            continue;
        }
        const unsigned b = U(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b >= 0xE1 && b <= 0xEF && b != 0xED && n - i > 2 && (U(s[i + 1]) & 0xC0) == 0x80 &&
            (U(s[i + 2]) & 0xC0) == 0x80) {
            i += 3;  // most Chinese characters: no bound beyond the continuation bytes
            continue;
        }
        int extra;
        unsigned lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i <= static_cast<size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned c = U(s[i + static_cast<size_t>(k)]);
            if (c < lo || c > hi) return false;
            lo = 0x80;
            hi = 0xBF;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

size_t WidenUtf8(std::string_view s, char16_t* out) {
    size_t w = 0, i = 0;
    while (i < s.size()) {
        const unsigned b = U(s[i]);
        if (b < 0x80) {
            out[w++] = static_cast<char16_t>(b);
            ++i;
        } else if (b >= 0xE0 && b < 0xF0 && i + 2 < s.size()) {
            // the common case in Chinese text, written out to skip the general loop
            out[w++] = static_cast<char16_t>((b & 0x0F) << 12 | (U(s[i + 1]) & 0x3F) << 6 |
                                             (U(s[i + 2]) & 0x3F));
            i += 3;
        } else {
            i = PutUtf8(s, i, out, w);
        }
    }
    return w;
}

// Writes the UTF-8 character at `i` (already checked well-formed) as UTF-16 at `out[w]`; returns
// the index after it.
size_t PutUtf8(std::string_view s, size_t i, char16_t* out, size_t& w) {
    const unsigned b = U(s[i]);
    const size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    if (i + extra >= s.size()) {
        out[w++] = 0xFFFD;
        return i + 1;
    }
    char32_t cp = b & (0x3Fu >> extra);
    for (size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (U(s[i + k]) & 0x3F);
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out[w++] = static_cast<char16_t>(0xD800 + (cp >> 10));
        out[w++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out[w++] = static_cast<char16_t>(cp);
    }
    return i + extra + 1;
}
