#include "app/download/file_naming.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "text/text_helpers.h"

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian), valid for any 32-bit input.
void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

void AppendTwoDigits(Text& out, unsigned v) {
    if (v < 10) out += '0';
    out += std::to_string(v);
}

bool IsForbidden(unsigned char c) {
    if (c < 32 || c == 127) return true;
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '<':
        case '>':
        case '|':
        case '?':
        case '"':
            return true;
        default:
            return false;
    }
}

// Removes single-byte characters matching the predicate, keeping double-byte characters whole.
// A lead byte without its trail byte goes too: it would swallow the next character when the name
// is converted, and the result must be well-formed code page 936.
template <typename Pred>
Text RemoveChars(std::string_view in, Pred remove) {
    Text out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        const size_t n = CharBytes936(in, i);
        const auto c = static_cast<unsigned char>(in[i]);
        if (n == 2) {
            out.append(in.substr(i, 2));
        } else if (!(c >= 0x81 && c <= 0xFE) && !remove(c)) {
            out += static_cast<char>(c);
        }
        i += n;
    }
    return out;
}

// Byte length of the longest prefix of at most n bytes that ends on a character boundary.
size_t CharBoundary(std::string_view s, size_t n) {
    size_t i = 0;
    while (i < s.size()) {
        const size_t step = CharBytes936(s, i);
        if (i + step > n) break;
        i += step;
    }
    return i;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IsReservedDeviceName(std::string_view name) {
    // Windows reserves these with any extension or run of extensions ("con.tar.gz" is CON), and
    // ignores trailing spaces before the first dot.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN",    "AUX",
                                                              "NUL", "CONIN$", "CONOUT$"};
    for (auto r : plain) {
        if (EqualsNoCase(base, r)) return true;
    }
    if (base.size() == 4 &&
        (EqualsNoCase(base.substr(0, 3), "COM") || EqualsNoCase(base.substr(0, 3), "LPT"))) {
        return base[3] >= '0' && base[3] <= '9';
    }
    return false;
}

bool HasPictureExtension(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view ext = name.substr(dot + 1);
    static constexpr std::array<std::string_view, 6> known = {"jpg", "jpeg", "png",
                                                              "gif", "webp", "bmp"};
    for (auto k : known) {
        if (EqualsNoCase(ext, k)) return true;
    }
    return false;
}

}  // namespace

Text TimeText(std::int32_t timestamp) {
    const std::int64_t local = static_cast<std::int64_t>(timestamp) + 8 * 3600;
    std::int64_t days = local / 86400;
    std::int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    Text out = "[" + std::to_string(year) + ".";
    AppendTwoDigits(out, month);
    out += '.';
    AppendTwoDigits(out, day);
    out += '-';
    AppendTwoDigits(out, static_cast<unsigned>(rest / 3600));
    out += '.';
    AppendTwoDigits(out, static_cast<unsigned>(rest % 3600 / 60));
    out += ']';
    return out;
}

Text CleanCaption(const Text& caption) {
    const std::string_view head(caption.data(), CharBoundary(caption, 200));
    return RemoveChars(head, [](unsigned char c) { return c == ' ' || IsForbidden(c); });
}

Text SafeName(const Text& name) {
    Text out = RemoveChars(name, IsForbidden);
    size_t b = 0, e = out.size();
    while (b < e && (out[b] == '.' || out[b] == ' ')) ++b;
    while (e > b && (out[e - 1] == '.' || out[e - 1] == ' ')) --e;
    out = out.substr(b, e - b);
    if (out.empty()) return "_";
    if (IsReservedDeviceName(out)) out.insert(0, "_");
    return out;
}

bool IsSafeName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.front() == ' ' || name.back() == '.' ||
        name.back() == ' ') {
        return false;
    }
    for (size_t i = 0; i < name.size();) {
        const size_t n = CharBytes936(name, i);
        const auto c = static_cast<unsigned char>(name[i]);
        if (n != 2 && ((c >= 0x81 && c <= 0xFE) || IsForbidden(c))) return false;
        i += n;
    }
    return !IsReservedDeviceName(name);
}

Text PictureFileName(std::int32_t timestamp, const Text& caption, const Text& picName) {
    Text name = SafeName(TimeText(timestamp) + CleanCaption(caption) + "-" + picName);
    const std::string_view last4 =
        std::string_view(name).substr(name.size() > 4 ? name.size() - 4 : 0);
    if (last4.find('.') == std::string_view::npos || !HasPictureExtension(name)) name += ".jpg";
    return name;
}

bool IsInsideFolder(const Text& folder, const Text& path) {
    // A folder ending in a trail byte 0x5C (好運) has no separator at its end.
    if (folder.empty() || EnsureTrailingBackslash(folder) != folder) return false;
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    std::string_view rest = std::string_view(path).substr(folder.size());
    // Walk the remaining components in character steps so a trail byte 0x5C is not a separator.
    size_t start = 0;
    for (size_t i = 0; i <= rest.size();) {
        const bool end = i == rest.size();
        const unsigned char c = end ? 0 : static_cast<unsigned char>(rest[i]);
        if (end || c == '\\' || c == '/') {
            const std::string_view comp = rest.substr(start, i - start);
            if (comp.empty() || comp == "." || comp == "..") return false;
            if (end) break;
            start = i + 1;
            ++i;
        } else {
            i += CharBytes936(rest, i);
        }
    }
    return rest.find(':') == std::string_view::npos;
}
