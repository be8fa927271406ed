// Sending a request, taking in the answer's headers and following redirects.
#include "web/web_session.h"

#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/http_text.h"

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

DWORD WebSession::NetworkError(DWORD platformError) {
    // Wine hands on the socket's own error where Windows reports the WinHTTP one; a kept
    // connection the server reset is the same dropped connection either way.
    switch (platformError) {
        case WSAECONNRESET:
        case WSAECONNABORTED:
            return ERROR_WINHTTP_CONNECTION_ERROR;
        case WSAETIMEDOUT:
            return ERROR_WINHTTP_TIMEOUT;
        case WSAECONNREFUSED:
            return ERROR_WINHTTP_CANNOT_CONNECT;
        default:
            return platformError;
    }
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
    // A kept connection the server closed just as the request went out: Wine reports that as
    // an answer it could not read (12152), where Windows says dropped connection (12030).
    bool kept = connectionCarried_;
    connectionCarried_ = false;
    bool sent = false;
    for (int i = 0; i < attempts && !sent; ++i) {
        ++sendAttempts_;
        sent = WinHttpSendRequest(request_.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, size,
                                  size, 0) &&
               WinHttpReceiveResponse(request_.Get(), nullptr);
        if (sent) break;
        lastError_ = NetworkError(GetLastError());
        if (kept && lastError_ == ERROR_WINHTTP_INVALID_SERVER_RESPONSE) {
            lastError_ = ERROR_WINHTTP_CONNECTION_ERROR;
        }
        kept = false;
        // A dropped or refused connection may be a passing thing; anything else will not get
        // better by asking again.
        if (lastError_ != ERROR_WINHTTP_CANNOT_CONNECT &&
            lastError_ != ERROR_WINHTTP_CONNECTION_ERROR) {
            return false;
        }
    }
    if (!sent) return false;
    connectionCarried_ = true;
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
    // another host; and whenever the caller named a browser or a referrer, which every hop must
    // carry and whose end the caller may want to know (CurrentUrl).
    if (noRedirect_ || FollowsRedirectsItself()) {
        DisableFeature(WINHTTP_DISABLE_REDIRECTS);
    }
    if (cookieMode_ != 0) {
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
    if (noRedirect_ || !FollowsRedirectsItself()) return true;
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
    const Text agent = callerAgent_;
    const Text referer = callerReferer_;
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
    if (!agent.empty()) SetHeader("User-Agent", agent);
    if (!referer.empty()) SetHeader("Referer", referer);
    return SendRaw(nullptr, 0, skipEmpty, retries);
}

Text WebSession::GetLocation(bool makeAbsolute) const {
    if (responseHeaders_.empty()) return Text();
    const Text value = TrimBlanks(HeaderValue(responseHeaders_, "Location"));
    if (value.empty() || !makeAbsolute) return value;
    return ResolveLocation(currentUrl_, scheme_ == INTERNET_SCHEME_HTTPS, lastHost_, lastPort_,
                           value);
}
