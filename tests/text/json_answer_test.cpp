// Answers read as they arrive: UTF-8 when the body is well-formed UTF-8, code page 936 otherwise;
// either way the texts come out in code page 936.
#include <gtest/gtest.h>

#include <string>

#include "text/json_document.h"

namespace {

struct AnswerCase {
    const char* what;
    std::string body;     // bytes as received
    const char* caption;  // data.c in code page 936
};

std::string Answer(const std::string& caption) {
    return "{\"data\":{\"c\":\"" + caption + "\",\"n\":7},\"k\":[1]}";
}

TEST(JsonAnswer, ReadsUtf8AndCodePage936BodiesAlike) {
    const AnswerCase cases[] = {
        {"ascii", Answer("plain \\\" text"), "plain \" text"},
        {"escaped", Answer("\\u597d\\u904b \\u8aa0"), "\xBA\xC3\xDF\x5C \xD5\x5C"},
        // 运 (E8 BF 90): read as code page 936, 0x90 would swallow the closing quote.
        {"utf8", Answer("\xE5\xA5\xBD\xE9\x81\x8B \xE8\xAA\xA0\xE8\xBF\x90"),
         "\xBA\xC3\xDF\x5C \xD5\x5C\xD4\xCB"},
        {"utf8 escape before a character", Answer("a\\\xE5\xA5\xBD"), "a\\\xBA\xC3"},
        {"utf8 beyond 936", Answer("x\xF0\x9F\x98\x80y"), "x??y"},
        {"utf8 led by E0", Answer("x\xE0\xA4\x85y"), "x?y"},
        // 好運 and 誠 in code page 936: trail bytes 0x5C are no escapes.
        {"936", Answer("\xBA\xC3\xDF\x5C \xD5\x5C"), "\xBA\xC3\xDF\x5C \xD5\x5C"},
        {"936 trail before quote", Answer("\xDF\x5C"), "\xDF\x5C"},
        // Not UTF-8 (an overlong form), but two bytes of one code page 936 character.
        {"invalid utf8", Answer("\xC0\xAF"), "\xC0\xAF"},
        {"a surrogate in utf8 form", Answer("\xED\xA0\x80"), "\xED\xA0\x80"},
        {"utf8 cut short after the answer", Answer("ok") + "\xE4\xB8", "ok"},
    };
    for (const AnswerCase& c : cases) {
        JsonDocument doc;
        ASSERT_TRUE(doc.ParseAnswer(c.body)) << c.what;
        EXPECT_EQ(c.caption, doc.GetText("data.c")) << c.what;
        EXPECT_EQ(7, doc.GetInteger("data.n")) << c.what;
        EXPECT_EQ(1, doc.CountOf("k")) << c.what;
        // The tree is the one the same text gives as UTF-16.
        JsonDocument wide;
        ASSERT_TRUE(wide.Parse(doc.ToText())) << c.what;
        EXPECT_EQ(doc.ToText(), wide.ToText()) << c.what;
    }
}

TEST(JsonAnswer, KeepsTheOutcomesOfParse) {
    const struct {
        std::string body;
        int error;
    } cases[] = {
        {"", JsonParseOk},
        {std::string("[2]\0]]", 6), JsonParseOk},
        {"{\"a\":\"\xE4\xB8\xAD\"", JsonParseStructure},
        {"[1:2]", JsonParseColonInArray},
        {"{\"\xE4\xB8\xAD\":1,}", JsonParseValueWithoutKey},
        {"[\xE4\xB8\xAD,]", JsonParseEmptyElement},
    };
    for (const auto& c : cases) {
        JsonDocument doc;
        EXPECT_EQ(c.error == JsonParseOk, doc.ParseAnswer(c.body)) << c.body;
        EXPECT_EQ(c.error, doc.LastParseError()) << c.body;
    }
    // A raw literal keeps its characters.
    JsonDocument doc;
    ASSERT_TRUE(doc.ParseAnswer("{\"w\":\xE4\xB8\xAD\xE6\x96\x87 }"));
    EXPECT_EQ(JsonRaw, doc.KindOf("w"));
    EXPECT_EQ("\xD6\xD0\xCE\xC4", doc.GetNumberText("w"));
}

}  // namespace
