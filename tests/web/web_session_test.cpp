// WebSession without a server: the state before any answer, argument checks, location
// resolution and the jar as seen through the session.
#include <gtest/gtest.h>

#include "web/web_session.h"

namespace {

TEST(WebSessionState, BeforeAnyAnswerEverythingReadsAsEmpty) {
    WebSession s;
    EXPECT_NE(s.SessionHandle(), nullptr);
    EXPECT_EQ(s.GetStatusCode(), 0);
    EXPECT_EQ(s.GetStatusText(), "");
    EXPECT_EQ(s.GetBody(), "");
    EXPECT_EQ(s.GetBodyText(), "");
    EXPECT_EQ(s.GetBodyTextFromUtf8(), "");
    EXPECT_EQ(s.GetResponseHeaders(), "");
    EXPECT_EQ(s.GetResponseHeader("Content-Length"), "");
    EXPECT_EQ(s.GetLocation(true), "");
    EXPECT_EQ(s.GetSetCookies(), "");
    EXPECT_EQ(s.ContentLength(), 0);
    // An opened but unsent request has no answer either.
    ASSERT_TRUE(s.Open("http://weibo.com/"));
    EXPECT_NE(s.RequestHandle(), nullptr);
    EXPECT_EQ(s.GetStatusCode(), 0);
    EXPECT_EQ(s.GetBody(), "");
}

TEST(WebSessionState, HeaderSettersNeedAnOpenRequestAndAName) {
    WebSession s;
    EXPECT_FALSE(s.SetHeader("X-A", "1"));
    EXPECT_FALSE(s.RemoveHeader("X-A"));
    EXPECT_FALSE(s.SetUserAgent());
    EXPECT_FALSE(s.SetReferer());
    EXPECT_FALSE(s.SetAccept());
    EXPECT_FALSE(s.SetAcceptLanguage());
    EXPECT_FALSE(s.SetContentType());
    EXPECT_FALSE(s.SetAjaxHeader());
    EXPECT_FALSE(s.SetForwardedFor("1.2.3.4"));
    EXPECT_FALSE(s.SetCookie("A=1"));
    EXPECT_FALSE(s.SetCredentials("u", "p"));
    EXPECT_FALSE(s.Send());
    ASSERT_TRUE(s.Open("http://weibo.com/"));
    EXPECT_FALSE(s.SetHeader("", "1"));
    EXPECT_TRUE(s.SetHeader("X-A", "1"));
    EXPECT_TRUE(s.RemoveHeader("X-A"));
    EXPECT_TRUE(s.SetUserAgent());
    EXPECT_TRUE(s.SetCookie("A=1; B=2"));
}

TEST(WebSessionState, AClosedSessionRefusesQuietlyUntilReset) {
    WebSession s;
    s.SetCookieMode(1);
    s.CookieText("A=1");
    s.Close();
    EXPECT_EQ(s.SessionHandle(), nullptr);
    EXPECT_FALSE(s.Open("http://weibo.com/"));
    EXPECT_FALSE(s.Send());
    EXPECT_FALSE(s.SetTimeouts());
    EXPECT_FALSE(s.SetProxy("", "", ""));
    EXPECT_EQ(s.CurrentUrl(), "");
    // The jar and the settings survive Close; Reset starts over.
    EXPECT_EQ(s.CookieText(), "A=1");
    EXPECT_EQ(s.CookieMode(), 1);
    EXPECT_TRUE(s.Reset());
    EXPECT_EQ(s.CookieText(), "");
    EXPECT_EQ(s.CookieMode(), 0);
    EXPECT_TRUE(s.Open("http://weibo.com/"));
}

TEST(WebSessionState, AnUncrackableAddressLeavesThePreviousRequestAlone) {
    WebSession s;
    ASSERT_TRUE(s.Open("http://weibo.com/first"));
    const HINTERNET request = s.RequestHandle();
    EXPECT_FALSE(s.Open("http://weibo.com:99999999/x"));
    EXPECT_EQ(s.RequestHandle(), request);
    EXPECT_EQ(s.CurrentUrl(), "http://weibo.com/first");
}

TEST(WebSessionState, CookieModesOutsideTheRangeMeanNone) {
    WebSession s;
    EXPECT_EQ(s.CookieMode(), 0);
    s.SetCookieMode();
    EXPECT_EQ(s.CookieMode(), 1);
    s.SetCookieMode(2);
    EXPECT_EQ(s.CookieMode(), 2);
    s.SetCookieMode(3);
    EXPECT_EQ(s.CookieMode(), 0);
    s.SetCookieMode(-1);
    EXPECT_EQ(s.CookieMode(), 0);
}

TEST(WebSessionState, TheJarIsReachableThroughTheSession) {
    WebSession s;
    s.SetCookieMode(1);
    EXPECT_EQ(s.CookieText("A=1"), "A=1");
    EXPECT_TRUE(s.SetCookie(" C=3;  A=9"));  // mode 1: no request needed
    EXPECT_EQ(s.Jar().Raw(), "; A=9; C=3; ");
    EXPECT_EQ(s.GetCookie("C"), "3");
    EXPECT_EQ(s.GetCookie("C", true), "C=3");
    EXPECT_TRUE(s.RemoveCookies("A=anything; X"));
    EXPECT_EQ(s.CookieText(), "C=3");
    EXPECT_TRUE(s.AddCookies("D=4"));
    EXPECT_EQ(s.CookieText(), "C=3; D=4");
}

TEST(WebSessionState, MovingHandsTheHandlesOver) {
    WebSession a;
    ASSERT_TRUE(a.Open("http://weibo.com/"));
    const HINTERNET request = a.RequestHandle();
    WebSession b(std::move(a));
    EXPECT_EQ(b.RequestHandle(), request);
    EXPECT_EQ(b.CurrentUrl(), "http://weibo.com/");
}

TEST(LocationResolution, MakesEveryKindOfLocationAbsolute) {
    struct Case {
        const char* url;
        bool https;
        int port;
        const char* location;
        const char* absolute;
    };
    const Case cases[] = {
        {"https://H/x/y.html", true, 443, "/a", "https://H:443/a"},
        {"http://H/x/y.html", false, 80, "/a", "http://H:80/a"},
        {"http://H:8080/x", false, 8080, "/a?b=1", "http://H:8080/a?b=1"},
        {"http://H/x/y.html", false, 80, "b.html", "http://H/x/b.html"},
        {"http://H/x/y.html?q=/z/w", false, 80, "b.html", "http://H/x/b.html"},
        {"http://H/x/y.html#f/g", false, 80, "b.html", "http://H/x/b.html"},
        {"http://H/x/", false, 80, "b.html", "http://H/x/b.html"},
        {"http://H", false, 80, "b.html", "http://H/b.html"},
        {"http://H/x/y.html?a=1", false, 80, "?b=2", "http://H/x/y.html?b=2"},
        {"https://H/x", true, 443, "//G/p", "https://G/p"},
        {"http://H/x", false, 80, "//G/p", "http://G/p"},
        {"http://H/x", false, 80, "HTTPS://G/p", "HTTPS://G/p"},
        {"http://H/x", false, 80, "http://G/p", "http://G/p"},
        {"http://H/x", false, 80, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveLocation(c.url, c.https, "H", c.port, c.location), c.absolute)
            << c.url << " + " << c.location;
    }
}

}  // namespace
