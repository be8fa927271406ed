// Byte semantics of the text helpers and the code-page conversions.
#include "text/text_helpers.h"

#include "text/codepage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// "中" (U+4E2D) in code page 936 and in UTF-8.
const Text kZhongGbk = "\xD6\xD0";
const Text kZhongUtf8 = "\xE4\xB8\xAD";

struct FindCase {
    const char* text;
    const char* search;
    std::optional<int> start;
    bool ignoreCase;
    int expected;
};

TEST(FindText, ReportsOneBasedPositionsAndMinusOneForEveryMiss) {
    const FindCase cases[] = {
        {"abc", "c", 0, false, 3},   // start 0 means from the beginning
        {"abc", "c", -5, false, 3},  // so does a negative start
        {"abc", "a", std::nullopt, false, 1},
        {"abc", "abcd", std::nullopt, false, -1},  // search longer than text
        {"", "a", std::nullopt, false, -1},
        {"abc", "", std::nullopt, false, -1},
        {"abcabc", "abc", 2, false, 4},   // start skips the first match
        {"abcabc", "abc", 4, false, 4},   // a match at the start itself counts
        {"abcabc", "abc", 5, false, -1},  // start beyond the last possible match
        {"abc", "c", 99, false, -1},
        {"xABCx", "abc", std::nullopt, false, -1},
        {"xABCx", "abc", std::nullopt, true, 2},
        {"x[Ab]", "[aB]", std::nullopt, true, 2},  // only letters fold
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(c.expected, FindText(c.text, c.search, c.start, c.ignoreCase))
            << "text '" << c.text << "' search '" << c.search << "'";
    }
}

TEST(FindText, NeverMatchesOnTheTrailByteOfADoubleByteCharacter) {
    // 0xB2 0x5B is one GBK character whose trail byte is "[".
    const Text text = "\xB2[x[";
    EXPECT_EQ(4, FindText(text, "["));
    EXPECT_EQ(4, FindText("a" + kZhongGbk + "(", "("));
    // D6 D6 is one character, so the D6 D0 that straddles it and the lone D0 is no match.
    EXPECT_EQ(-1, FindText("\xD6\xD6\xD0", kZhongGbk));
    // Case folding leaves non-ASCII bytes alone: 0xC1 and 0xE1 differ only in bit 5.
    EXPECT_EQ(-1, FindText("\xC1\xA1", "\xE1\xA1", std::nullopt, true));
    // ... and trail bytes that look like letters: 81 41 and 81 61 are two different characters.
    EXPECT_EQ(-1, FindText("\x81\x41", "\x81\x61", std::nullopt, true));
    // 0x80 (the euro sign) and 0xFF are characters of their own, and a lead byte takes no
    // trail byte below 0x40: none of them hides the character after it.
    EXPECT_EQ(2, FindText("\x80/", "/"));
    EXPECT_EQ(2, FindText("\xFF/", "/"));
    EXPECT_EQ(2, FindText("\x81/", "/"));
}

TEST(FindText, FoldsCaseAtTheEdgesOfTheAlphabetAndNowhereElse) {
    // '@' '[' '`' '{' sit right next to A, Z, a and z and differ from each other in bit 5 alone.
    const FindCase cases[] = {
        {"xAy", "a", std::nullopt, true, 2},  {"xay", "A", std::nullopt, true, 2},
        {"xZy", "z", std::nullopt, true, 2},  {"xzy", "Z", std::nullopt, true, 2},
        {"x@y", "`", std::nullopt, true, -1}, {"x`y", "@", std::nullopt, true, -1},
        {"x[y", "{", std::nullopt, true, -1}, {"x{y", "[", std::nullopt, true, -1},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(c.expected, FindText(c.text, c.search, c.start, c.ignoreCase))
            << "text '" << c.text << "' search '" << c.search << "'";
    }
}

TEST(TextBetween, CutsBetweenTheFirstLeftMarkerAndTheNextRightMarker) {
    EXPECT_EQ("abc", TextBetween("STK_1(abc)", "(", ")"));
    EXPECT_EQ("", TextBetween("STK_1(abc", "(", ")"));
    EXPECT_EQ("", TextBetween("x=''; y", "x='", "';"));
    EXPECT_EQ("1", TextBetween("a(1)2)", "(", ")"));
    EXPECT_EQ("12345", TextBetween("$CONFIG['uid']='12345';\n$CONFIG['nick']='n';",
                                   "$CONFIG['uid']='", "';"));
    // The right marker must follow the left one; an earlier one does not count.
    EXPECT_EQ("b", TextBetween(")a(b)", "(", ")"));
    EXPECT_EQ("", TextBetween("abc", "", ")"));
    EXPECT_EQ("", TextBetween("abc", "a", ""));
    EXPECT_EQ("", TextBetween("", "(", ")"));
    // A left marker inside a double-byte character is no marker.
    EXPECT_EQ("ok", TextBetween("\xB2[bad][ok]", "[", "]"));
}

TEST(TextBetween, HonoursStartIncludeWholeTextAndCaseFlags) {
    EXPECT_EQ("2", TextBetween("(1)(2)", "(", ")", 3));
    EXPECT_EQ("(1)", TextBetween("x(1)y", "(", ")", std::nullopt, true));
    EXPECT_EQ("<a></a>", TextBetween("<a></a>", "<a>", "</a>", std::nullopt, true));
    EXPECT_EQ("x(1y", TextBetween("x(1y", "(", ")", std::nullopt, false, true));
    EXPECT_EQ("", TextBetween("x(1y", "(", ")", std::nullopt, false, false));
    EXPECT_EQ("v", TextBetween("<B>v</b>", "<b>", "</B>", std::nullopt, false, false, true));
    EXPECT_EQ("", TextBetween("<B>v</b>", "<b>", "</B>"));
}

TEST(CuttingHelpers, CountBytesAndGiveEmptyTextsForOutOfRangeArguments) {
    EXPECT_EQ("cde", RightText("abcde", 3));
    EXPECT_EQ("abc", RightText("abc", 10));
    EXPECT_EQ("", RightText("abc", 0));
    EXPECT_EQ("", RightText("", 2));

    EXPECT_EQ("bcd", MidText("abcde", 2, 3));
    EXPECT_EQ("de", MidText("abcde", 4, 100));
    EXPECT_EQ("e", MidText("abcde", 5, 1));
    EXPECT_EQ("", MidText("abcde", 6, 1));
    EXPECT_EQ("", MidText("abcde", 0, 2));
    EXPECT_EQ("", MidText("abcde", 2, 0));
    EXPECT_EQ("", MidText("", 1, 1));
    EXPECT_EQ("", MidText("abc", 2147483647, 2147483647));

    EXPECT_EQ("ab", LeftBytes("abc", 2));
    EXPECT_EQ("abc", LeftBytes("abc", 9));
    EXPECT_EQ("", LeftBytes("abc", -1));
    EXPECT_EQ("\xD6", LeftBytes(kZhongGbk, 1));  // may split a character: bytes, not characters
}

TEST(PathAndSpaceHelpers, FinishFoldersAndTrimOnlySpaces) {
    EXPECT_EQ("C:\\Pictures\\", EnsureTrailingBackslash("C:\\Pictures"));
    EXPECT_EQ("C:\\Pictures\\", EnsureTrailingBackslash("C:\\Pictures\\"));
    EXPECT_EQ("\\", EnsureTrailingBackslash(""));
    // 運 DF 5C, 誠 D5 5C and 錦 E5 5C end in the byte of "\" but are no separator.
    for (const Text name : {"\xBA\xC3\xDF\x5C", "\xD5\x5C", "\xE5\x5C"}) {
        EXPECT_EQ("C:\\" + name + "\\", EnsureTrailingBackslash("C:\\" + name)) << name;
    }
    EXPECT_EQ("C:\\\x80\\", EnsureTrailingBackslash("C:\\\x80\\"));  // € is one byte

    EXPECT_EQ("a b", TrimSpaces("   a b  "));
    EXPECT_EQ("\ta\n", TrimSpaces(" \ta\n "));
    EXPECT_EQ("", TrimSpaces("    "));

    EXPECT_EQ("   ", BlankText(3));
    EXPECT_EQ("", BlankText(0));
    EXPECT_EQ(std::string(4, '\0'), ZeroBytes(4));
    EXPECT_EQ(4u, ZeroBytes(4).size());
    EXPECT_TRUE(ZeroBytes(-3).empty());

    EXPECT_EQ("http://a/b?c=1", JoinTexts("http://", Text("a"), std::string_view("/b"), "?c=1"));
    EXPECT_EQ("", JoinTexts("", Text()));
}

TEST(Conversions, MapCodePage936Utf8AndUtf16OntoEachOther) {
    EXPECT_EQ(u"\u4E2D", AnsiToWide(kZhongGbk));
    EXPECT_EQ(u'\0', AnsiToWide(kZhongGbk).c_str()[1]);  // the terminator the platform sees
    EXPECT_EQ(u"a\u4E2Db", AnsiToWide("a" + kZhongGbk + "b"));
    EXPECT_EQ(u"\u20AC", AnsiToWide("\x80"));    // the euro sign of code page 936
    EXPECT_EQ(u"a\uF8F5", AnsiToWide("a\xFF"));  // and its last byte, as Windows maps it
    EXPECT_EQ(kZhongGbk, WideToAnsi(u"\u4E2D"));
    EXPECT_EQ(kZhongGbk, Utf8ToAnsi(kZhongUtf8));
    EXPECT_EQ(kZhongUtf8, AnsiToUtf8(kZhongGbk));
    EXPECT_EQ(kZhongUtf8, WideToUtf8(u"\u4E2D"));
    EXPECT_EQ(u"\U0001F600", Utf8ToWide("\xF0\x9F\x98\x80"));
    EXPECT_EQ(u"\u0800", Utf8ToWide("\xE0\xA0\x80"));  // the first of three bytes
    EXPECT_EQ("\xF0\x9F\x98\x80", WideToUtf8(u"\U0001F600"));
    EXPECT_EQ("\xF4\x8F\xBF\xBF", WideToUtf8(u"\U0010FFFF"));  // the last pair, DBFF DFFF
    EXPECT_EQ("\xEE\x80\x80", WideToUtf8(u"\uE000"));          // just past the surrogates
    EXPECT_TRUE(IsWellFormed936("a" + kZhongGbk));
    EXPECT_FALSE(IsWellFormed936("a\xD6"));  // a lead byte with no trail
    // A named code page is used as named.
    EXPECT_EQ(u"\u4E2D", AnsiToWide(kZhongUtf8, kCodePageUtf8));
    EXPECT_EQ(kZhongUtf8, WideToAnsi(u"\u4E2D", kCodePageUtf8));
    // UTF-16 held in a byte buffer, with and without its terminating zero unit.
    EXPECT_EQ("a" + kZhongGbk, WideBytesToAnsi(std::string("a\0\x2D\x4E", 4)));
    EXPECT_EQ("a", WideBytesToAnsi(std::string("a\0\0\0z\0", 6)));
    EXPECT_EQ("a", WideBytesToAnsi(std::string("a\0\x2D", 3)));  // odd last byte ignored
}

TEST(Conversions, GiveDefaultCharactersOrEmptyResultsInsteadOfFailing) {
    EXPECT_EQ("a?b", WideToAnsi(u"a\u0E01b"));         // Thai is not in code page 936
    EXPECT_EQ("\xEF\xBF\xBD", WideToUtf8(u"\xD800"));  // a lone surrogate
    EXPECT_EQ("", Utf8ToAnsi(""));
    EXPECT_EQ("", WideToAnsi(u""));
    EXPECT_TRUE(AnsiToWide("").empty());
    Text converted = "x";  // nothing to convert is a conversion that succeeded
    EXPECT_TRUE(WideToMultiByte(kCodePageGbk, u"", converted));
    EXPECT_EQ("", converted);
    EXPECT_EQ("a?", WideBytesToAnsi(std::string("a\0\x01\xD8", 4)));
    // An unknown code page is a failed conversion: empty results.
    EXPECT_TRUE(AnsiToWide("abc", 4242).empty());
    EXPECT_EQ("", WideToAnsi(u"abc", 4242));
    EXPECT_EQ("", Utf8ToAnsi("abc", 4242));
    // A lead byte with nothing after it still gives one character, never a read past the end.
    EXPECT_EQ(u"a?", AnsiToWide("a\xD6"));
    EXPECT_EQ(u"a?b", AnsiToWide("a\x81\x7F"
                                 "b"));  // the lowest lead byte takes its bad trail along
    // Bytes that are not UTF-8 become replacement characters; valid ones around them survive.
    EXPECT_EQ(u"\uFFFDA", Utf8ToWide("\xC3"
                                     "A"));  // a lead byte whose trail is not one
    const WideText mixed = Utf8ToWide("a\xFFz");
    ASSERT_EQ(3u, mixed.size());
    EXPECT_EQ(u'a', mixed[0]);
    EXPECT_EQ(char16_t(0xFFFD), mixed[1]);
    EXPECT_EQ(u'z', mixed[2]);
    // A text ends at its first zero byte.
    EXPECT_EQ(u"ab", AnsiToWide(std::string("ab\0cd", 5)));
}

TEST(Conversions, RoundTripEveryDoubleByteCharacterOfARow) {
    // Row 0xB0 holds the first GB2312 hanzi; every character must survive 936 -> 16 -> 936.
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
        const Text gbk{'\xB0', static_cast<char>(trail)};
        const WideText wide = AnsiToWide(gbk);
        ASSERT_EQ(1u, wide.size()) << trail;
        EXPECT_GE(wide[0], 0x4E00) << trail;
        EXPECT_EQ(gbk, WideToAnsi(wide)) << trail;
        EXPECT_EQ(gbk, Utf8ToAnsi(WideToUtf8(wide))) << trail;
    }
}

}  // namespace
