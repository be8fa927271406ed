#include "web/system_cookie_store.h"

#include <windows.h>
#include <wininet.h>

#include "text/text_helpers.h"

bool StoreSystemCookie(const Text& url, const Text& name, const Text& value) {
    if (url.empty() || name.empty()) return false;
    const WideText wideUrl = AnsiToWide(url);
    const WideText wideName = AnsiToWide(name);
    const WideText wideValue = AnsiToWide(value);
    return InternetSetCookieW(WinStr(wideUrl), WinStr(wideName), WinStr(wideValue)) != FALSE;
}

Text SystemCookiesFor(const Text& url) {
    if (url.empty()) return Text();
    const WideText wideUrl = AnsiToWide(url);
    DWORD size = 0;  // in characters, terminator included
    if (!InternetGetCookieW(WinStr(wideUrl), nullptr, nullptr, &size) || size == 0) return Text();
    WideText data(size, u'\0');
    if (!InternetGetCookieW(WinStr(wideUrl), nullptr, WinStr(data), &size)) return Text();
    data.resize(std::char_traits<char16_t>::length(data.c_str()));
    return WideToAnsi(data);
}
