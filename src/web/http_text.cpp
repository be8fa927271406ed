#include "web/http_text.h"

#include <climits>

#include "web/cookie_jar.h"

Text UpperAscii(Text text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

Text LowerAscii(Text text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

Text HeaderValue(const Text& headers, const Text& name, bool* found) {
    if (found) *found = false;
    const Text key = "\r\n" + name + ":";
    const size_t at = FindNoCase(headers, key);
    if (at == Text::npos) return Text();
    const size_t start = at + key.size();
    const size_t end = headers.find("\r\n", start);
    if (end == Text::npos) return Text();
    if (found) *found = true;
    return TrimLeadingBlanks(headers.substr(start, end - start));
}

int ParseContentLength(const Text& value) {
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    long long n = 0;
    bool digits = false;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        digits = true;
        n = n * 10 + (value[i] - '0');
        if (n > INT_MAX) return -1;
    }
    if (!digits || n == 0) return -1;
    return static_cast<int>(n);
}
