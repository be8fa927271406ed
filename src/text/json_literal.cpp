// Literals of the text: null, the booleans, numbers by the reader's number rule, and the raw
// rest, each kept with its text as written.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "text/json_tree.h"

namespace {

bool IsDigit(char16_t u) {
    return u >= '0' && u <= '9';
}

bool MatchesNumberRule(std::u16string_view t, bool& real) {
    if (t.empty()) return false;
    const char16_t first = t[0];
    if (!(IsDigit(first) || first == '+' || first == '-' || first == '.')) return false;
    real = first == '.';
    int dots = 0, exps = 0, signs = 0;
    for (size_t k = 1; k < t.size(); ++k) {
        const char16_t u = t[k];
        if (IsDigit(u)) continue;
        if (u == '.') {
            if (++dots > 1) return false;
        } else if (u == 'e' || u == 'E') {
            if (++exps > 1) return false;
        } else if (u == '+' || u == '-') {
            if (++signs > 1) return false;
        } else {
            return false;
        }
        real = true;
    }
    return true;
}

// Decimal digits after an optional sign, exact in 64 bits and clamped at its limits (a value
// outside the range must not wrap around or become undefined).
int64_t ToInteger(std::u16string_view t) {
    size_t k = 0;
    while (k < t.size() && t[k] <= 32) ++k;
    bool negative = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) negative = t[k++] == '-';
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
    uint64_t magnitude = 0;
    for (; k < t.size() && IsDigit(t[k]); ++k) {
        const unsigned digit = t[k] - '0';
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (negative) {
        return magnitude >= limit ? std::numeric_limits<int64_t>::min()
                                  : -static_cast<int64_t>(magnitude);
    }
    return magnitude >= limit ? std::numeric_limits<int64_t>::max()
                              : static_cast<int64_t>(magnitude);
}

// One optional sign, then the digits: a second sign ("--1", "+-1") leaves no digits to read and
// gives 0, where the library call would take it as the number's own sign.
double ToReal(std::u16string_view t) {
    size_t k = 0;
    bool negative = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) negative = t[k++] == '-';
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) return 0;
    char ascii[64];
    size_t len = 0;
    std::string longer;
    for (; k < t.size() && t[k] < 128; ++k) {
        if (len < sizeof ascii) ascii[len] = static_cast<char>(t[k]);
        if (len == sizeof ascii) longer.assign(ascii, len);
        if (len >= sizeof ascii) longer.push_back(static_cast<char>(t[k]));
        ++len;
    }
    const std::string_view text = len <= sizeof ascii ? std::string_view(ascii, len) : longer;
    double value = 0;
    const auto r =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        const size_t e = text.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (r.ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

}  // namespace

JsonNode* LiteralNode(std::u16string_view t, JsonArena* arena) {
    if (t == u"null") return NewNode(JsonNull, arena);
    if (t == u"true" || t == u"false") {
        JsonNode* n = NewNode(JsonBoolean, arena);
        n->boolean = t == u"true";
        return n;
    }
    bool real = false;
    JsonNode* n;
    if (MatchesNumberRule(t, real)) {
        n = NewNode(real ? JsonReal : JsonInteger, arena);
        if (real) {
            n->real = ToReal(t);
        } else {
            n->integer = ToInteger(t);
        }
    } else {
        n = NewNode(JsonRaw, arena);
    }
    char16_t* copy = arena->AllocateUnits(t.size());
    std::char_traits<char16_t>::copy(copy, t.data(), t.size());
    n->chars.Adopt(arena, copy, t.size());
    return n;
}
