// Telling picture bytes from the pages and errors a 200 answer may carry instead.
#include "app/service/picture_bytes.h"
#include "app/service/service_answers.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(PictureBytes, KnowsEachPictureFormatByItsFirstBytesAndDescribesAnythingElse) {
    const Text bmpHeader = Text("BM") + Text(12, '\0') + "\x28\0\0\0"s;  // 40: info
    struct Case {
        ByteBuffer bytes;
        bool picture;
        Text described;  // for non-pictures
    };
    const Case cases[] = {
        {"\xFF\xD8\xFF\xE0rest", true, ""},
        {"\x89PNG\r\n\x1A\n\0\0"s, true, ""},
        {"GIF89a..", true, ""},
        {"GIF87a", true, ""},
        {"RIFF\x10\0\0\0WEBPVP8 "s, true, ""},
        {bmpHeader + "pixels", true, ""},
        {"\xFF\xD8", false, "2 bytes of binary data"},
        {"\x89PNG\r\n", false, "6 bytes of binary data"},
        {"GIF88a", false, "text, 6 bytes: GIF88a"},
        {"RIFF\x10\0\0\0WAVEfmt "s, false, "16 bytes of binary data"},
        {"BM" + Text(12, '\0') + "\x99\0\0\0"s, false, "18 bytes of binary data"},
        {"BMP", false, "text, 3 bytes: BMP"},
        {"  <!DOCTYPE html><html><body>token=secret</body></html>", false, "HTML page, 55 bytes"},
        {"<HTML>", false, "HTML page, 6 bytes"},
        {"\xEF\xBB\xBF<!DOCTYPE html>", false, "HTML page, 18 bytes"},
        {"\xEF\xBB\xBF{\"ok\":0}", false, "JSON, 11 bytes: {\"ok\":0}"},
        {"{\"ok\":-100,\"url\":\"https://passport.example/visitor\",\"msg\":\"long enough to "
         "cut\"}",
         false,
         "JSON, 79 bytes: "
         "{\"ok\":-100,\"url\":\"https://passport.example/visitor\",\"msg\":\"l..."},
        {"[1,\n2]\x01secret", false, "JSON, 13 bytes: [1, 2]"},
        {"<?xml?>", false, "markup, 7 bytes: <?xml?>"},
        {"x", false, "text, 1 byte: x"},
        {"a~\x7F", false, "text, 3 bytes: a~"},
        {"", false, "no bytes"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LooksLikePicture(c.bytes), c.picture) << c.bytes;
        if (!c.picture) EXPECT_EQ(DescribeNonPicture(c.bytes), c.described) << c.bytes;
    }
}

// What a 200 answer carries when the sign-in is gone, against what merely failed.
TEST(PictureBytes, AnAnswerThatAsksForANewSignInIsToldFromOtherFailures) {
    const struct {
        ByteBuffer body;
        bool asks;
    } cases[] = {
        {R"( {"ok":-100,"url":"https://passport.weibo.com/visitor/visitor?a=1"})", true},
        {R"({"result":false,"code":"A0003","msg":"not logged in"})", true},
        {"<html><script>$CONFIG['islogin']='0';</script></html>", true},
        {R"({"ok":1,"data":{}})", false},
        {R"({"result":false,"code":"A0002","msg":"unknown album"})", false},
        {R"({"result":true,"code":"A0003"})", false},
        {"<html><script>$CONFIG['islogin']='1';</script></html>", false},
        {"\xFF\xD8\xFF\xE0 {\"ok\":-100}", false},
        {"{\"ok\":-100" + Text(70000, ' ') + "}", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(AsksForSignIn(c.body), c.asks) << c.body.substr(0, 80);
    // A saved sign-in goes only on such a refusal, or on a page that sends to the login hosts.
    for (const auto& c : cases) EXPECT_EQ(RefusesSignIn(c.body), c.asks) << c.body.substr(0, 80);
    EXPECT_TRUE(RefusesSignIn("<script>location.replace('https://login.sina.com.cn/signup')"));
    for (const char* kept : {"", "<html>Sign in to the hotel's wifi</html>", "\r\n"})
        EXPECT_FALSE(RefusesSignIn(kept)) << kept;
}

}  // namespace
