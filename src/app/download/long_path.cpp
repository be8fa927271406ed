#include "app/download/long_path.h"

#include <string_view>
#include <vector>

#include "text/text_helpers.h"

namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool IsDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Splits at either separator, dropping empty and "." components and resolving "..". False when
// ".." would climb above the first `fixed` components (the share's server and name).
bool Normalise(std::u16string_view rest, size_t fixed, std::vector<std::u16string_view>& parts) {
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !IsSeparator(rest[i])) continue;
        const std::u16string_view part = rest.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == u".") continue;
        if (part == u"..") {
            if (parts.size() <= fixed) return false;
            parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    return parts.size() >= fixed;
}

}  // namespace

WideText FileSystemPath(const Text& path) {
    const WideText wide = AnsiToWide(path);
    if (wide.size() < kLongPathUnits) return wide;
    const std::u16string_view w(wide);
    if (w.size() >= 4 && w[0] == u'\\' && w[1] == u'\\' && (w[2] == u'?' || w[2] == u'.') &&
        w[3] == u'\\') {
        return wide;
    }

    WideText out;
    std::u16string_view rest;
    size_t fixed = 0;
    if (w.size() >= 3 && IsDriveLetter(w[0]) && w[1] == u':' && IsSeparator(w[2])) {
        out = WideText(u"\\\\?\\") + WideText(w.substr(0, 2));
        rest = w.substr(3);
    } else if (w.size() >= 2 && IsSeparator(w[0]) && IsSeparator(w[1])) {
        out = u"\\\\?\\UNC";
        rest = w.substr(2);
        fixed = 2;
    } else {
        return WideText();  // relative, drive-relative or rooted without a drive: no long form
    }

    std::vector<std::u16string_view> parts;
    if (!Normalise(rest, fixed, parts)) return WideText();
    for (std::u16string_view part : parts) {
        out += u'\\';
        out += part;
    }
    // A folder keeps its closing separator, or a name appended to it would run on.
    if (IsSeparator(w.back()) || parts.empty()) out += u'\\';
    return out;
}

WideText FileSystemPathIn(const WideText& folderForm, const Text& name) {
    if (folderForm.empty()) return WideText();
    WideText whole = folderForm + AnsiToWide(name);
    const bool extended = folderForm.size() >= 4 && folderForm.compare(0, 2, u"\\\\") == 0 &&
                          (folderForm[2] == u'?' || folderForm[2] == u'.') &&
                          folderForm[3] == u'\\';
    if (extended || whole.size() < kLongPathUnits) return whole;
    // The name took a short folder over the limit: this one path needs the long form.
    return FileSystemPath(WideToAnsi(whole));
}
