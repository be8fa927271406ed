// The cookie text and the Set-Cookie scanning, as tables of inputs and the jars they must give.
#include <gtest/gtest.h>

#include "web/cookie_jar.h"

namespace {

const char kIdeographicBlank[] = "\xA1\xA1";

// Raw response headers as WinHTTP hands them over: status line first, CRLF after every line,
// an empty line at the end.
Text Headers(std::initializer_list<const char*> lines) {
    Text h = "HTTP/1.1 200 OK\r\n";
    for (const char* line : lines) h += Text(line) + "\r\n";
    return h + "\r\n";
}

CookieJar JarOf(const Text& text) {
    CookieJar jar;
    jar.CookieText(text);
    return jar;
}

struct MergeCase {
    const char* name;
    const char* jar;
    Text headers;
    bool skipEmpty;
    const char* expected;
};

TEST(CookieJarMerge, FoldsEverySetCookieOfAResponseIntoTheJar) {
    const MergeCase cases[] = {
        {"new cookies are appended in order", "",
         Headers({"Set-Cookie: A=1; path=/", "Set-Cookie:B=2"}), false, "; A=1; B=2; "},
        {"a known cookie keeps its place", "A=1; B=2", Headers({"Set-Cookie: A=3"}), false,
         "; A=3; B=2; "},
        {"a deletion removes the entry", "A=1; B=2", Headers({"Set-Cookie: A=deleted"}), false,
         "; B=2; "},
        {"a deletion is ignored with skip-empty", "A=1; B=2", Headers({"Set-Cookie: A=deleted"}),
         true, "; A=1; B=2; "},
        {"an emptied value replaces the old one", "A=1", Headers({"Set-Cookie: A="}), false,
         "; A=; "},
        {"an emptied value is ignored with skip-empty", "A=1", Headers({"Set-Cookie: A="}), true,
         "; A=1; "},
        {"a deletion of an unknown cookie changes nothing", "A=1",
         Headers({"Set-Cookie: B=DELETED"}), false, "; A=1; "},
        {"the last entry can be deleted", "A=1; B=2", Headers({"set-cookie: B=Deleted"}), false,
         "; A=1; "},
        {"a new empty cookie is kept even with skip-empty", "A=1", Headers({"Set-Cookie: C="}),
         true, "; A=1; C=; "},
        {"an item without attributes ends with its line", "",
         Headers({"Set-Cookie: A=1", "X-Other: a; b"}), false, "; A=1; "},
        {"an item without = is skipped", "A=1", Headers({"Set-Cookie: junk; path=/"}), false,
         "; A=1; "},
        {"header names are matched in any case", "",
         Headers({"SET-COOKIE: A=1", "set-cookie:  B=2"}), false, "; A=1; B=2; "},
        {"ideographic blanks before the item are dropped", "", Headers({"Set-Cookie:\xA1\xA1 A=1"}),
         false, "; A=1; "},
        {"a name that merely starts like another is a different cookie", "AB=1",
         Headers({"Set-Cookie: A=2"}), false, "; AB=1; A=2; "},
        {"a name that ends another's is a different cookie", "",
         Headers({"Set-Cookie: XSUB=1", "Set-Cookie: SUB=2", "Set-Cookie: SUB=3"}), false,
         "; XSUB=1; SUB=3; "},
        {"a deletion of a name that ends another's leaves that one", "XSUB=1; SUB=2",
         Headers({"Set-Cookie: SUB=deleted"}), false, "; XSUB=1; "},
        {"a header that only ends in Set-Cookie is not a cookie", "",
         Headers({"X-Set-Cookie: A=1", "Set-Cookie: B=2"}), false, "; B=2; "},
        {"duplicates: the later value wins in place", "",
         Headers({"Set-Cookie: A=1", "Set-Cookie: B=2", "Set-Cookie: A=3"}), false, "; A=3; B=2; "},
        {"values keep their bytes, = and GBK included", "",
         Headers({"Set-Cookie: T=a=b\xD6\xD0; domain=.x"}), false, "; T=a=b\xD6\xD0; "},
    };
    for (const MergeCase& c : cases) {
        CookieJar jar = JarOf(c.jar);
        jar.MergeSetCookies(c.headers, c.skipEmpty);
        EXPECT_EQ(jar.Raw(), c.expected) << c.name;
        EXPECT_EQ(jar.Length(), static_cast<int>(jar.Raw().size())) << c.name;
    }
}

TEST(CookieJarMerge, ReportsWhetherTheJarChanged) {
    CookieJar jar;
    EXPECT_FALSE(jar.MergeSetCookies(Headers({"Content-Type: text/html"}), false));
    EXPECT_TRUE(jar.MergeSetCookies(Headers({"Set-Cookie: A=1"}), false));
    EXPECT_FALSE(jar.MergeSetCookies(Headers({"Set-Cookie: Z=deleted"}), false));
    EXPECT_FALSE(jar.MergeSetCookies("", false));
    EXPECT_EQ(jar.Raw(), "; A=1; ");
}

TEST(CookieJarText, NormalisesWhatItIsGivenAndGivesBackTheEntries) {
    struct Case {
        const char* given;
        const char* stored;
        const char* entries;
    };
    const Case cases[] = {
        {"A=1", "; A=1; ", "A=1"},
        {"; A=1;", "; A=1; ", "A=1"},
        {"; A=1; B=2; ", "; A=1; B=2; ", "A=1; B=2"},
        {"A=1; B=2;", "; A=1; B=2; ", "A=1; B=2"},
        {"", "; ", ""},
        {"; ", "; ", ""},
        {"   ", "; ", ""},
        // Trailing blanks would otherwise leave the last entry without its "; ".
        {"A=1 ", "; A=1; ", "A=1"},
        {"A=1;  ", "; A=1; ", "A=1"},
    };
    for (const Case& c : cases) {
        CookieJar jar;
        EXPECT_EQ(jar.CookieText(c.given), c.given);
        EXPECT_EQ(jar.Raw(), c.stored) << "given '" << c.given << "'";
        EXPECT_EQ(jar.CookieText(), c.entries) << "given '" << c.given << "'";
        EXPECT_EQ(jar.Length(), static_cast<int>(jar.Raw().size()));
    }
}

TEST(CookieJarText, ANormalisedLastEntryCanStillBeReplacedAndRemoved) {
    CookieJar jar = JarOf("A=1 ");
    EXPECT_TRUE(jar.AddCookies("A=2"));
    EXPECT_EQ(jar.Raw(), "; A=2; ");
    EXPECT_TRUE(jar.RemoveCookies("A"));
    EXPECT_EQ(jar.Raw(), "; ");
    EXPECT_EQ(jar.CookieText(), "");
}

TEST(CookieJarLookup, FindsACookieByItsWholeName) {
    const CookieJar jar = JarOf("; A=1; B=2; AB=3; E=; ");
    struct Case {
        const char* name;
        bool withName;
        const char* expected;
    };
    const Case cases[] = {
        {"B", false, "2"}, {"B", true, "B=2"}, {"A", false, "1"}, {"AB", false, "3"},
        {"E", false, ""},  {"E", true, "E="},  {"C", false, ""},  {"", false, ""},
        {"b", false, ""},  {"B=", false, "2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jar.GetCookie(c.name, c.withName), c.expected)
            << c.name << (c.withName ? " with name" : "");
    }
    // A prefix of a longer name is not that cookie.
    EXPECT_EQ(JarOf("; AB=3; ").GetCookie("A"), "");
}

TEST(CookieJarEdit, AddsReplacesAndRemovesFromCookieStrings) {
    struct Case {
        const char* jar;
        bool add;
        const char* argument;
        bool changed;
        const char* expected;
    };
    const Case cases[] = {
        {"; A=1; ", true, " C=3;  A=9", true, "; A=9; C=3; "},
        {"; A=1; ", true, "", false, "; A=1; "},
        {"; A=1; ", true, "novalue; ;", false, "; A=1; "},
        {"; A=1; ", true, "A=deleted", true, "; A=deleted; "},
        {"; ", true, "X=\xA1\xA1", true, "; X=\xA1\xA1; "},
        {"; A=1; B=2; ", false, "A=anything; X", true, "; B=2; "},
        {"; A=1; B=2; ", false, "B", true, "; A=1; "},
        {"; A=1; B=2; ", false, "", false, "; A=1; B=2; "},
        {"; A=1; B=2; ", false, "C; D=4", false, "; A=1; B=2; "},
        {"; AB=1; ", false, "A", false, "; AB=1; "},
        {"; XSUB=1; ", true, "SUB=2", true, "; XSUB=1; SUB=2; "},
        {"; XSUB=1; ", false, "SUB", false, "; XSUB=1; "},
    };
    for (const Case& c : cases) {
        CookieJar jar = JarOf(c.jar);
        const bool changed = c.add ? jar.AddCookies(c.argument) : jar.RemoveCookies(c.argument);
        EXPECT_EQ(changed, c.changed) << (c.add ? "add '" : "remove '") << c.argument << "'";
        EXPECT_EQ(jar.Raw(), c.expected) << (c.add ? "add '" : "remove '") << c.argument << "'";
        EXPECT_EQ(jar.Length(), static_cast<int>(jar.Raw().size()));
    }
}

TEST(CookieJarSafety, NoLineBreakOrNulEverGetsIntoTheJarOrACookieString) {
    for (const Text& cut : {Text("\r\n"), Text("\n"), Text("\r"), Text("\0", 1)}) {
        const Text bad = "A=1" + cut + "X-Injected: 1";
        CookieJar jar = JarOf("B=2");
        EXPECT_FALSE(jar.AddCookies(bad));
        EXPECT_FALSE(jar.AddCookies("C=3; " + bad));
        EXPECT_EQ(jar.CookieText(bad), "");
        EXPECT_EQ(jar.Raw(), "; B=2; ");
        // Inside one header line of a response (a CRLF there would end the line instead).
        if (cut == "\r\n") continue;
        const Text headers =
            "HTTP/1.1 200 OK\r\nSet-Cookie: " + bad + "\r\nSet-Cookie: D=4\r\n\r\n";
        jar.MergeSetCookies(headers, false);
        EXPECT_EQ(jar.Raw(), "; B=2; D=4; ");
        EXPECT_EQ(SetCookiesFromHeaders(headers), "D=4");
        EXPECT_EQ(SetCookieFromHeaders(headers, "A"), "");
    }
}

TEST(SetCookieHeaders, GiveTheCookiesOfAResponseAsOneString) {
    const Text headers = Headers(
        {"Set-Cookie: A=1; path=/", "set-cookie: B=deleted; path=/", "Set-Cookie: C=; path=/"});
    EXPECT_EQ(SetCookiesFromHeaders(headers), "A=1; C=");
    EXPECT_EQ(SetCookiesFromHeaders(""), "");
    EXPECT_EQ(SetCookiesFromHeaders(Headers({"Server: x"})), "");
    EXPECT_EQ(SetCookiesFromHeaders(Headers({"Set-Cookie: A=1", "Set-Cookie: A=2"})), "A=1; A=2");
    // A header with no line end after it is cut off, not half taken.
    EXPECT_EQ(SetCookiesFromHeaders("HTTP/1.1 200 OK\r\nSet-Cookie: A=1\r\nSet-Cookie: B=2"),
              "A=1");
    EXPECT_EQ(SetCookiesFromHeaders(
                  Headers({Text("Set-Cookie:").append(kIdeographicBlank).append("SUB=x").c_str()})),
              "SUB=x");
}

TEST(SetCookieHeaders, GiveOneCookieByName) {
    const Text headers =
        Headers({"Set-Cookie: SUB=abc; path=/", "Set-Cookie:SUBP=def", "Set-Cookie: E=; path=/"});
    EXPECT_EQ(SetCookieFromHeaders(headers, "SUB"), "abc");
    EXPECT_EQ(SetCookieFromHeaders(headers, "SUBP"), "def");
    EXPECT_EQ(SetCookieFromHeaders(headers, "subp"), "def");
    EXPECT_EQ(SetCookieFromHeaders(headers, "E"), "");
    EXPECT_EQ(SetCookieFromHeaders(headers, "X"), "");
    EXPECT_EQ(SetCookieFromHeaders("", "SUB"), "");
    EXPECT_EQ(SetCookieFromHeaders("HTTP/1.1 200 OK\r\nSet-Cookie: SUB=abc", "SUB"), "");
}

TEST(CookieTextHelpers, TrimBlanksAndRecogniseDeletions) {
    EXPECT_EQ(TrimLeadingBlanks("  \xA1\xA1 a b "), "a b ");
    EXPECT_EQ(TrimBlanks(" \xA1\xA1 a b \xA1\xA1  "), "a b");
    EXPECT_EQ(TrimBlanks("\xA1"), "\xA1");  // half a blank is not a blank
    EXPECT_EQ(TrimBlanks("   "), "");
    for (const char* yes : {"A=deleted", "A=DELETED", "A=Deleted", "=deleted"}) {
        EXPECT_TRUE(IsDeletionMarked(yes)) << yes;
    }
    for (const char* no : {"A=dElEtEd", "deleted", "A=undeleted", "A=deleted ", ""}) {
        EXPECT_FALSE(IsDeletionMarked(no)) << no;
    }
    EXPECT_EQ(FindNoCase("abc SET-cookie: x", "Set-Cookie:"), 4u);
    EXPECT_EQ(FindNoCase("short", "longer needle"), Text::npos);
    EXPECT_EQ(FindNoCase("aXa", "a", 1), 2u);
}

}  // namespace
