// Session and request settings: time-outs, proxy, credentials, raw options, redirects.
#include "web/web_session.h"

#include <cstring>

#include "text/text_helpers.h"

namespace {

// Options that would loosen the checking of the server's certificate or of the channel. Every
// settable security flag means "ignore this kind of certificate error", so the option itself is
// refused; the protocol set is refused when it would allow SSL 2 or 3.
bool WeakensVerification(DWORD option, const void* value, DWORD length) {
    if (option == WINHTTP_OPTION_SECURITY_FLAGS) return true;
    if (option == WINHTTP_OPTION_SECURE_PROTOCOLS) {
        if (value == nullptr || length < sizeof(DWORD)) return true;
        DWORD protocols = 0;
        std::memcpy(&protocols, value, sizeof(protocols));
        return (protocols &
                (WINHTTP_FLAG_SECURE_PROTOCOL_SSL2 | WINHTTP_FLAG_SECURE_PROTOCOL_SSL3)) != 0;
    }
    return false;
}

}  // namespace

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
    if (handle == nullptr || WeakensVerification(option, value, length)) return false;
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
