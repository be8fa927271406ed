#include "web/web_session.h"

#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/http_text.h"

namespace {

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
    maxBodySize_ = 0;
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
    callerAgent_.clear();
    callerReferer_.clear();
    disabledFeatures_ = 0;
    currentUrl_ = fullUrl;

    const WideText wideHost(reinterpret_cast<const char16_t*>(parts.lpszHostName),
                            parts.dwHostNameLength);
    const Text host = WideToAnsi(wideHost);
    const int port = parts.nPort;
    if (!connection_ || host != lastHost_ || port != lastPort_) {
        connection_.Reset();
        connectionCarried_ = false;
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
    // The program sends every cookie itself. Left on, the platform would keep what a host sets
    // for the life of the session and send it again on its own: an image host's cookie would
    // ride on every later picture request of a kept session.
    DisableFeature(WINHTTP_DISABLE_COOKIES);
    // The receive time-out is meant to bound the wait for the answer's headers too; the
    // platform keeps a separate, longer limit for those unless told.
    DWORD receive = static_cast<DWORD>(receiveTimeout_);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof(receive));
    lastError_ = 0;
    return true;
}
