// What the lenient JSON reader accepts, what it refuses and with which code, and how it reads
// numbers, literals and escapes.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "text/json_document.h"

namespace {

struct ParseCase {
    const char* text;
    int error;  // 0 when the text parses
};

TEST(JsonParse, AcceptsAndRefusesTextsWithTheDocumentedCodes) {
    const ParseCase cases[] = {
        {"", 0},
        {"   ", 0},
        {"no brackets at all", 0},
        {"{}", 0},
        {"[]", 0},
        {"[ \r\n\t]", 0},
        {"{ }", 0},
        {"[[],[[]],{}]", 0},
        {"{\"a\":[],\"b\":{}}", 0},
        {"STK_1({\"a\":1})", 0},  // callback wrapper around the object
        {"{\"a\":1});", 0},
        {"[1,,2]", 0},  // an empty element between commas adds nothing
        {"[1,2,]", JsonParseEmptyElement},
        {"[,]", JsonParseEmptyElement},
        {"[[1],]", JsonParseEmptyElement},
        {"{\"a\":1,}", JsonParseValueWithoutKey},
        {"{1}", JsonParseValueWithoutKey},
        {"{:2}", JsonParseValueWithoutKey},
        {"{\"a\":1,{}}", JsonParseValueWithoutKey},
        {"[1:2]", JsonParseColonInArray},
        {"{\"a\":1", JsonParseStructure},
        {"[[1]", JsonParseStructure},
        {"{\"a\":\"never closed}", JsonParseStructure},
        {"}", JsonParseStructure},
        {"]", JsonParseStructure},
        {"cb(,{\"a\":1})", JsonParseStructure},  // a comma before the first bracket
        {"cb:{\"a\":1}", JsonParseStructure},
        {"{\"a\":1}}", JsonParseStructure},
        {"{\"a\":1},", JsonParseStructure},
    };
    for (const ParseCase& c : cases) {
        JsonDocument doc;
        EXPECT_EQ(c.error == 0, doc.Parse(c.text)) << c.text;
        EXPECT_EQ(c.error, doc.LastParseError()) << c.text;
    }
}

TEST(JsonParse, ReadsTheLoginAnswerShapes) {
    JsonDocument doc;
    ASSERT_TRUE(
        doc.Parse("{\"retcode\":20000000,\"msg\":\"succ\",\"data\":{\"qrid\":\"abc\",\"image\":"
                  "\"https:\\/\\/v2.qr.example\\/x?a=1\"}}"));
    EXPECT_EQ(20000000, doc.GetInteger("retcode"));
    EXPECT_EQ("succ", doc.GetText("msg"));
    EXPECT_EQ("abc", doc.GetText("data.qrid"));
    EXPECT_EQ("https://v2.qr.example/x?a=1", doc.GetText("data.image"));

    JsonDocument wrapped;
    ASSERT_TRUE(wrapped.Parse("window.STK_1234({\"retcode\":50114001,\"data\":null});"));
    EXPECT_EQ(50114001, wrapped.GetInteger("retcode"));
    EXPECT_EQ(JsonNull, wrapped.KindOf("data"));
}

TEST(JsonParse, AFailedParseLeavesAnEmptyDocumentAndAnEmptyTextLeavesItAlone) {
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1,\"b\":2}"));
    ASSERT_TRUE(doc.Parse(""));  // nothing to read: content unchanged
    EXPECT_EQ(2, doc.CountOf(""));
    EXPECT_FALSE(doc.Parse("{\"c\":3"));
    EXPECT_EQ(JsonObject, doc.KindOf(""));
    EXPECT_EQ(0, doc.CountOf(""));
    EXPECT_FALSE(doc.Parse("[5]]"));  // a whole array read before the fault goes too
    EXPECT_EQ(JsonObject, doc.KindOf(""));
    EXPECT_EQ(0, doc.GetInteger("c"));
    // A later parse starts from scratch rather than merging.
    ASSERT_TRUE(doc.Parse("[5]"));
    EXPECT_EQ(JsonArray, doc.KindOf(""));
    EXPECT_EQ(5, doc.GetInteger("[0]"));
    EXPECT_EQ(0, doc.LastParseError());

    JsonDocument empty;
    ASSERT_TRUE(empty.Parse(""));
    EXPECT_EQ("", empty.GetText("data.qrid"));
    EXPECT_EQ(0, empty.GetInteger("retcode"));
}

TEST(JsonParse, StopsAtTheFirstZeroSoWhatItReadsCanBeWrittenBack) {
    // A raw literal that held a zero unit used to be written out cut short at that zero.
    JsonDocument wide;
    ASSERT_TRUE(wide.ParseWide(std::u16string(u"{\"a\":[1]}\0{", 10)));
    EXPECT_EQ("{\"a\":[1]}", wide.ToText());
    EXPECT_FALSE(wide.ParseWide(std::u16string(u"{\"a\":x\0y}", 9)));
    EXPECT_EQ(JsonParseStructure, wide.LastParseError());

    JsonDocument narrow;
    EXPECT_TRUE(narrow.Parse(std::string("[2]\0]]]", 7)));
    EXPECT_EQ(2, narrow.GetInteger("[0]"));
}

TEST(JsonParse, RefusesNestingDeeperThanTheCapWithoutRecursing) {
    const auto nested = [](int depth) {
        return std::string(static_cast<size_t>(depth), '[') +
               std::string(static_cast<size_t>(depth), ']');
    };
    JsonDocument doc;
    EXPECT_TRUE(doc.Parse(nested(kJsonMaxDepth)));
    EXPECT_FALSE(doc.Parse(nested(kJsonMaxDepth + 1)));
    EXPECT_EQ(JsonParseStructure, doc.LastParseError());
    EXPECT_FALSE(doc.Parse(std::string(200000, '[')));
    EXPECT_FALSE(doc.Parse(std::string(200000, '{')));  // no key: refused at the second brace
    EXPECT_EQ(0, doc.CountOf(""));
}

TEST(JsonParse, ClassifiesLiteralsByTheNumberRule) {
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse(
        "{\"i\":12,\"neg\":-3,\"plus\":+5,\"r\":1.50,\"e\":1e3,\"dot\":.5,\"minus\":1-2,"
        "\"twodots\":1.2.3,\"twoexp\":1e2e3,\"word\":undefined,\"n\":null,\"t\":true,\"f\":false,"
        "\"T\":True,\"spaced\": 1 2 ,\"lone\":-,\"mm\":--1,\"mp\":-+1,\"pm\":+-1,"
        "\"mmm\":--1-,\"inner\":1+-2}"));
    struct Expect {
        const char* path;
        int kind;
        const char* source;
    };
    const Expect expected[] = {
        {"i", JsonInteger, "12"},
        {"neg", JsonInteger, "-3"},
        {"plus", JsonInteger, "+5"},
        {"r", JsonReal, "1.50"},
        {"e", JsonReal, "1e3"},
        {"dot", JsonReal, ".5"},
        {"minus", JsonReal, "1-2"},
        {"twodots", JsonRaw, "1.2.3"},
        {"twoexp", JsonRaw, "1e2e3"},
        {"word", JsonRaw, "undefined"},
        {"n", JsonNull, ""},
        {"t", JsonBoolean, ""},
        {"f", JsonBoolean, ""},
        {"T", JsonRaw, "True"},
        {"spaced", JsonInteger, "12"},
        {"lone", JsonInteger, "-"},
        // A leading sign and one further sign fit the rule; a third sign does not.
        {"mm", JsonReal, "--1"},
        {"mp", JsonReal, "-+1"},
        {"pm", JsonReal, "+-1"},
        {"mmm", JsonRaw, "--1-"},
        {"inner", JsonRaw, "1+-2"},
    };
    for (const Expect& e : expected) {
        EXPECT_EQ(e.kind, doc.KindOf(e.path)) << e.path;
        EXPECT_EQ(e.source, doc.GetNumberText(e.path)) << e.path;
    }
    EXPECT_EQ(12, doc.GetInteger("i"));
    EXPECT_EQ(-3, doc.GetInteger("neg"));
    EXPECT_EQ(5, doc.GetInteger("plus"));
    EXPECT_DOUBLE_EQ(1.5, doc.GetReal("r"));
    EXPECT_DOUBLE_EQ(1000.0, doc.GetReal("e"));
    EXPECT_DOUBLE_EQ(0.5, doc.GetReal("dot"));
    EXPECT_DOUBLE_EQ(1.0, doc.GetReal("minus"));
    EXPECT_EQ(0, doc.GetInteger("lone"));
    // The second sign leaves no digits after the one sign a real may have.
    EXPECT_EQ(0.0, doc.GetReal("mm"));
    EXPECT_EQ(0.0, doc.GetReal("mp"));
    EXPECT_EQ(0.0, doc.GetReal("pm"));
    EXPECT_TRUE(doc.GetBoolean("t"));
    EXPECT_FALSE(doc.GetBoolean("f"));
    EXPECT_FALSE(doc.GetBoolean("T"));
    // Longer than the number buffer.
    ASSERT_TRUE(doc.Parse("[1." + std::string(70, '0') + "5]"));
    EXPECT_DOUBLE_EQ(1.0, doc.GetReal("[0]"));
}

TEST(JsonParse, ReadsIntegersExactlyAndClampsThoseBeyondSixtyFourBits) {
    JsonDocument doc;
    ASSERT_TRUE(
        doc.Parse("[9007199254740993,9223372036854775807,-9223372036854775808,99999999999999999999,"
                  "-99999999999999999999,1e999,-1e999,1e-999,3.9,-3.9]"));
    const int64_t max = std::numeric_limits<int64_t>::max();
    const int64_t min = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(9007199254740993LL, doc.GetInteger("[0]"));
    EXPECT_EQ(max, doc.GetInteger("[1]"));
    EXPECT_EQ(min, doc.GetInteger("[2]"));
    EXPECT_EQ(max, doc.GetInteger("[3]"));
    EXPECT_EQ(min, doc.GetInteger("[4]"));
    EXPECT_EQ(max, doc.GetInteger("[5]"));  // infinity truncated: clamped, never undefined
    EXPECT_EQ(min, doc.GetInteger("[6]"));
    EXPECT_EQ(0, doc.GetInteger("[7]"));
    EXPECT_EQ(3, doc.GetInteger("[8]"));
    EXPECT_EQ(-3, doc.GetInteger("[9]"));
}

TEST(JsonParse, DecodesEscapesInOnePassAndUnicodeOnlyWhenAsked) {
    // Raw strings hold the JSON exactly as the service would send it.
    JsonDocument doc;
    ASSERT_TRUE(
        doc.Parse(R"({"pair":"a\\nb","zhong":"\u4e2d","short":"\u4e2","ctl":"\/\b\t\n\r\f",)"
                  R"("quote":"x\"y","single":'it\'s',"dq":'say "hi"',"other":"\q","k\"ey":1,)"
                  R"("tail":"end\\","notHex":"\u00GA","c1":"\u0080"})"));
    EXPECT_EQ("a\\nb", doc.GetText("pair"));
    EXPECT_EQ("\xD6\xD0", doc.GetText("zhong"));
    EXPECT_EQ("\\u4e2", doc.GetText("short"));
    EXPECT_EQ("/\b\t\n\r\f", doc.GetText("ctl"));
    EXPECT_EQ("x\"y", doc.GetText("quote"));
    EXPECT_EQ("it\\'s", doc.GetText("single"));  // a backslash before ' stays as written
    EXPECT_EQ("say \"hi\"", doc.GetText("dq"));
    EXPECT_EQ("\\q", doc.GetText("other"));
    EXPECT_EQ(1, doc.GetInteger(u"k\"ey"));
    EXPECT_EQ("end\\", doc.GetText("tail"));
    EXPECT_EQ("\\u00GA", doc.GetText("notHex"));
    EXPECT_EQ("?", doc.GetText("c1"));  // U+0080 is no character of code page 936

    JsonDocument plain;
    ASSERT_TRUE(plain.Parse(R"({"zhong":"\u4e2d"})", false));
    EXPECT_EQ("\\u4e2d", plain.GetText("zhong"));

    JsonDocument low;
    ASSERT_TRUE(low.Parse(R"(["\u0041\u00e9\u00C9"])"));
    EXPECT_EQ(std::string("A\0\xE9\0\xC9\0\0\0", 8), low.GetTextBytes("[0]"));
    // Raw UTF-8 beyond the first plane becomes its surrogate pair.
    ASSERT_TRUE(low.ParseAnswer("[\"\xF0\x9F\x98\x80\"]"));
    EXPECT_EQ(std::string("\x3D\xD8\x00\xDE\0\0", 6), low.GetTextBytes("[0]"));
}

TEST(JsonParse, TakesSingleQuotesCodePage936AndDuplicateKeys) {
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{'a':'b','nick':'\xD6\xD0\xCE\xC4','dup':1,'x':0,'dup':2}"));
    EXPECT_EQ("b", doc.GetText("a"));
    EXPECT_EQ("\xD6\xD0\xCE\xC4", doc.GetText("nick"));
    EXPECT_EQ(2, doc.GetInteger("dup"));
    EXPECT_EQ(4, doc.CountOf(""));
    // The replacement keeps the first one's place.
    EXPECT_EQ("{\"a\":\"b\",\"nick\":\"\xD6\xD0\xCE\xC4\",\"dup\":2,\"x\":0}", doc.ToText(""));

    JsonDocument wide;
    ASSERT_TRUE(wide.ParseWide(u"{\"\u540D\":\"\u4E2D\"}"));
    EXPECT_EQ("\xD6\xD0", wide.GetText(u"\u540D"));
}

TEST(JsonParse, ReadsAnswerBytesWhateverTheNamesBeforeAndTheLengthOfEachText) {
    // Each object names its members as the one before it did, or nearly: same length other
    // letters, a prefix, an escape that decodes to the same name.
    JsonDocument doc;
    ASSERT_TRUE(doc.ParseAnswer(R"([{"ab":1,"cd":2},{"ab":3,"ce":4},{"a":5,"cde":6},)"
                                R"({"a\u0062":7,"cd":8}])"));
    EXPECT_EQ(R"([{"ab":1,"cd":2},{"ab":3,"ce":4},{"a":5,"cde":6},{"ab":7,"cd":8}])", doc.ToText());
    // Long texts, with what ends or changes them past the first sixteen bytes.
    ASSERT_TRUE(
        doc.ParseAnswer("{\"plain\":\"0123456789abcdefghij\","
                        "\"quote\":\"0123456789abcdefgh\\\"ij\","
                        "\"zhong\":\"0123456789abcdefgh\xE4\xB8\xAD\"}"));
    EXPECT_EQ("0123456789abcdefghij", doc.GetText("plain"));
    EXPECT_EQ("0123456789abcdefgh\"ij", doc.GetText("quote"));
    EXPECT_EQ("0123456789abcdefgh\xD6\xD0", doc.GetText("zhong"));
    // The closing quote right after the eight-byte step that follows a sixteen-byte one.
    ASSERT_TRUE(doc.ParseAnswer("[\"0123456789abcdef01234567\"]"));
    EXPECT_EQ("0123456789abcdef01234567", doc.GetText("[0]"));
    // A character that only the eight-byte steps after the first sixteen bytes see.
    ASSERT_TRUE(
        doc.ParseAnswer("{\"z\":\"0123456789abcdef\xE4\xB8\xAD"
                        "abcde\"}"));
    EXPECT_EQ(
        "0123456789abcdef\xD6\xD0"
        "abcde",
        doc.GetText("z"));
}

}  // namespace
