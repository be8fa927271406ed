#include "web/cookie_jar.h"

#include <utility>

namespace {

const char kSetCookie[] = "Set-Cookie:";
const size_t kSetCookieLength = sizeof(kSetCookie) - 1;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsIdeographicBlankAt(const Text& text, size_t i) {
    return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
           static_cast<unsigned char>(text[i + 1]) == 0xA1;
}

// A header name only counts at the start of a header line, so "X-Set-Cookie:" is not mistaken
// for "Set-Cookie:" and a value cannot smuggle one in.
size_t FindHeaderNoCase(const Text& headers, const Text& name, size_t from) {
    for (size_t at = FindNoCase(headers, name, from); at != Text::npos;
         at = FindNoCase(headers, name, at + 1)) {
        if (at == 0 || headers[at - 1] == '\n') return at;
    }
    return Text::npos;
}

// Splits a cookie string at ";" and drops the leading blanks of each part.
std::vector<Text> CookieParts(const Text& cookieString) {
    std::vector<Text> parts;
    size_t start = 0;
    while (start <= cookieString.size()) {
        size_t end = cookieString.find(';', start);
        if (end == Text::npos) end = cookieString.size();
        parts.push_back(TrimLeadingBlanks(cookieString.substr(start, end - start)));
        start = end + 1;
    }
    return parts;
}

}  // namespace

bool IsDeletionMarked(const Text& item) {
    if (item.size() < 8) return false;
    const Text tail = item.substr(item.size() - 8);
    return tail == "=deleted" || tail == "=DELETED" || tail == "=Deleted";
}

Text TrimLeadingBlanks(const Text& text) {
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
        } else if (IsIdeographicBlankAt(text, i)) {
            i += 2;
        } else {
            break;
        }
    }
    return text.substr(i);
}

Text TrimBlanks(const Text& text) {
    Text t = TrimLeadingBlanks(text);
    size_t end = t.size();
    while (end > 0) {
        if (t[end - 1] == ' ') {
            --end;
        } else if (end >= 2 && IsIdeographicBlankAt(t, end - 2)) {
            end -= 2;
        } else {
            break;
        }
    }
    t.resize(end);
    return t;
}

bool HasHeaderBreak(const Text& text) {
    return text.find_first_of(Text("\r\n\0", 3)) != Text::npos;
}

size_t FindNoCase(const Text& haystack, const Text& needle, size_t from) {
    if (needle.size() > haystack.size()) return Text::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && LowerAscii(haystack[i + k]) == LowerAscii(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return Text::npos;
}

std::vector<Text> SetCookieItems(const Text& responseHeaders) {
    std::vector<Text> items;
    size_t at = FindHeaderNoCase(responseHeaders, kSetCookie, 0);
    while (at != Text::npos) {
        const size_t start = at + kSetCookieLength;
        const size_t lineEnd = responseHeaders.find("\r\n", start);
        if (lineEnd == Text::npos) break;
        size_t end = responseHeaders.find(';', start);
        if (end == Text::npos || end > lineEnd) end = lineEnd;
        Text item = TrimLeadingBlanks(responseHeaders.substr(start, end - start));
        if (!HasHeaderBreak(item)) items.push_back(std::move(item));
        at = FindHeaderNoCase(responseHeaders, kSetCookie, end);
    }
    return items;
}

Text SetCookiesFromHeaders(const Text& responseHeaders) {
    Text result;
    for (const Text& item : SetCookieItems(responseHeaders)) {
        if (IsDeletionMarked(item)) continue;
        if (!result.empty()) result += "; ";
        result += item;
    }
    return result;
}

Text SetCookieFromHeaders(const Text& responseHeaders, const Text& name) {
    if (responseHeaders.empty()) return Text();
    size_t at = FindHeaderNoCase(responseHeaders, "Set-Cookie: " + name + "=", 0);
    size_t start = Text::npos;
    if (at != Text::npos) {
        start = at + kSetCookieLength + 1 + name.size() + 1;
    } else {
        at = FindHeaderNoCase(responseHeaders, "Set-Cookie:" + name + "=", 0);
        if (at == Text::npos) return Text();
        start = at + kSetCookieLength + name.size() + 1;
    }
    const size_t lineEnd = responseHeaders.find("\r\n", start);
    if (lineEnd == Text::npos) return Text();
    size_t end = responseHeaders.find(';', start);
    if (end == Text::npos || end > lineEnd) end = lineEnd;
    Text value = responseHeaders.substr(start, end - start);
    return HasHeaderBreak(value) ? Text() : value;
}

bool CookieJar::MergeSetCookies(const Text& responseHeaders, bool skipEmpty) {
    bool changed = false;
    for (const Text& item : SetCookieItems(responseHeaders)) {
        const size_t eq = item.find('=');
        if (eq == Text::npos) continue;
        const Text key = item.substr(0, eq + 1);
        const bool deletion = IsDeletionMarked(item);
        const size_t at = text_.find("; " + key);
        if (at == Text::npos) {
            // Forgetting a cookie we never had is a no-op; an empty new value is still a cookie.
            if (deletion) continue;
            text_ += item + "; ";
            changed = true;
            continue;
        }
        if (skipEmpty && eq + 1 == item.size()) continue;
        const size_t valueStart = at + 2 + key.size();
        const size_t next = text_.find("; ", valueStart);
        if (next == Text::npos) continue;
        if (deletion) {
            if (skipEmpty) continue;
            text_.erase(at, next - at);
        } else {
            text_.replace(at + 2, next - (at + 2), item);
        }
        changed = true;
    }
    return changed;
}

bool CookieJar::AddCookies(const Text& cookieString) {
    if (cookieString.empty() || HasHeaderBreak(cookieString)) return false;
    bool changed = false;
    for (const Text& part : CookieParts(cookieString)) {
        const size_t eq = part.find('=');
        if (eq == Text::npos) continue;
        const Text needle = "; " + part.substr(0, eq + 1);
        const size_t at = text_.find(needle);
        if (at == Text::npos) {
            text_ += part + "; ";
            changed = true;
            continue;
        }
        const size_t next = text_.find("; ", at + needle.size());
        if (next == Text::npos) continue;
        text_.replace(at + 2, next - (at + 2), part);
        changed = true;
    }
    return changed;
}

bool CookieJar::RemoveCookies(const Text& cookieString) {
    if (cookieString.empty()) return false;
    bool removed = false;
    for (const Text& part : CookieParts(cookieString)) {
        const Text name = part.substr(0, part.find('='));
        const Text needle = "; " + name + "=";
        const size_t at = text_.find(needle);
        if (at == Text::npos) continue;
        const size_t next = text_.find("; ", at + needle.size());
        if (next == Text::npos) continue;
        text_.erase(at, next - at);
        removed = true;
    }
    return removed;
}

Text CookieJar::CookieText() const {
    if (text_.size() <= 4) return Text();
    return text_.substr(2, text_.size() - 4);
}

Text CookieJar::CookieText(const Text& newText) {
    if (HasHeaderBreak(newText)) return Text();
    Text t = newText;
    if (t.compare(0, 2, "; ") != 0) t = "; " + t;
    if (t.compare(t.size() - 2, 2, "; ") != 0) {
        // Trailing blanks go first: "A=1 " must become "; A=1; ", not "; A=1 ;", or the last
        // entry could never be found, replaced or removed again.
        while (t.size() > 2 && t.back() == ' ') t.pop_back();
        if (t.size() > 2) {
            if (t.back() != ';') t += ';';
            t += ' ';
        }
    }
    text_ = t;
    return newText;
}

Text CookieJar::GetCookie(const Text& name, bool withName) const {
    // The "=" is part of the search so that "A" never answers with the entry of "AB".
    const Text key = (!name.empty() && name.back() == '=') ? name : name + "=";
    const size_t at = text_.find("; " + key);
    if (at == Text::npos) return Text();
    const size_t nameStart = at + 2;
    const size_t valueStart = nameStart + key.size();
    const size_t end = text_.find(';', valueStart);
    if (end == Text::npos) return Text();
    const size_t from = withName ? nameStart : valueStart;
    return text_.substr(from, end - from);
}
