// Request headers and the cookies that end up in them.
#include "web/web_session.h"

#include "text/text_helpers.h"
#include "web/http_text.h"
#include "web/system_cookie_store.h"

bool WebSession::AddHeaderText(const Text& headerText, DWORD flags) {
    if (!request_) return false;
    const WideText wide = AnsiToWide(headerText);
    if (wide.empty()) return false;
    return WinHttpAddRequestHeaders(request_.Get(), WinStr(wide), static_cast<DWORD>(wide.size()),
                                    flags) != FALSE;
}

bool WebSession::SetHeader(const Text& name, const Text& value, std::optional<DWORD> flags) {
    // A line break would start a header of the value's choosing.
    if (!request_ || name.empty() || HasHeaderBreak(name) || HasHeaderBreak(value)) return false;
    const Text lower = LowerAscii(name);
    if (cookieMode_ == 0 && lower == "cookie") callerCookie_ = value;
    if (lower == "user-agent") callerAgent_ = value;
    if (lower == "referer") callerReferer_ = value;
    return AddHeaderText(name + ":" + value, flags.value_or(kAddReplace));
}

bool WebSession::RemoveHeader(const Text& name) {
    if (!request_ || name.empty() || HasHeaderBreak(name)) return false;
    if (cookieMode_ == 0 && LowerAscii(name) == "cookie") callerCookie_.clear();
    return AddHeaderText(name + ":", kReplace);
}

bool WebSession::SetCookie(const Text& cookieString) {
    if (cookieMode_ == 1) return jar_.AddCookies(cookieString);
    if (cookieMode_ == 2) return StoreCookieString(cookieString);
    if (!request_) return false;
    return SetHeader("Cookie", cookieString);
}

bool WebSession::SetUserAgent(const std::optional<Text>& value) {
    return SetHeader("User-Agent", value.value_or(kDefaultUserAgent));
}

bool WebSession::SetReferer(const std::optional<Text>& value) {
    return SetHeader("Referer", value.value_or(currentUrl_));
}

bool WebSession::SetAccept(const std::optional<Text>& value) {
    return SetHeader("Accept", value.value_or("*/*"));
}

bool WebSession::SetAcceptLanguage(const std::optional<Text>& value) {
    return SetHeader("Accept-Language", value.value_or("zh-cn"));
}

bool WebSession::SetContentType(const std::optional<Text>& value) {
    return SetHeader("Content-Type", value.value_or("application/x-www-form-urlencoded"));
}

bool WebSession::SetAjaxHeader() {
    return SetHeader("x-requested-with", "XMLHttpRequest");
}

bool WebSession::SetForwardedFor(const Text& address) {
    if (!request_ || HasHeaderBreak(address)) return false;
    return AddHeaderText("X-Forwarded-For:" + address + "\r\nCLIENT_IP:" + address +
                             "\r\nVIA:" + address + "\r\nREMOTE_ADDR:" + address,
                         kAddReplace);
}

bool WebSession::AddDefaultHeaders(bool hasBody) {
    bool ok = AddHeaderText("Accept:*/*", kAddIfNew);
    ok = AddHeaderText("Accept-Language:zh-cn", kAddIfNew) && ok;
    ok = AddHeaderText("Cache-Control:no-cache", kAddIfNew) && ok;
    if (verbIsPost_ || hasBody) {
        ok = AddHeaderText("Content-Type:application/x-www-form-urlencoded", kAddIfNew) && ok;
    }
    return ok;
}

bool WebSession::AddCookieHeader() {
    // The jar refuses line breaks on the way in; this keeps that true whatever filled it.
    const Text cookies = jar_.CookieText();
    if (HasHeaderBreak(cookies)) return false;
    return AddHeaderText("Cookie:" + cookies, kAddReplace);
}

bool WebSession::AddStoredCookieHeader() {
    // The system store is shared with other programs: what it gives back is checked too.
    const Text cookies = SystemCookiesFor(currentUrl_);
    if (cookies.empty() || HasHeaderBreak(cookies)) return false;
    return AddHeaderText("Cookie:" + cookies, kAddReplace);
}

void WebSession::StoreSetCookies(bool skipEmpty) {
    for (const Text& item : SetCookieItems(responseHeaders_)) {
        const size_t eq = item.find('=');
        if (eq == Text::npos) continue;
        const Text name = item.substr(0, eq);
        Text value;
        if (IsDeletionMarked(item)) {
            if (skipEmpty) continue;
        } else {
            value = item.substr(eq + 1);
            if (skipEmpty && TrimBlanks(value).empty()) continue;
        }
        StoreSystemCookie(currentUrl_, name, value);
    }
}

bool WebSession::StoreCookieString(const Text& cookieString) {
    if (cookieString.empty() || HasHeaderBreak(cookieString)) return false;
    bool stored = false;
    size_t start = 0;
    while (start <= cookieString.size()) {
        size_t end = cookieString.find(';', start);
        if (end == Text::npos) end = cookieString.size();
        const Text part = TrimLeadingBlanks(cookieString.substr(start, end - start));
        const size_t eq = part.find('=');
        if (eq != Text::npos &&
            StoreSystemCookie(currentUrl_, part.substr(0, eq), part.substr(eq + 1))) {
            stored = true;
        }
        start = end + 1;
    }
    return stored;
}
