// WebSession against the stand-in service inside the sandbox (loopback only).
#include <gtest/gtest.h>

#include "text/json_document.h"
#include "web/endpoints.h"
#include "web/web_session.h"
#include "web/net_test_support.h"

namespace {

using namespace webtest;

TEST(WebSessionRequest, CompletesTheSchemeAndSendsPathAndQueryAsOneObject) {
    WebSession s;
    ASSERT_TRUE(Get(s, "weibo.com/_t/echo?a=1&b=%E4%B8%AD"));
    EXPECT_EQ(s.CurrentUrl(), "http://weibo.com/_t/echo?a=1&b=%E4%B8%AD");
    Echo e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.scheme, "http");
    EXPECT_EQ(e.path, "/_t/echo?a=1&b=%E4%B8%AD");
    EXPECT_EQ(e.method, "GET");

    ASSERT_TRUE(Get(s, "HTTPS://weibo.com/_t/echo"));
    e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.scheme, "https");
    EXPECT_EQ(e.path, "/_t/echo");

    // The verb is upper-cased; an empty verb is GET.
    ASSERT_TRUE(s.Open("post", "http://weibo.com/_t/echo"));
    ASSERT_TRUE(s.Send("x=1&y=2"));
    e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.method, "POST");
    EXPECT_EQ(e.body, "x=1&y=2");
    ASSERT_TRUE(s.Open("", "http://weibo.com/_t/echo"));
    ASSERT_TRUE(s.Send());
    EXPECT_EQ(ParseEcho(s.GetBodyText()).method, "GET");
}

TEST(WebSessionRequest, SendsByteBodiesWholeZerosIncluded) {
    WebSession s;
    ByteBuffer body("a\0b\xFF", 4);
    body += ByteBuffer(70000, '\0');
    ASSERT_TRUE(s.Open("PUT", "https://weibo.com/_t/echo"));
    ASSERT_TRUE(s.SendBytes(body));
    JsonDocument echo;
    ASSERT_TRUE(echo.Parse(s.GetBodyText()));
    EXPECT_EQ(echo.GetText("method"), "PUT");
    EXPECT_EQ(echo.GetInteger("body_length"), static_cast<int64_t>(body.size()));
    // A body makes the default content type go along, whatever the verb.
    EXPECT_NE(s.GetBodyText().find("application/x-www-form-urlencoded"), Text::npos);
}

TEST(WebSessionRequest, AskForTheRootWhenTheAddressHasNoPath) {
    ASSERT_TRUE(standin::ClearLog());
    WebSession s;
    ASSERT_TRUE(Get(s, "elsewhere.test"));
    ASSERT_TRUE(Get(s, "https://elsewhere.test?x=1"));
    JsonDocument log;
    ASSERT_EQ(LoggedRequests(log, "?host=elsewhere.test"), 2);
    EXPECT_EQ(log.GetText("requests.[0].path"), "/");
    EXPECT_EQ(log.GetText("requests.[0].scheme"), "http");
    EXPECT_EQ(log.GetText("requests.[1].path"), "/?x=1");
    EXPECT_EQ(log.GetText("requests.[1].scheme"), "https");
}

TEST(WebSessionRequest, SendsTheDefaultHeadersUnlessTheCallerSetThem) {
    WebSession s;
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/echo"));
    Echo e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.Values("Accept"), std::vector<Text>{"*/*"});
    EXPECT_EQ(e.Values("Accept-Language"), std::vector<Text>{"zh-cn"});
    EXPECT_EQ(e.Values("Cache-Control"), std::vector<Text>{"no-cache"});
    EXPECT_EQ(e.Values("User-Agent"), std::vector<Text>{WebSession::kDefaultUserAgent});
    EXPECT_TRUE(e.Values("Content-Type").empty());

    ASSERT_TRUE(s.Open("POST", "http://weibo.com/_t/echo"));
    ASSERT_TRUE(s.SetAccept("text/html"));
    ASSERT_TRUE(s.SetReferer());
    ASSERT_TRUE(s.SetAjaxHeader());
    ASSERT_TRUE(s.SetHeader("X-Custom", "\xD6\xD0"));
    ASSERT_TRUE(s.Send());
    e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.Values("Accept"), std::vector<Text>{"text/html"});
    EXPECT_EQ(e.Values("Referer"), std::vector<Text>{"http://weibo.com/_t/echo"});
    EXPECT_EQ(e.Values("x-requested-with"), std::vector<Text>{"XMLHttpRequest"});
    EXPECT_EQ(e.Values("Content-Type"), std::vector<Text>{"application/x-www-form-urlencoded"});
    EXPECT_EQ(e.Values("X-Custom").size(), 1u);

    // Setters act on one request only.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/echo"));
    e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.Values("Accept"), std::vector<Text>{"*/*"});
    EXPECT_TRUE(e.Values("x-requested-with").empty());

    // Without default headers only what the platform always sends remains.
    s.SetDefaultHeaders(false);
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/echo"));
    e = ParseEcho(s.GetBodyText());
    EXPECT_TRUE(e.Values("Cache-Control").empty());
    EXPECT_TRUE(e.Values("Accept-Language").empty());
}

TEST(WebSessionRequest, RefusesHeaderValuesThatWouldStartAnotherHeader) {
    WebSession s;
    ASSERT_TRUE(s.Open("http://weibo.com/_t/echo"));
    EXPECT_FALSE(s.SetHeader("X-A", "1\r\nX-Injected: 1"));
    EXPECT_FALSE(s.SetCookie("A=1\nX-Injected: 1"));
    EXPECT_FALSE(s.SetForwardedFor("1.2.3.4\r\nX-Injected: 1"));
    EXPECT_TRUE(s.SetForwardedFor("10.0.0.9"));
    ASSERT_TRUE(s.Send());
    const Echo e = ParseEcho(s.GetBodyText());
    EXPECT_TRUE(e.Values("X-Injected").empty());
    EXPECT_TRUE(e.Values("Cookie").empty());
    for (const char* name : {"X-Forwarded-For", "CLIENT_IP", "VIA", "REMOTE_ADDR"}) {
        EXPECT_EQ(e.Values(name), std::vector<Text>{"10.0.0.9"}) << name;
    }
}

TEST(WebSessionCookies, ModeZeroSendsExactlyTheCallersCookieHeader) {
    WebSession s;
    // Left on, the platform's cookie handling would keep this cookie and send it on its own.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/setcookie?c=PLATFORM%3D1%3B%20Path%3D%2F"));
    ASSERT_TRUE(s.Open("GET", "http://weibo.com/_t/echo"));
    ASSERT_TRUE(s.SetCookie("A=1; B=2"));
    ASSERT_TRUE(s.Send());
    const Echo e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.Values("Cookie"), std::vector<Text>{"A=1; B=2"});
    // Nor does a later request of the kept session carry the cookie the host set.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/echo"));
    EXPECT_EQ(ParseEcho(s.GetBodyText()).Values("Cookie"), std::vector<Text>{});

    // With no request open there is nothing to put the header on.
    WebSession fresh;
    EXPECT_FALSE(fresh.SetCookie("A=1"));
}

TEST(WebSessionCookies, ResponseCookiesAreReadAsOneString) {
    WebSession s;
    ASSERT_TRUE(Get(s,
                    "http://weibo.com/_t/setcookie?c=A%3D1%3B%20path%3D%2F&c=B%3Ddeleted&c=C%3D"
                    "&c=SUB%3D_x-"));
    EXPECT_EQ(s.GetSetCookies(), "A=1; C=; SUB=_x-");
    EXPECT_EQ(s.GetSetCookie("A"), "1");
    EXPECT_EQ(s.GetSetCookie("B"), "deleted");
    EXPECT_EQ(s.GetSetCookie("Z"), "");
    // Mode 0 keeps no jar of its own.
    EXPECT_EQ(s.CookieText(), "");
}

TEST(WebSessionCookies, ModeOneKeepsAJarAcrossRequests) {
    WebSession s;
    s.SetCookieMode(1);
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/setcookie?c=A%3D1%3B%20path%3D%2F&c=B%3D2"));
    EXPECT_EQ(s.CookieText(), "A=1; B=2");
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/setcookie?c=A%3Ddeleted"));
    EXPECT_EQ(s.CookieText(), "B=2");
    ASSERT_TRUE(s.Open("http://weibo.com/_t/echo"));
    ASSERT_TRUE(s.SetCookie("C=3"));  // mode 1: into the jar
    ASSERT_TRUE(s.Send());
    EXPECT_EQ(ParseEcho(s.GetBodyText()).Values("Cookie"), std::vector<Text>{"B=2; C=3"});
}

TEST(WebSessionCookies, ModeTwoUsesTheSystemStore) {
    WebSession s;
    s.SetCookieMode(2);
    // A name of its own per run: the store outlives the test.
    const Text name = "m2c" + std::to_string(GetTickCount64());
    ASSERT_TRUE(Get(s, "http://elsewhere.test/_t/setcookie?c=" + name + "%3Dv1%3B%20Path%3D%2F"));
    ASSERT_TRUE(Get(s, "http://elsewhere.test/_t/echo"));
    const std::vector<Text> cookies = ParseEcho(s.GetBodyText()).Values("Cookie");
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_NE(cookies[0].find(name + "=v1"), Text::npos) << cookies[0];
}

TEST(WebSessionRedirects, ModeOneFollowsTwentyHopsAndKeepsTheCookiesOfEach) {
    WebSession s;
    s.SetCookieMode(1);
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/redirect?n=21"));
    // 21 redirects: 20 are followed, the 21st answer is the result.
    EXPECT_EQ(s.GetStatusCode(), 302);
    EXPECT_NE(s.GetLocation(false), "");
    for (int i = 1; i <= 21; ++i) {
        EXPECT_EQ(s.GetCookie("r" + std::to_string(i)), "v" + std::to_string(i)) << i;
    }

    WebSession t;
    t.SetCookieMode(1);
    ASSERT_TRUE(Get(t, "http://weibo.com/_t/redirect?n=20"));
    EXPECT_EQ(t.GetStatusCode(), 200);
    const Echo e = ParseEcho(t.GetBodyText());
    EXPECT_EQ(e.path, "/_t/echo");
    ASSERT_EQ(e.Values("Cookie").size(), 1u);
    for (int i = 1; i <= 20; ++i) {
        const Text cookie = "r" + std::to_string(i) + "=v" + std::to_string(i);
        EXPECT_NE(e.Values("Cookie")[0].find(cookie), Text::npos) << cookie;
    }
}

TEST(WebSessionRedirects, FollowEveryKindOfLocation) {
    // Mode 0 without a cookie leaves redirects to the platform; with a cookie, and in mode 1,
    // the session follows them itself.
    struct Way {
        int mode;
        const char* cookie;
        bool browser;  // a User-Agent and a Referer set, which every hop carries
    };
    for (const char* kind : {"relative", "absolute", "path-relative", "scheme-relative"}) {
        for (const Way way :
             {Way{0, "", false}, Way{0, "", true}, Way{0, "K=1", false}, Way{1, "", false}}) {
            // Wine's own redirect handling gets "redirect?n=1" and "//host/path" wrong.
            const bool relativeToPlatform =
                Text(kind) == "path-relative" || Text(kind) == "scheme-relative";
            if (way.mode == 0 && !*way.cookie && !way.browser && relativeToPlatform) continue;
            WebSession s;
            s.SetCookieMode(way.mode);
            ASSERT_TRUE(s.Open(Text("https://weibo.com/_t/redirect?n=2&location=") + kind));
            if (*way.cookie) {
                ASSERT_TRUE(s.SetCookie(way.cookie));
            }
            if (way.browser) {
                ASSERT_TRUE(s.SetUserAgent("Agent/2") && s.SetReferer("https://weibo.com/"));
            }
            ASSERT_TRUE(s.Send()) << kind << " mode " << way.mode;
            const Text what = Text(kind) + " mode " + std::to_string(way.mode) + " " + way.cookie +
                              (way.browser ? " browser" : "");
            EXPECT_EQ(s.GetStatusCode(), 200) << what;
            const Echo e = ParseEcho(s.GetBodyText());
            EXPECT_EQ(e.path, "/_t/echo") << what;
            if (way.browser) {
                EXPECT_EQ(s.CurrentUrl().substr(s.CurrentUrl().size() - 8), "/_t/echo") << what;
                EXPECT_EQ(e.Values("User-Agent"), std::vector<Text>{"Agent/2"}) << what;
                EXPECT_EQ(e.Values("Referer"), std::vector<Text>{"https://weibo.com/"}) << what;
            }
            EXPECT_EQ(e.scheme, "https") << what;
            if (*way.cookie) {
                EXPECT_EQ(e.Values("Cookie"), std::vector<Text>{way.cookie}) << what;
            }
        }
    }
}

TEST(WebSessionRedirects, TheCallersCookieStaysOnTheHostItWasSetFor) {
    WebSession s;
    ASSERT_TRUE(
        s.Open("https://weibo.com/_t/redirect?n=1&location=absolute&to="
               "https%3A%2F%2Felsewhere.test%2F_t%2Fecho"));
    ASSERT_TRUE(s.SetCookie("SUB=secret"));
    ASSERT_TRUE(s.Send());
    Echo e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.host, "elsewhere.test");
    EXPECT_TRUE(e.Values("Cookie").empty());

    ASSERT_TRUE(s.Open("https://weibo.com/_t/redirect?n=2"));
    ASSERT_TRUE(s.SetCookie("SUB=secret"));
    ASSERT_TRUE(s.Send());
    e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.host, "weibo.com");
    EXPECT_EQ(e.Values("Cookie"), std::vector<Text>{"SUB=secret"});

    // The same host, but from https down to http.
    ASSERT_TRUE(
        s.Open("https://weibo.com/_t/redirect?n=1&location=absolute&to="
               "http%3A%2F%2Fweibo.com%2F_t%2Fecho"));
    ASSERT_TRUE(s.SetCookie("SUB=secret"));
    ASSERT_TRUE(s.Send());
    e = ParseEcho(s.GetBodyText());
    EXPECT_EQ(e.scheme, "http");
    EXPECT_EQ(e.host, "weibo.com");
    EXPECT_TRUE(e.Values("Cookie").empty());
}

TEST(WebSessionRedirects, AreTakenOnlyFromRedirectAnswersAndAHopThatCannotOpenFails) {
    // The bad hop's address is one that Open itself refuses.
    ASSERT_FALSE(WebSession().Open("http://weibo.com:99999/x"));
    ASSERT_TRUE(standin::ClearLog());
    ASSERT_TRUE(standin::AddFault(R"([{"path":"/_t/located/200","action":"status","status":200,)"
                                  R"("body":"mine","headers":{"Location":"/_t/echo"}},)"
                                  R"({"path":"/_t/located/404","action":"status","status":404,)"
                                  R"("body":"mine","headers":{"Location":"/_t/echo"}},)"
                                  R"({"path":"/_t/badhop","action":"status","status":302,)"
                                  R"("headers":{"Location":"http://weibo.com:99999/x"}}])"));
    struct Outcome {
        bool sent;
        int status;
        Text body;
    };
    std::vector<Outcome> seen;
    // The session follows redirects itself in mode 1 and with a caller's cookie in mode 0.
    for (int mode : {0, 1}) {
        for (const char* path : {"/_t/located/200", "/_t/located/404", "/_t/badhop"}) {
            WebSession s;
            s.SetCookieMode(mode);
            const bool opened = s.Open(Text("http://weibo.com") + path);
            if (mode == 0) s.SetCookie("K=1");
            const bool sent = opened && s.Send();
            seen.push_back({sent, s.GetStatusCode(), s.GetBodyText()});
        }
    }
    ASSERT_TRUE(standin::ClearFaults());
    for (size_t i = 0; i < seen.size(); ++i) {
        const int status = i % 3 == 0 ? 200 : 404;
        if (i % 3 == 2) {
            EXPECT_FALSE(seen[i].sent) << i;
            continue;
        }
        ASSERT_TRUE(seen[i].sent) << i;
        EXPECT_EQ(seen[i].status, status) << i;
        EXPECT_EQ(seen[i].body, "mine") << i;
    }
    JsonDocument log;
    EXPECT_EQ(LoggedRequests(log, "?path=/_t/echo"), 0);
}

TEST(WebSessionRedirects, NoneAreFollowedWhenRedirectsAreOff) {
    for (int mode : {0, 1}) {
        WebSession s;
        s.SetCookieMode(mode);
        s.SetAllowRedirects(false);
        ASSERT_TRUE(Get(s, "http://weibo.com/_t/redirect?n=3"));
        EXPECT_EQ(s.GetStatusCode(), 302) << mode;
        EXPECT_EQ(s.GetLocation(true).find("http://weibo.com:80/_t/redirect?n=2"), 0u)
            << s.GetLocation(true);
    }
}

TEST(WebSessionBody, IsReadWholeAndByteExactWhateverItsSize) {
    WebSession s;
    for (size_t n : {size_t{0}, size_t{1}, size_t{10240}, size_t{10241}, size_t{1048577},
                     size_t{50} * 1024 * 1024}) {
        ASSERT_TRUE(Get(s, "http://wx1.sinaimg.cn/_t/bytes?n=" + std::to_string(n))) << n;
        EXPECT_EQ(s.GetStatusCode(), 200);
        EXPECT_EQ(s.ContentLength(), n == 0 ? -1 : static_cast<int>(n));
        EXPECT_TRUE(IsPattern(s.GetBody(), n)) << n;
        EXPECT_TRUE(s.BodyComplete()) << n;
        // Served again from the buffer, not the network.
        EXPECT_EQ(s.GetBodyText().size(), n);
    }
}

TEST(WebSessionBody, WithoutALengthIsReadUntilTheServerHasNoMore) {
    WebSession s;
    for (const char* mode : {"chunked&chunk=777", "close"}) {
        ASSERT_TRUE(Get(s, Text("https://wx2.sinaimg.cn/_t/bytes?n=300001&mode=") + mode));
        EXPECT_EQ(s.ContentLength(), -1) << mode;
        EXPECT_TRUE(IsPattern(s.GetBody(), 300001)) << mode;
    }
    // "content-length: 0" in any case is an unknown length too.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/empty"));
    EXPECT_EQ(s.ContentLength(), -1);
    EXPECT_EQ(s.GetBody(), "");
    EXPECT_TRUE(s.BodyComplete());
    EXPECT_EQ(s.GetStatusCode(), 200);
}

TEST(WebSessionBody, ABrokenTransferGivesNoBodyAndNeverHangs) {
    WebSession s;
    // A clean close short of the length: the headers arrived, the body did not.
    const char* truncated = "http://weibo.com/_t/truncate?n=200000&after=70000";
    ASSERT_TRUE(Get(s, truncated));
    EXPECT_EQ(s.GetBody(), "");
    EXPECT_FALSE(s.BodyComplete());
    EXPECT_EQ(s.GetBody(), "");  // and stays failed
    // A reset throws away whatever the client had not read yet, the headers included when it
    // comes early enough: the send itself may fail. Either way nothing reads as a body.
    for (const char* url : {"http://weibo.com/_t/reset?n=200000&after=70000",
                            "http://weibo.com/_t/reset?n=50&after=0"}) {
        if (Get(s, url)) {
            EXPECT_EQ(s.GetBody(), "") << url;
            EXPECT_FALSE(s.BodyComplete()) << url;
        }
    }
    // The session is still good for the next request.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/bytes?n=5000"));
    EXPECT_TRUE(IsPattern(s.GetBody(), 5000));
}

TEST(WebSessionBody, IsDecodedFromUtf8OnRequest) {
    WebSession s;
    // "中文abc" in UTF-8.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/body?text=%E4%B8%AD%E6%96%87abc"));
    EXPECT_EQ(s.GetBodyTextFromUtf8(),
              "\xD6\xD0\xCE\xC4"
              "abc");
    EXPECT_EQ(s.GetBodyText(),
              "\xE4\xB8\xAD\xE6\x96\x87"
              "abc");
}

TEST(WebSessionResponse, GivesStatusAndHeaders) {
    WebSession s;
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/status/404"));
    EXPECT_EQ(s.GetStatusCode(), 404);
    EXPECT_EQ(s.GetBodyText(), "status 404");
    EXPECT_FALSE(s.GetStatusText().empty());
    EXPECT_EQ(s.GetResponseHeaders().find("HTTP/1.1 404"), 0u) << s.GetResponseHeaders();
    EXPECT_EQ(s.GetResponseHeader("content-length"), "10");
    EXPECT_EQ(s.GetResponseHeader("Length"), "");  // only whole header names
    EXPECT_EQ(s.GetResponseHeader("X-Absent"), "");
}

TEST(WebSessionFailures, OnlyDroppedConnectionsAreTriedAgain) {
    WebSession s;
    // Nothing listens on port 9: every attempt is refused.
    ASSERT_TRUE(s.Open("http://127.0.0.1:9/x"));
    EXPECT_FALSE(s.Send(Text(), false, 2));
    EXPECT_EQ(s.LastError(), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
    EXPECT_EQ(s.SendAttempts(), 3);

    // A name that does not resolve is not a dropped connection: one attempt.
    ASSERT_TRUE(s.Open("http://no-such-host.invalid/x"));
    EXPECT_FALSE(s.Send(Text(), false, 2));
    EXPECT_NE(s.LastError(), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
    EXPECT_NE(s.LastError(), static_cast<DWORD>(ERROR_WINHTTP_CONNECTION_ERROR));
    EXPECT_EQ(s.SendAttempts(), 1);
    EXPECT_EQ(s.GetStatusCode(), 0);
    EXPECT_EQ(s.GetBody(), "");
}

TEST(WebSessionFailures, AServerThatHangsUpFailsTheSendAndEveryAttemptIsReal) {
    ASSERT_TRUE(standin::ClearLog());
    ASSERT_TRUE(standin::AddFault(R"({"host":"photo.weibo.com","path":"/_t/echo*",)"
                                  R"("action":"refuse"})"));
    WebSession s;
    ASSERT_TRUE(s.Open("http://photo.weibo.com/_t/echo?drop"));
    EXPECT_FALSE(s.Send(Text(), false, 2));
    ASSERT_TRUE(standin::ClearFaults());
    // Windows calls this a dropped connection (12030) and tries again; Wine calls it an
    // invalid answer (12152), which is not tried again.
    const DWORD error = s.LastError();
    ASSERT_TRUE(error == ERROR_WINHTTP_CONNECTION_ERROR ||
                error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE)
        << error;
    EXPECT_EQ(s.SendAttempts(), error == ERROR_WINHTTP_CONNECTION_ERROR ? 3 : 1);
    JsonDocument log;
    EXPECT_EQ(LoggedRequests(log, "?host=photo.weibo.com&path=/_t/echo"), s.SendAttempts());
    EXPECT_EQ(s.GetStatusCode(), 0);
}

TEST(WebSessionFailures, TimeOutsEndAStalledExchange) {
    WebSession s;
    ASSERT_TRUE(s.SetTimeouts(std::nullopt, std::nullopt, std::nullopt, 1500));
    // No answer at all.
    ASSERT_TRUE(s.Open("http://weibo.com/_t/delay?ms=60000"));
    EXPECT_FALSE(s.Send(Text(), false, 2));
    // Windows says ERROR_WINHTTP_TIMEOUT; Wine passes on the socket's WSAETIMEDOUT. Either way
    // it is no dropped connection, so there is no second attempt.
    EXPECT_TRUE(s.LastError() == ERROR_WINHTTP_TIMEOUT || s.LastError() == WSAETIMEDOUT)
        << s.LastError();
    EXPECT_EQ(s.SendAttempts(), 1);
    // Headers, then nothing.
    ASSERT_TRUE(Get(s, "http://weibo.com/_t/stall?ms=60000&n=10"));
    EXPECT_EQ(s.GetBody(), "");
    EXPECT_FALSE(s.BodyComplete());
}

TEST(WebSessionFailures, AnUntrustedCertificateFailsTheRequest) {
    ASSERT_TRUE(standin::ClearLog());
    for (const char* url : {"https://untrusted.test/_t/echo", "https://untrusted.test:8443/_t/echo",
                            "https://weibo.com:8443/_t/echo"}) {
        WebSession s;
        ASSERT_TRUE(s.Open(url)) << url;
        EXPECT_FALSE(s.Send("secret=1")) << url;
        EXPECT_EQ(s.GetStatusCode(), 0) << url;
        EXPECT_EQ(s.GetBody(), "") << url;
    }
    // Nothing reached the server: the handshake failed before the request was written.
    JsonDocument log;
    EXPECT_EQ(LoggedRequests(log, "?path=/_t/echo"), 0) << standin::ReadLog("?path=/_t/echo");
}

TEST(WebSessionSecurity, NoRawOptionTurnsTheCertificateCheckOff) {
    ASSERT_TRUE(standin::ClearLog());
    WebSession s;
    ASSERT_TRUE(s.Open("https://untrusted.test/_t/echo"));
    DWORD ignoreAll = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                      SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    DWORD oldProtocols = WINHTTP_FLAG_SECURE_PROTOCOL_SSL3 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    for (WebHandle which : {WebHandle::Session, WebHandle::Connection, WebHandle::Request}) {
        EXPECT_FALSE(s.SetRawOption(which, WINHTTP_OPTION_SECURITY_FLAGS, &ignoreAll, 4));
        EXPECT_FALSE(s.SetRawOption(which, WINHTTP_OPTION_SECURE_PROTOCOLS, &oldProtocols, 4));
    }
    DWORD timeout = 20000;
    EXPECT_TRUE(s.SetRawOption(WebHandle::Request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, 4));
    EXPECT_FALSE(s.Send("secret=1"));
    JsonDocument log;
    EXPECT_EQ(LoggedRequests(log, "?path=/_t/echo"), 0);
}

TEST(WebSessionSecurity, NoCookieTextWithALineBreakOrNulReachesARequest) {
    const Text bad[] = {"A=1\r\nX-Injected: 1", "A=1\nX-Injected: 1", "A=1\rX-Injected: 1",
                        Text("A=1\0X-Injected: 1", 18)};
    for (int mode : {0, 1, 2}) {
        for (const Text& cookie : bad) {
            WebSession s;
            s.SetCookieMode(mode);
            ASSERT_TRUE(s.Open("http://elsewhere.test/_t/echo/injected"));
            EXPECT_FALSE(s.SetCookie(cookie)) << mode;
            EXPECT_FALSE(s.AddCookies(cookie)) << mode;
            EXPECT_EQ(s.CookieText(cookie), "") << mode;
            ASSERT_TRUE(s.Send());
            const Echo e = ParseEcho(s.GetBodyText());
            EXPECT_TRUE(e.Values("X-Injected").empty()) << mode;
            for (const Text& value : e.Values("Cookie")) {
                EXPECT_EQ(value.find("Injected"), Text::npos) << mode << " " << value;
            }
        }
    }
}

}  // namespace
