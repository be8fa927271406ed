#include "web/web_session.h"

#include <algorithm>
#include <climits>
#include <new>

#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/system_cookie_store.h"

namespace {

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

bool HasLineBreak(const Text& text) {
    return text.find_first_of("\r\n") != Text::npos;
}

// The value of the header `name` in raw CRLF-separated headers: after "CRLF name:" (ASCII case
// ignored) up to the next CRLF, leading blanks removed. `found` tells an absent header from an
// empty one.
Text HeaderValue(const Text& headers, const Text& name, bool* found = nullptr) {
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

// A Content-Length value: digits after optional blanks. 0, garbage and values beyond 32 bits
// all mean "unknown" (-1): the body is then read until the server has no more.
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

// "http://host?q" names the root folder with a query; the platform would take "host?q" for the
// host name, so the "/" is written out.
Text WithRootPath(const Text& url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == Text::npos) return url;
    const size_t cut = url.find_first_of("/?#", schemeEnd + 3);
    if (cut == Text::npos || url[cut] == '/') return url;
    return url.substr(0, cut) + "/" + url.substr(cut);
}

}  // namespace

Text ResolveLocation(const Text& currentUrl, bool https, const Text& host, int port,
                     const Text& location) {
    if (location.empty()) return Text();
    if (location.compare(0, 2, "//") == 0) return (https ? "https:" : "http:") + location;
    if (location[0] == '/') {
        return (https ? "https://" : "http://") + host + ":" + std::to_string(port) + location;
    }
    const Text lower = LowerAscii(location.substr(0, 8));
    if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) {
        return location;
    }
    // Relative to the current address: its query and fragment are not part of the folder, and
    // an address without a path stands for the root folder.
    Text base = currentUrl.substr(0, currentUrl.find_first_of("?#"));
    const size_t schemeEnd = base.find("://");
    if (base.find('/', schemeEnd == Text::npos ? 0 : schemeEnd + 3) == Text::npos) base += "/";
    if (location[0] == '?') return base + location;
    return base.substr(0, base.rfind('/') + 1) + location;
}

WebSession::WebSession() {
    OpenSession();
    Initialize();
}

WebSession::~WebSession() {
    Close();
}

bool WebSession::OpenSession(const std::optional<Text>& userAgent) {
    request_.Reset();
    connection_.Reset();
    lastHost_.clear();
    lastPort_ = 0;
    const WideText agent = AnsiToWide(userAgent.value_or(kDefaultUserAgent));
    session_.Reset(WinHttpOpen(WinStr(agent), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session_) {
        lastError_ = GetLastError();
        return false;
    }
    body_.clear();
    body_.reserve(kInitialBodyBuffer);
    return true;
}

void WebSession::Close() {
    request_.Reset();
    connection_.Reset();
    session_.Reset();
    ByteBuffer().swap(body_);
    bodyState_ = BodyState::NotRead;
    contentLength_ = 0;
    lastPort_ = 0;
    noRedirect_ = false;
    proxyCredentialsPending_ = false;
    responseHeaders_.clear();
    proxyUser_.clear();
    proxyPassword_.clear();
    lastHost_.clear();
    currentUrl_.clear();
    callerCookie_.clear();
    disabledFeatures_ = 0;
}

void WebSession::Initialize() {
    defaultHeaders_ = true;
    cookieMode_ = 0;
    jar_.Clear();
    SetTimeouts();
}

HINTERNET WebSession::SessionHandle(std::optional<HINTERNET> adopt) {
    if (adopt) session_.Reset(*adopt);
    return session_.Get();
}

HINTERNET WebSession::ConnectHandle(std::optional<HINTERNET> adopt) {
    if (adopt) connection_.Reset(*adopt);
    return connection_.Get();
}

HINTERNET WebSession::RequestHandle(std::optional<HINTERNET> adopt) {
    if (adopt) request_.Reset(*adopt);
    return request_.Get();
}

void WebSession::SetDefaultHeaders(bool on) {
    defaultHeaders_ = on;
}

void WebSession::SetCookieMode(int mode) {
    cookieMode_ = (mode >= 0 && mode <= 2) ? mode : 0;
}

bool WebSession::Reset(const std::optional<Text>& userAgent) {
    Close();
    const bool opened = OpenSession(userAgent);
    Initialize();
    return opened;
}

bool WebSession::Open(const Text& verb, const Text& url) {
    if (!session_) return false;
    const Text fullUrl = WithRootPath(CompleteScheme(url));
    WideText wideUrl = AnsiToWide(fullUrl);
    if (wideUrl.empty()) return false;

    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(WinStr(wideUrl), static_cast<DWORD>(wideUrl.size()), 0, &parts)) {
        lastError_ = GetLastError();
        return false;
    }

    body_.clear();
    bodyState_ = BodyState::NotRead;
    contentLength_ = 0;
    responseHeaders_.clear();
    request_.Reset();
    callerCookie_.clear();
    disabledFeatures_ = 0;
    currentUrl_ = fullUrl;

    const WideText wideHost(reinterpret_cast<const char16_t*>(parts.lpszHostName),
                            parts.dwHostNameLength);
    const Text host = WideToAnsi(wideHost);
    const int port = parts.nPort;
    if (!connection_ || host != lastHost_ || port != lastPort_) {
        connection_.Reset();
        lastHost_.clear();
        lastPort_ = 0;
        HINTERNET connection =
            WinHttpConnect(session_.Get(), WinStr(wideHost), static_cast<INTERNET_PORT>(port), 0);
        if (connection == nullptr) {
            lastError_ = GetLastError();
            return false;
        }
        connection_.Reset(connection);
        lastHost_ = host;
        lastPort_ = port;
    }

    Text method = verb.empty() ? Text("GET") : UpperAscii(verb);
    if (defaultHeaders_) verbIsPost_ = (method == "POST");

    WideText object = u"/";
    if (parts.dwUrlPathLength > 0) {
        object.assign(reinterpret_cast<const char16_t*>(parts.lpszUrlPath),
                      parts.dwUrlPathLength + parts.dwExtraInfoLength);
    }
    scheme_ = parts.nScheme;
    const DWORD flags = (scheme_ == INTERNET_SCHEME_HTTPS) ? WINHTTP_FLAG_SECURE : 0;
    const WideText wideVerb = AnsiToWide(method);
    HINTERNET request =
        WinHttpOpenRequest(connection_.Get(), WinStr(wideVerb), WinStr(object), nullptr,
                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (request == nullptr) {
        lastError_ = GetLastError();
        return false;
    }
    request_.Reset(request);
    // The receive time-out is meant to bound the wait for the answer's headers too; the
    // platform keeps a separate, longer limit for those unless told.
    DWORD receive = static_cast<DWORD>(receiveTimeout_);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof(receive));
    lastError_ = 0;
    return true;
}

bool WebSession::Send(const Text& body, bool skipEmpty, int retries) {
    redirectCount_ = 0;
    return SendRaw(body.data(), body.size(), skipEmpty, retries);
}

bool WebSession::SendBytes(const ByteBuffer& body, bool skipEmpty, int retries) {
    redirectCount_ = 0;
    return SendRaw(body.data(), body.size(), skipEmpty, retries);
}

bool WebSession::SendRaw(const char* body, size_t length, bool skipEmpty, int retries) {
    sendAttempts_ = 0;
    if (!request_) return false;
    if (length > 0xFFFFFFFFu) return false;
    ApplyRequestOptions();
    if (defaultHeaders_) AddDefaultHeaders(length > 0);

    const DWORD size = static_cast<DWORD>(length);
    void* data = length > 0 ? const_cast<char*>(body) : WINHTTP_NO_REQUEST_DATA;
    const int attempts = 1 + (retries > 0 ? retries : 0);
    bool sent = false;
    for (int i = 0; i < attempts && !sent; ++i) {
        ++sendAttempts_;
        sent = WinHttpSendRequest(request_.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, size,
                                  size, 0) &&
               WinHttpReceiveResponse(request_.Get(), nullptr);
        if (sent) break;
        lastError_ = GetLastError();
        // A dropped or refused connection may be a passing thing; anything else will not get
        // better by asking again.
        if (lastError_ != ERROR_WINHTTP_CANNOT_CONNECT &&
            lastError_ != ERROR_WINHTTP_CONNECTION_ERROR) {
            return false;
        }
    }
    if (!sent) return false;
    lastError_ = 0;
    ProcessResponseHeaders(skipEmpty);
    return FollowRedirect(skipEmpty, retries);
}

void WebSession::ApplyRequestOptions() {
    if (proxyCredentialsPending_) {
        const WideText user = AnsiToWide(proxyUser_);
        const WideText password = AnsiToWide(proxyPassword_);
        WinHttpSetOption(request_.Get(), WINHTTP_OPTION_PROXY_USERNAME,
                         const_cast<wchar_t*>(WinStr(user)), static_cast<DWORD>(user.size()));
        WinHttpSetOption(request_.Get(), WINHTTP_OPTION_PROXY_PASSWORD,
                         const_cast<wchar_t*>(WinStr(password)),
                         static_cast<DWORD>(password.size()));
        proxyCredentialsPending_ = false;
        proxyUser_.clear();
        proxyPassword_.clear();
    }
    // The session follows redirects itself whenever cookies are in its hands, so that the
    // cookies of every hop are kept and a caller's cookie header never follows a redirect to
    // another host.
    if (noRedirect_ || cookieMode_ > 0 || !callerCookie_.empty()) {
        DisableFeature(WINHTTP_DISABLE_REDIRECTS);
    }
    if (cookieMode_ != 0) {
        DisableFeature(WINHTTP_DISABLE_COOKIES);
        if (cookieMode_ == 1) {
            AddCookieHeader();
        } else {
            AddStoredCookieHeader();
        }
    }
}

bool WebSession::ProcessResponseHeaders(bool skipEmpty) {
    responseHeaders_ = QueryHeaderText(WINHTTP_QUERY_RAW_HEADERS_CRLF);
    if (responseHeaders_.empty()) {
        contentLength_ = -1;
        return false;
    }
    bool found = false;
    const Text length = HeaderValue(responseHeaders_, "Content-Length", &found);
    contentLength_ = found ? ParseContentLength(length) : -1;
    if (cookieMode_ == 1) {
        jar_.MergeSetCookies(responseHeaders_, skipEmpty);
    } else if (cookieMode_ == 2) {
        StoreSetCookies(skipEmpty);
    }
    return true;
}

bool WebSession::FollowRedirect(bool skipEmpty, int retries) {
    if (noRedirect_ || (cookieMode_ == 0 && callerCookie_.empty())) return true;
    const int status = GetStatusCode();
    const Text location = GetLocation(true);
    if (location.empty() || status < 300 || status > 399) {
        redirectCount_ = 0;
        return true;
    }
    if (++redirectCount_ > kMaxRedirects) {
        redirectCount_ = 0;
        return true;
    }
    // A cookie header the caller set goes on only to the same host, and never from https down
    // to http.
    const Text cookie = callerCookie_;
    const Text fromHost = UrlHost(currentUrl_);
    const bool fromHttps = scheme_ == INTERNET_SCHEME_HTTPS;
    if (!Open(Text(), location)) {
        redirectCount_ = 0;
        return false;
    }
    if (!cookie.empty() && UrlHost(currentUrl_) == fromHost &&
        !(fromHttps && scheme_ != INTERNET_SCHEME_HTTPS)) {
        SetHeader("Cookie", cookie);
    }
    return SendRaw(nullptr, 0, skipEmpty, retries);
}

ByteBuffer WebSession::GetBody() {
    if (!request_ || contentLength_ == 0) return ByteBuffer();
    if (bodyState_ == BodyState::NotRead) ReadBody();
    return bodyState_ == BodyState::Complete ? body_ : ByteBuffer();
}

void WebSession::ReadBody() {
    const size_t expected = contentLength_ > 0 ? static_cast<size_t>(contentLength_) : 0;
    size_t capacity = expected == 0 ? kInitialBodyBuffer : std::min(expected, kLargeBodyStep);
    size_t total = 0;
    bool broken = false;
    try {
        body_.resize(capacity);
        for (;;) {
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request_.Get(), &available)) {
                lastError_ = GetLastError();
                broken = true;
                break;
            }
            if (available == 0) break;
            const size_t needed = total + available;
            if (needed > capacity) {
                if (expected == 0 || expected < needed) {
                    capacity = needed + kBodyStep;
                } else if (expected - needed > kLargeBodyStep) {
                    capacity = needed + kLargeBodyStep;
                } else {
                    capacity = expected;
                }
                body_.resize(capacity);
            }
            DWORD read = 0;
            if (!WinHttpReadData(request_.Get(), body_.data() + total,
                                 static_cast<DWORD>(capacity - total), &read)) {
                lastError_ = GetLastError();
                broken = true;
                break;
            }
            if (read == 0) break;
            total += read;
        }
    } catch (const std::bad_alloc&) {
        lastError_ = ERROR_NOT_ENOUGH_MEMORY;
        broken = true;
    }
    // Fewer bytes than announced is a transfer that broke off, not a shorter body.
    if (!broken && expected > 0 && total < expected) {
        lastError_ = ERROR_WINHTTP_CONNECTION_ERROR;
        broken = true;
    }
    if (broken) {
        ByteBuffer().swap(body_);
        bodyState_ = BodyState::Broken;
        return;
    }
    body_.resize(total);
    bodyState_ = BodyState::Complete;
}

Text WebSession::GetBodyText() {
    return GetBody();
}

Text WebSession::GetBodyTextFromUtf8() {
    const ByteBuffer body = GetBody();
    if (body.empty()) return Text();
    return Utf8ToAnsi(body);
}

Text WebSession::QueryHeaderText(DWORD query) const {
    if (!request_) return Text();
    DWORD size = 0;
    WinHttpQueryHeaders(request_.Get(), query, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return Text();
    WideText wide(size / sizeof(wchar_t) + 1, u'\0');
    if (!WinHttpQueryHeaders(request_.Get(), query, WINHTTP_HEADER_NAME_BY_INDEX, WinStr(wide),
                             &size, WINHTTP_NO_HEADER_INDEX)) {
        return Text();
    }
    wide.resize(size / sizeof(wchar_t));
    return WideToAnsi(wide);
}

int WebSession::GetStatusCode() const {
    if (!request_ || contentLength_ == 0) return 0;
    const Text code = QueryHeaderText(WINHTTP_QUERY_STATUS_CODE);
    int n = 0;
    for (char c : code) {
        if (c < '0' || c > '9' || n > 99999) break;
        n = n * 10 + (c - '0');
    }
    return n;
}

Text WebSession::GetStatusText() const {
    if (!request_ || contentLength_ == 0) return Text();
    return QueryHeaderText(WINHTTP_QUERY_STATUS_TEXT);
}

Text WebSession::GetResponseHeader(const Text& name) const {
    if (responseHeaders_.empty() || name.empty()) return Text();
    return HeaderValue(responseHeaders_, name);
}

Text WebSession::GetSetCookies() const {
    return SetCookiesFromHeaders(responseHeaders_);
}

Text WebSession::GetSetCookie(const Text& name) const {
    return SetCookieFromHeaders(responseHeaders_, name);
}

Text WebSession::GetLocation(bool makeAbsolute) const {
    if (responseHeaders_.empty()) return Text();
    const Text value = TrimBlanks(HeaderValue(responseHeaders_, "Location"));
    if (value.empty() || !makeAbsolute) return value;
    return ResolveLocation(currentUrl_, scheme_ == INTERNET_SCHEME_HTTPS, lastHost_, lastPort_,
                           value);
}

bool WebSession::SetTimeouts(std::optional<int> resolveMs, std::optional<int> connectMs,
                             std::optional<int> sendMs, std::optional<int> receiveMs) {
    if (!session_) return false;
    if (!WinHttpSetTimeouts(session_.Get(), resolveMs.value_or(kResolveTimeout),
                            connectMs.value_or(kConnectTimeout), sendMs.value_or(kSendTimeout),
                            receiveMs.value_or(kReceiveTimeout))) {
        return false;
    }
    receiveTimeout_ = receiveMs.value_or(kReceiveTimeout);
    return true;
}

bool WebSession::SetProxy(const Text& proxy, const Text& user, const Text& password) {
    if (!session_) return false;
    WINHTTP_PROXY_INFO info{};
    WideText wideProxy = AnsiToWide(proxy);
    WideText bypass;
    if (!proxy.empty()) {
        if (request_) {
            const WideText wideUser = AnsiToWide(user);
            const WideText widePassword = AnsiToWide(password);
            WinHttpSetOption(request_.Get(), WINHTTP_OPTION_PROXY_USERNAME,
                             const_cast<wchar_t*>(WinStr(wideUser)),
                             static_cast<DWORD>(wideUser.size()));
            WinHttpSetOption(request_.Get(), WINHTTP_OPTION_PROXY_PASSWORD,
                             const_cast<wchar_t*>(WinStr(widePassword)),
                             static_cast<DWORD>(widePassword.size()));
        } else {
            proxyUser_ = user;
            proxyPassword_ = password;
            proxyCredentialsPending_ = true;
        }
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = WinStr(wideProxy);
        info.lpszProxyBypass = WinStr(bypass);
    } else {
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    }
    return WinHttpSetOption(session_.Get(), WINHTTP_OPTION_PROXY, &info, sizeof(info)) != FALSE;
}

bool WebSession::SetCredentials(const Text& user, const Text& password, std::optional<DWORD> target,
                                std::optional<DWORD> scheme) {
    if (!request_) return false;
    const WideText wideUser = AnsiToWide(user);
    const WideText widePassword = AnsiToWide(password);
    return WinHttpSetCredentials(request_.Get(), target.value_or(WINHTTP_AUTH_TARGET_SERVER),
                                 scheme.value_or(WINHTTP_AUTH_SCHEME_BASIC), WinStr(wideUser),
                                 WinStr(widePassword), nullptr) != FALSE;
}

bool WebSession::SetRawOption(WebHandle which, DWORD option, void* value, DWORD length) {
    HINTERNET handle = which == WebHandle::Connection ? connection_.Get()
                       : which == WebHandle::Request  ? request_.Get()
                                                      : session_.Get();
    if (handle == nullptr) return false;
    return WinHttpSetOption(handle, option, value, length) != FALSE;
}

void WebSession::SetAllowRedirects(std::optional<bool> allow) {
    noRedirect_ = allow.has_value() && !*allow;
}

bool WebSession::DisableFeature(DWORD feature) {
    if (!request_) return false;
    // Send the whole set each time: whether the platform adds to or replaces the earlier
    // choice, the request ends up with every feature turned off that was asked for.
    disabledFeatures_ |= feature;
    DWORD mask = disabledFeatures_;
    return WinHttpSetOption(request_.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &mask, sizeof(mask)) !=
           FALSE;
}

bool WebSession::AddHeaderText(const Text& headerText, DWORD flags) {
    if (!request_) return false;
    const WideText wide = AnsiToWide(headerText);
    if (wide.empty()) return false;
    return WinHttpAddRequestHeaders(request_.Get(), WinStr(wide), static_cast<DWORD>(wide.size()),
                                    flags) != FALSE;
}

bool WebSession::SetHeader(const Text& name, const Text& value, std::optional<DWORD> flags) {
    // A line break would start a header of the value's choosing.
    if (!request_ || name.empty() || HasLineBreak(name) || HasLineBreak(value)) return false;
    if (cookieMode_ == 0 && LowerAscii(name) == "cookie") {
        DisableFeature(WINHTTP_DISABLE_COOKIES);
        callerCookie_ = value;
    }
    return AddHeaderText(name + ":" + value, flags.value_or(kAddReplace));
}

bool WebSession::RemoveHeader(const Text& name) {
    if (!request_ || name.empty() || HasLineBreak(name)) return false;
    if (cookieMode_ == 0 && LowerAscii(name) == "cookie") {
        DisableFeature(WINHTTP_DISABLE_COOKIES);
        callerCookie_.clear();
    }
    return AddHeaderText(name + ":", kReplace);
}

bool WebSession::SetCookie(const Text& cookieString) {
    if (cookieMode_ == 1) return jar_.AddCookies(cookieString);
    if (cookieMode_ == 2) return StoreCookieString(cookieString);
    if (!request_) return false;
    DisableFeature(WINHTTP_DISABLE_COOKIES);
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
    if (!request_ || HasLineBreak(address)) return false;
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
    return AddHeaderText("Cookie:" + jar_.CookieText(), kAddReplace);
}

bool WebSession::AddStoredCookieHeader() {
    const Text cookies = SystemCookiesFor(currentUrl_);
    if (cookies.empty()) return false;
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
    if (cookieString.empty()) return false;
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
