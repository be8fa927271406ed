// Random jar texts and response headers through every cookie-text operation. The input is split
// at the first NUL byte: the jar text before it, raw response headers after it. Besides the
// sanitizers' checks, the jar must keep its frame and its round trip, and no cookie text it
// gives out may hold CR, LF or NUL (each would end or split the request header it goes into).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "web/cookie_jar.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckHeaderSafe(const Text& text) {
    Check(text.find_first_of(Text("\r\n\0", 3)) == Text::npos);
}

void CheckFrame(const CookieJar& jar) {
    const Text& raw = jar.Raw();
    CheckHeaderSafe(raw);
    Check(jar.Length() == static_cast<int>(raw.size()));
    Check(raw.size() >= 2 && raw.compare(0, 2, "; ") == 0);
    Check(raw.compare(raw.size() - 2, 2, "; ") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const Text jarText = input.substr(0, split);
    const Text headers = split == Text::npos ? Text() : input.substr(split + 1);

    CookieJar jar;
    jar.CookieText(jarText);
    CheckFrame(jar);

    jar.MergeSetCookies(headers, (size & 1) != 0);
    CheckFrame(jar);

    const Text cookies = SetCookiesFromHeaders(headers);
    CheckHeaderSafe(cookies);
    jar.AddCookies(cookies);
    CheckFrame(jar);
    // The raw input as a cookie string: refused or taken, the jar stays safe.
    jar.AddCookies(headers);
    CheckFrame(jar);
    // Each look-up scans all the headers, so looking up every item would make a run grow with
    // the square of its input; the first few names reach every branch just as well.
    const std::vector<Text> items = SetCookieItems(headers);
    for (size_t i = 0; i < items.size() && i < 3; ++i) {
        const Text name = items[i].substr(0, items[i].find('='));
        CheckHeaderSafe(items[i]);
        CheckHeaderSafe(SetCookieFromHeaders(headers, name));
        CheckHeaderSafe(jar.GetCookie(name, true));
    }

    // A plain name=value added to any jar reads back as it was given.
    const Text name = "fz" + std::to_string(size);
    const Text value = "v" + jarText.substr(0, jarText.find_first_of(";\r\n"));
    if (value.find(';') == Text::npos) {
        jar.AddCookies(name + "=" + value);
        CheckFrame(jar);
        Check(jar.GetCookie(name) == value);
        Check(jar.RemoveCookies(name));
        CheckFrame(jar);
    }

    jar.RemoveCookies(headers);
    CheckFrame(jar);
    const Text entries = jar.CookieText();
    CheckHeaderSafe(entries);
    CookieJar copy;
    copy.CookieText(entries);
    CheckFrame(copy);
    return 0;
}
