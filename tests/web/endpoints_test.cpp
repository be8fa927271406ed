// The service's addresses and the rules that keep the login cookies on its own hosts over https.
#include <gtest/gtest.h>

#include "web/endpoints.h"

namespace {

TEST(ServiceHosts, AreRecognisedExactlyAndLookAlikesAreNot) {
    for (const char* host :
         {"login.sina.com.cn", "weibo.com", "WWW.Weibo.Com", "passport.weibo.com",
          "photo.weibo.com", "wx1.sinaimg.cn", "wx4.sinaimg.cn", "tva1.sinaimg.cn",
          "tva4.sinaimg.cn", "weibo.com.", "weibo.com:443", "m.weibo.com", "LOGIN.SINA.COM.CN"}) {
        EXPECT_TRUE(IsServiceHost(host)) << host;
    }
    for (const char* host : {"", "elsewhere.test", "evilweibo.com", "weibo.com.evil.net",
                             "sinaimg.cn", "wx5.sinaimg.cn.evil", "sina.com.cn", "[::1]",
                             "[x.weibo.com", "127.0.0.1", "weibo.co", ":443"}) {
        EXPECT_FALSE(IsServiceHost(host)) << host;
    }
    EXPECT_EQ(ServiceHosts().size(), 13u);
}

TEST(ServiceUrls, SplitIntoSchemeAndHost) {
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;
    };
    const Case cases[] = {
        {"https://weibo.com/u/1", "https", "weibo.com"},
        {"HTTP://Photo.Weibo.com:8080/x?y", "http", "photo.weibo.com"},
        {"https://weibo.com@elsewhere.test/", "https", "elsewhere.test"},
        {"https://user:pw@weibo.com:443/", "https", "weibo.com"},
        {"https://weibo.com?x=@elsewhere", "https", "weibo.com"},
        {"https://weibo.com\\@elsewhere.test/", "https", ""},
        {"https://weibo.com /", "https", ""},
        {"weibo.com/u/1", "", ""},
        {"//weibo.com/u/1", "", ""},
        {"ftp://weibo.com/", "", ""},
        {"https://[::1]:443/", "https", "[::1]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UrlScheme(c.url), c.scheme) << c.url;
        EXPECT_EQ(UrlHost(c.url), c.host) << c.url;
    }
}

TEST(LoginCookies, GoOnlyOverHttpsToTheServiceHosts) {
    for (const char* url : {"https://weibo.com/", "https://photo.weibo.com/albums/get_all?uid=1",
                            "HTTPS://WEIBO.COM/u/1", "https://www.weibo.com:443/x"}) {
        EXPECT_TRUE(MayCarryLoginCookies(url)) << url;
    }
    for (const char* url : {"http://weibo.com/", "weibo.com/u/1", "https://elsewhere.test/",
                            "https://weibo.com@elsewhere.test/",
                            "https://weibo.com.elsewhere.test/", "https://evilweibo.com/", "",
                            "https://untrusted.test/", "https://weibo.com\\@elsewhere.test/"}) {
        EXPECT_FALSE(MayCarryLoginCookies(url)) << url;
    }
}

TEST(LoginCookies, HttpAddressesOfTheServiceAreUpgraded) {
    EXPECT_EQ(UpgradeToHttps("http://weibo.com/u/1"), "https://weibo.com/u/1");
    EXPECT_EQ(UpgradeToHttps("HTTP://photo.weibo.com/x"), "https://photo.weibo.com/x");
    EXPECT_EQ(UpgradeToHttps("http://elsewhere.test/u/1"), "http://elsewhere.test/u/1");
    EXPECT_EQ(UpgradeToHttps("https://weibo.com/"), "https://weibo.com/");
    EXPECT_EQ(UpgradeToHttps("http://weibo.com@elsewhere.test/"),
              "http://weibo.com@elsewhere.test/");

    struct Case {
        const char* typed;
        const char* url;
    };
    const Case cases[] = {
        {"weibo.com/u/2000002", "https://weibo.com/u/2000002"},
        {"  http://weibo.com/u/2000002 \r\n", "https://weibo.com/u/2000002"},
        {"www.weibo.com/n/nick", "https://www.weibo.com/n/nick"},
        {"//weibo.com/u/1", "https://weibo.com/u/1"},
        {"https://weibo.com/u/1", "https://weibo.com/u/1"},
        {"elsewhere.test/u/1", "http://elsewhere.test/u/1"},
        {"   ", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(HomePageUrl(c.typed), c.url) << "'" << c.typed << "'";
}

TEST(SchemeCompletion, AddsHttpWhereNoSchemeIsGiven) {
    struct Case {
        const char* given;
        const char* opened;
    };
    const Case cases[] = {
        {"example/path", "http://example/path"},
        {"HTTPS://X/", "HTTPS://X/"},
        {"Http://x/y", "Http://x/y"},
        {"https://", "https://"},
        {"http://", "http://http://"},  // 7 bytes or fewer always get the prefix
        {"a", "http://a"},
        {"", "http://"},
        {"ftp://host/", "http://ftp://host/"},
        {"\xD6\xD0\xCE\xC4.test/x", "http://\xD6\xD0\xCE\xC4.test/x"},
    };
    for (const Case& c : cases) EXPECT_EQ(CompleteScheme(c.given), c.opened) << c.given;
}

TEST(ServiceAddresses, CarryTheQueriesTheServiceExpects) {
    EXPECT_EQ(QrImageUrl(),
              "https://login.sina.com.cn/sso/qrcode/image?entry=weibo&size=180&callback="
              "STK_15033920845911");
    EXPECT_EQ(QrCheckUrl("QRabc"),
              "https://login.sina.com.cn/sso/qrcode/check?entry=weibo&qrid=QRabc&callback="
              "STK_1503392084591317");
    EXPECT_EQ(CrossDomainLoginUrl("ALT-1"),
              "https://login.sina.com.cn/sso/login.php?entry=weibo&returntype=TEXT&crossdomain=1"
              "&cdult=3&domain=weibo.com&alt=ALT-1&savestate=30&callback=STK_150339562381621");
    EXPECT_EQ(MainSiteUrl(), "https://weibo.com/");
    EXPECT_EQ(AlbumListUrl("100"),
              "https://photo.weibo.com/albums/get_all?uid=100&page=1&count=20&__rnd=1504067425791");
    EXPECT_EQ(AlbumListUrl("100", 3),
              "https://photo.weibo.com/albums/get_all?uid=100&page=3&count=20&__rnd=1504067425791");
    EXPECT_EQ(PhotoListUrl("100", "7", 2),
              "https://photo.weibo.com/photos/get_all?uid=100&album_id=7&count=32&page=2&type=&__"
              "rnd=1504068705105");
    EXPECT_EQ(DefaultCoverUrl(), "http://wx1.sinaimg.cn/thumb150/default_album_cover.jpg");
    EXPECT_EQ(PictureUrl("http://wx3.sinaimg.cn", "/mw690/", "abc.jpg"),
              "http://wx3.sinaimg.cn/mw690/abc.jpg");
    for (const Text& url : {QrImageUrl(), QrCheckUrl("q"), CrossDomainLoginUrl("a"), MainSiteUrl(),
                            AlbumListUrl("1"), PhotoListUrl("1", "2", 1)}) {
        EXPECT_TRUE(MayCarryLoginCookies(url)) << url;
    }
}

TEST(ServiceAddresses, PicturesGivenWithoutSchemeGetOne) {
    EXPECT_EQ(QrPictureUrl("//wx1.sinaimg.cn/qrcode/QR1.png"),
              "https://wx1.sinaimg.cn/qrcode/QR1.png");
    EXPECT_EQ(QrPictureUrl("http://wx1.sinaimg.cn/qrcode/QR1.png"),
              "https://wx1.sinaimg.cn/qrcode/QR1.png");
    EXPECT_EQ(QrPictureUrl("https://wx1.sinaimg.cn/q.png"), "https://wx1.sinaimg.cn/q.png");
    EXPECT_EQ(QrPictureUrl("wx1.sinaimg.cn/q.png"), "https://wx1.sinaimg.cn/q.png");
    EXPECT_EQ(QrPictureUrl(""), "");
    EXPECT_EQ(AvatarUrl("//tva1.sinaimg.cn/large/av.jpg"), "http://tva1.sinaimg.cn/large/av.jpg");
    EXPECT_EQ(AvatarUrl("https://tva1.sinaimg.cn/large/av.jpg"),
              "https://tva1.sinaimg.cn/large/av.jpg");
    EXPECT_EQ(AvatarUrl("tva1.sinaimg.cn/av.jpg"), "http://tva1.sinaimg.cn/av.jpg");
    EXPECT_EQ(AvatarUrl(""), "");
}

}  // namespace
