#pragma once
// WebSession: the program's one HTTP client, synchronous, over WinHTTP.
//
// Per request: Open(verb, url), optional header setters / SetCookie, Send(body), then
// GetStatusCode / GetBody / GetBodyText / GetBodyTextFromUtf8 / GetSetCookies. One thread at a
// time. A session kept for many requests keeps its connection while host and port stay the same;
// read each body (GetBody) before the next Open, or the platform cannot keep the connection.
//
// Cookie modes: 0 = the caller hands a cookie string to SetCookie (the application's way);
// 1 = the session's own CookieJar collects every Set-Cookie and sends it back, and the session
// follows redirects itself so cookies of intermediate answers are kept; 2 = the system (WinINet)
// cookie store keyed by the request URL.
// In every mode the platform's own cookie handling is off: it neither keeps what an answer sets
// nor adds cookies of its own, so a request carries exactly the cookies its mode gives it.
//
// TLS certificates are always verified: a server whose certificate cannot be verified makes
// Send fail like any other network failure.
#include <windows.h>
#include <winhttp.h>

#include <optional>

#include "text/text_types.h"
#include "web/cookie_jar.h"
#include "web/internet_handle.h"

// A "Location:" value made absolute against the request it answered: "/p" gets scheme, host
// and port (always written), "//h/p" the scheme, "p" the folder of the request's path; an
// absolute address stays as it is.
Text ResolveLocation(const Text& currentUrl, bool https, const Text& host, int port,
                     const Text& location);

// Which handle SetRawOption addresses.
enum class WebHandle { Session = 0, Connection = 1, Request = 2 };

class WebSession {
  public:
    static constexpr const char* kDefaultUserAgent =
        "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)";
    static constexpr int kResolveTimeout = 10000;
    static constexpr int kConnectTimeout = 15000;
    static constexpr int kSendTimeout = 120000;
    static constexpr int kReceiveTimeout = 300000;
    static constexpr int kMaxRedirects = 20;
    static constexpr size_t kInitialBodyBuffer = 10240;
    static constexpr size_t kBodyStep = 10240;
    static constexpr size_t kLargeBodyStep = 0x100000;
    // WinHttpAddRequestHeaders flags.
    static constexpr DWORD kAddReplace = 0xA0000000;  // ADD | REPLACE
    static constexpr DWORD kReplace = 0x80000000;
    static constexpr DWORD kAddIfNew = 0x10000000;

    // Opens the platform session with the default agent and applies the defaults.
    WebSession();
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;
    WebSession(WebSession&&) noexcept = default;
    WebSession& operator=(WebSession&&) noexcept = default;

    // WinHttpOpen with the agent (code page 936; the default agent when absent). False when the
    // platform refuses; every later call then fails quietly.
    bool OpenSession(const std::optional<Text>& userAgent = std::nullopt);
    // Closes request, connection and session; clears the response and URL state. The cookie
    // text and the settings survive.
    void Close();
    // Settings to their defaults: default headers on, cookie mode 0, empty jar, time-outs.
    void Initialize();

    // The handles (borrowed). Passing a handle hands its ownership to the session, which closes
    // the one it held; the result is the handle now held.
    HINTERNET SessionHandle(std::optional<HINTERNET> adopt = std::nullopt);
    HINTERNET ConnectHandle(std::optional<HINTERNET> adopt = std::nullopt);
    HINTERNET RequestHandle(std::optional<HINTERNET> adopt = std::nullopt);

    void SetDefaultHeaders(bool on = true);
    // 0, 1 or 2; anything else means 0.
    void SetCookieMode(int mode = 1);
    int CookieMode() const { return cookieMode_; }
    // Close, OpenSession(agent), Initialize (which empties the jar).
    bool Reset(const std::optional<Text>& userAgent = std::nullopt);

    // Opens a request. The URL gets "http://" unless it starts with http:// or https:// (any
    // case). An empty verb means GET. False when the URL cannot be cracked or the connection or
    // request cannot be opened.
    bool Open(const Text& verb, const Text& url);
    bool Open(const Text& url) { return Open(Text(), url); }

    // Sends the open request and receives the answer's headers. Connection errors 12029 and
    // 12030 are tried again up to `retries` times; any other error fails at once. In cookie
    // modes 1 and 2, and in mode 0 when the caller set a Cookie, User-Agent or Referer header,
    // 3xx redirects are followed here (at most 20 hops, as GET without a body) instead of by
    // the platform; the last answer is the result, and a hop that fails makes Send fail. The
    // caller's Cookie header goes along only to the same host and never from https down to
    // http; its User-Agent and Referer go along to every hop.
    bool Send(const Text& body = Text(), bool skipEmpty = false, int retries = 0);
    bool SendBytes(const ByteBuffer& body = ByteBuffer(), bool skipEmpty = false, int retries = 0);

    // The body, read from the network once and then served from the buffer. A body whose
    // transfer broke off (connection reset, time-out, fewer bytes than Content-Length) reads as
    // empty bytes, never as a truncated body.
    ByteBuffer GetBody();
    Text GetBodyText();
    Text GetBodyTextFromUtf8();
    // True once GetBody read the whole body.
    bool BodyComplete() const { return bodyState_ == BodyState::Complete; }

    // The largest body GetBody will take in, in bytes; 0 means no limit (the default, also
    // after Initialize). An answer whose Content-Length or received bytes go beyond it reads as
    // no body (BodyComplete false, LastError kBodyTooLarge) instead of growing memory; its
    // status and headers stay readable.
    void SetMaxBodySize(size_t bytes) { maxBodySize_ = bytes; }
    size_t MaxBodySize() const { return maxBodySize_; }
    static constexpr DWORD kBodyTooLarge = ERROR_FILE_TOO_LARGE;

    // 0 / empty before any answer.
    int GetStatusCode() const;
    Text GetStatusText() const;
    Text GetResponseHeaders() const { return responseHeaders_; }
    Text GetResponseHeader(const Text& name) const;
    Text GetSetCookies() const;
    Text GetSetCookie(const Text& name) const;
    Text GetLocation(bool makeAbsolute) const;

    // Each absent value takes its default (10000, 15000, 120000, 300000 ms). They apply to the
    // requests opened after the call, on a kept connection too; the receive time-out bounds
    // the wait for the answer's headers and every wait for body bytes.
    bool SetTimeouts(std::optional<int> resolveMs = std::nullopt,
                     std::optional<int> connectMs = std::nullopt,
                     std::optional<int> sendMs = std::nullopt,
                     std::optional<int> receiveMs = std::nullopt);
    bool SetProxy(const Text& proxy, const Text& user, const Text& password);
    // target: WINHTTP_AUTH_TARGET_* (server when absent); scheme: WINHTTP_AUTH_SCHEME_* (basic).
    bool SetCredentials(const Text& user, const Text& password,
                        std::optional<DWORD> target = std::nullopt,
                        std::optional<DWORD> scheme = std::nullopt);
    // Any WinHttpSetOption, except those that would weaken the checking of certificates (the
    // security flags, a protocol set allowing SSL 2 or 3): those give false and change nothing.
    bool SetRawOption(WebHandle which, DWORD option, void* value, DWORD length);
    // allow false: nobody follows redirects; true or absent: the platform (mode 0) or the
    // session (modes 1, 2) does.
    void SetAllowRedirects(std::optional<bool> allow = std::nullopt);

    // Header setters act on the open request (false without one or with an empty name).
    bool SetHeader(const Text& name, const Text& value, std::optional<DWORD> flags = std::nullopt);
    bool RemoveHeader(const Text& name);
    // Mode 0: sends the string as the "Cookie" header and turns the platform's own cookies off
    // for this request. Mode 1: into the jar. Mode 2: into the system store.
    bool SetCookie(const Text& cookieString);
    bool SetUserAgent(const std::optional<Text>& value = std::nullopt);
    bool SetReferer(const std::optional<Text>& value = std::nullopt);  // default: current URL
    bool SetAccept(const std::optional<Text>& value = std::nullopt);   // "*/*"
    bool SetAcceptLanguage(const std::optional<Text>& value = std::nullopt);  // "zh-cn"
    bool SetContentType(const std::optional<Text>& value = std::nullopt);
    bool SetAjaxHeader();
    bool SetForwardedFor(const Text& address);

    // The jar (mode 1).
    Text CookieText() const { return jar_.CookieText(); }
    Text CookieText(const Text& newText) { return jar_.CookieText(newText); }
    Text GetCookie(const Text& name, bool withName = false) const {
        return jar_.GetCookie(name, withName);
    }
    bool AddCookies(const Text& cookieString) { return jar_.AddCookies(cookieString); }
    bool RemoveCookies(const Text& cookieString) { return jar_.RemoveCookies(cookieString); }
    const CookieJar& Jar() const { return jar_; }

    // The URL of the open request after scheme completion (after a redirect the session
    // followed itself, the address it led to).
    const Text& CurrentUrl() const { return currentUrl_; }
    // 0 before an answer, -1 when unknown (absent, unparsable or 0), else Content-Length.
    int ContentLength() const { return contentLength_; }
    // The platform error of the last failed Open, Send or body read (0 after success). Socket
    // errors some WinHTTP implementations pass on are given as their WinHTTP equivalents: a
    // reset or aborted connection as 12030, a socket time-out as 12002, a refusal as 12029.
    DWORD LastError() const { return lastError_; }
    // How many times the last Send (or its last redirect hop) put the request on the wire.
    int SendAttempts() const { return sendAttempts_; }

  private:
    enum class BodyState { NotRead, Complete, Broken };

    void StoreSetCookies(bool skipEmpty);
    bool StoreCookieString(const Text& cookieString);
    bool AddCookieHeader();
    bool AddStoredCookieHeader();
    bool AddDefaultHeaders(bool hasBody);
    void ApplyRequestOptions();
    bool ProcessResponseHeaders(bool skipEmpty);
    bool FollowRedirect(bool skipEmpty, int retries);
    bool FollowsRedirectsItself() const {
        return cookieMode_ > 0 || !callerCookie_.empty() || !callerAgent_.empty() ||
               !callerReferer_.empty();
    }
    bool SendRaw(const char* body, size_t length, bool skipEmpty, int retries);
    bool AddHeaderText(const Text& headerText, DWORD flags);
    bool DisableFeature(DWORD feature);
    void ReadBody();
    void DropBody(DWORD error);
    static DWORD NetworkError(DWORD platformError);
    Text QueryHeaderText(DWORD query) const;

    InternetHandle session_;
    InternetHandle connection_;
    InternetHandle request_;
    Text lastHost_;
    int lastPort_ = 0;
    // An answer came in over the open connection: the next request may find it closed.
    bool connectionCarried_ = false;
    Text currentUrl_;
    int scheme_ = 0;  // INTERNET_SCHEME_HTTP (1) or INTERNET_SCHEME_HTTPS (2)
    bool verbIsPost_ = false;
    ByteBuffer body_;
    BodyState bodyState_ = BodyState::NotRead;
    int contentLength_ = 0;
    Text responseHeaders_;
    bool defaultHeaders_ = true;
    int cookieMode_ = 0;
    CookieJar jar_;
    bool noRedirect_ = false;
    int redirectCount_ = 0;
    bool proxyCredentialsPending_ = false;
    Text proxyUser_;
    Text proxyPassword_;
    DWORD lastError_ = 0;
    int sendAttempts_ = 0;
    // The "Cookie" header the caller set on the open request (mode 0).
    Text callerCookie_;
    // The browser identity and referrer the caller set: they go on with every redirect hop the
    // session follows itself, as a browser's would.
    Text callerAgent_;
    Text callerReferer_;
    DWORD disabledFeatures_ = 0;
    int receiveTimeout_ = kReceiveTimeout;
    size_t maxBodySize_ = 0;
};
