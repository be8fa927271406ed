// Path queries, the member map, shared nodes, changes and writing of JsonDocument.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "text/json_document.h"

namespace {

JsonDocument Parsed(const Text& text) {
    JsonDocument doc;
    EXPECT_TRUE(doc.Parse(text)) << text;
    return doc;
}

Text AlbumList(int albums) {
    Text out = "{\"data\":{\"total\":" + std::to_string(albums) + ",\"album_list\":[";
    for (int i = 0; i < albums; ++i) {
        if (i) out += ",";
        out += "{\"caption\":\"c" + std::to_string(i) +
               "\",\"album_id\":" + std::to_string(1000 + i) +
               ",\"count\":{\"photos\":" + std::to_string(i * 3) + "}}";
    }
    return out + "]}}";
}

TEST(JsonQuery, ReadsValuesOnlyAsTheirOwnKinds) {
    JsonDocument doc = Parsed("{\"n\":25,\"s\":\"25\",\"r\":3.9,\"m\":-3.9,\"b\":true,\"z\":null}");
    EXPECT_EQ("", doc.GetText("n"));
    EXPECT_EQ(0, doc.GetInteger("s"));
    EXPECT_EQ(3, doc.GetInteger("r"));
    EXPECT_EQ(-3, doc.GetInteger("m"));
    EXPECT_DOUBLE_EQ(25.0, doc.GetReal("n"));
    EXPECT_EQ(0.0, doc.GetReal("s"));
    EXPECT_EQ("", doc.GetText("b"));
    EXPECT_EQ("", doc.GetText("z"));
    EXPECT_EQ(0, doc.CountOf("n"));
    EXPECT_EQ(6, doc.CountOf(""));
    EXPECT_TRUE(doc.GetTextBytes("n").empty());
    EXPECT_EQ(std::string("2\0"
                          "5\0\0\0",
                          6),
              doc.GetTextBytes("s"));
}

TEST(JsonQuery, ResolvingAPathCreatesWhatIsMissing) {
    JsonDocument doc = Parsed("{\"data\":{\"list\":[\"x\",\"y\"]}}");
    EXPECT_EQ("x", doc.GetText("data.list.[0]"));
    EXPECT_EQ("y", doc.GetText("data.list[1]"));
    EXPECT_EQ("", doc.GetText("data.list.[2]"));
    EXPECT_EQ(3, doc.CountOf("data.list"));
    EXPECT_EQ(JsonNull, doc.KindOf("data.list.[2]"));

    JsonDocument albums = Parsed(AlbumList(20));
    EXPECT_EQ(20, albums.GetInteger("data.total"));
    EXPECT_EQ("c19", albums.GetText("data.album_list.[19].caption"));
    EXPECT_EQ(57, albums.GetInteger("data.album_list.[19].count.photos"));
    EXPECT_EQ("", albums.GetText("data.album_list.[25].caption"));
    EXPECT_EQ(26, albums.CountOf("data.album_list"));
    EXPECT_TRUE(albums.HasMember("data.album_list.[25]", "caption"));

    // A value of the wrong kind on the way is replaced.
    JsonDocument wrong = Parsed("{\"a\":5,\"b\":[1]}");
    EXPECT_EQ("", wrong.GetText("a.x"));
    EXPECT_EQ(JsonObject, wrong.KindOf("a"));
    EXPECT_EQ(0, wrong.GetInteger("b.k"));
    EXPECT_EQ(JsonObject, wrong.KindOf("b"));
}

TEST(JsonQuery, SplitsPathsIntoNamesAndIndices) {
    JsonDocument doc = Parsed("{\"a\":[[10,11],[20,21]],\"\":{\"\":7},\"x\":{\"\":8}}");
    EXPECT_EQ(20, doc.GetInteger("a[1].[0]"));
    EXPECT_EQ(JsonArray, doc.KindOf("a[1][0]"));  // only the first bracket pair counts
    EXPECT_EQ(21, doc.GetInteger("a[1.[1]"));     // "[" without "]" reads the rest
    EXPECT_EQ(JsonArray, doc.KindOf("a[junk]"));  // not a number: index 0
    EXPECT_EQ(11, doc.GetInteger("a[ +0].[1]"));
    EXPECT_EQ(8, doc.GetInteger("x."));  // trailing dot: the empty name
    EXPECT_EQ(7, doc.GetInteger("."));
    EXPECT_EQ(JsonObject, doc.KindOf(""));     // the empty path is the root
    EXPECT_EQ(JsonRaw, doc.KindOf("a.[-1]"));  // a negative index names nothing
    EXPECT_EQ(2, doc.CountOf("a"));
    EXPECT_EQ(0, doc.GetInteger(u"a.[1].[1].\u4E2D"));
    EXPECT_EQ(JsonObject, doc.KindOf(u"a.[1].[1]"));
}

TEST(JsonQuery, AHugeIndexNamesNothingInsteadOfGrowingTheArray) {
    JsonDocument doc = Parsed("{\"a\":[1]}");
    EXPECT_EQ("", doc.GetText("a.[2000000000]"));
    EXPECT_EQ(JsonRaw, doc.KindOf("a.[99999999999999999999]"));
    EXPECT_FALSE(doc.SetInteger("a.[2147483647]", 1));
    EXPECT_EQ(1, doc.CountOf("a"));
    EXPECT_EQ(1, doc.GetInteger("a.[0]"));
}

TEST(JsonQuery, PathExistsCreatesNothing) {
    JsonDocument doc = Parsed("{\"a\":{\"b\":[1,2]}}");
    EXPECT_TRUE(doc.PathExists("a.b.[1]"));
    EXPECT_TRUE(doc.PathExists("a.b[0]"));
    EXPECT_FALSE(doc.PathExists("a.b.[2]"));
    EXPECT_FALSE(doc.PathExists("a.c"));
    EXPECT_FALSE(doc.PathExists("a.b.c"));
    EXPECT_FALSE(doc.PathExists("a.[0]"));
    EXPECT_FALSE(doc.PathExists(""));
    EXPECT_EQ("{\"a\":{\"b\":[1,2]}}", doc.ToText());
    EXPECT_TRUE(doc.HasIndex("a.b", 1));
    EXPECT_FALSE(doc.HasIndex("a.b", 2));
    EXPECT_FALSE(doc.HasIndex("a.b", -1));
}

TEST(JsonQuery, ADocumentWithoutRootAnswersEmptyAndRefusesChanges) {
    JsonDocument doc;
    EXPECT_FALSE(doc.HasRoot());
    EXPECT_EQ("", doc.GetText("a"));
    EXPECT_EQ(0, doc.GetInteger("a"));
    EXPECT_EQ(-1, doc.KindOf(""));  // as promised, whatever JsonRaw may become
    EXPECT_EQ(0, doc.CountOf(""));
    EXPECT_FALSE(doc.PathExists("a"));
    EXPECT_FALSE(doc.SetString("a", "x"));
    EXPECT_FALSE(doc.SetBoolean("a", true));
    EXPECT_EQ("", doc.ToText());
    EXPECT_FALSE(doc.GetNode("a").HasRoot());
    JsonDocument other = Parsed("{}");
    EXPECT_FALSE(other.SetMember("", "k", doc));
    EXPECT_FALSE(doc.AppendElement("", other));
    EXPECT_FALSE(Parsed("[]").AppendElement("", doc));
}

TEST(JsonMembers, FindEveryMemberThroughCollisionsAndGrowthInInsertionOrder) {
    // "Aa" and "BB" share a hash; 300 members force the table through several growths.
    JsonDocument doc = Parsed("{\"Aa\":1,\"BB\":2}");
    Text expected = "{\"Aa\":1,\"BB\":2";
    for (int i = 0; i < 300; ++i) {
        const Text name = "m" + std::to_string(i);
        ASSERT_TRUE(doc.SetInteger(name, i));
        expected += ",\"" + name + "\":" + std::to_string(i);
    }
    expected += "}";
    EXPECT_EQ(302, doc.CountOf(""));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(i, doc.GetInteger("m" + std::to_string(i)));
    EXPECT_EQ(1, doc.GetInteger("Aa"));
    EXPECT_EQ(2, doc.GetInteger("BB"));
    EXPECT_EQ(expected, doc.ToText());
    EXPECT_FALSE(doc.HasMember("", "aa"));  // case matters

    EXPECT_TRUE(doc.RemoveMember("", "Aa"));
    EXPECT_FALSE(doc.RemoveMember("", "Aa"));
    EXPECT_FALSE(doc.HasMember("", "Aa"));
    EXPECT_EQ(2, doc.GetInteger("BB"));
    EXPECT_EQ(301, doc.CountOf(""));
    EXPECT_TRUE(doc.RemoveMember("", "m150"));
    EXPECT_TRUE(doc.PathExists("m151"));
    EXPECT_FALSE(doc.PathExists("m150"));
}

TEST(JsonElements, RemoveAndInsertKeepTheOrder) {
    JsonDocument doc = Parsed("[1,2,3]");
    EXPECT_TRUE(doc.RemoveElement("", 1));
    EXPECT_FALSE(doc.RemoveElement("", 2));
    EXPECT_FALSE(doc.RemoveElement("", -1));
    EXPECT_EQ("[1,3]", doc.ToText());
    EXPECT_TRUE(doc.InsertElement("", 1, Parsed("[\"x\"]").GetNode("[0]")));
    EXPECT_TRUE(doc.InsertElement("", 99, Parsed("{\"k\":null}")));
    EXPECT_TRUE(doc.AppendElement("", Parsed("[true]")));
    EXPECT_FALSE(doc.InsertElement("", -1, Parsed("[]")));
    EXPECT_EQ("[1,\"x\",3,{\"k\":null},[true]]", doc.ToText());
    EXPECT_TRUE(doc.RemoveElement("", 0));
    EXPECT_EQ("[\"x\",3,{\"k\":null},[true]]", doc.ToText());
}

TEST(JsonSharing, NodesOutliveTheDocumentTheyCameFromAndChangesShowEverywhere) {
    JsonDocument data;
    {
        JsonDocument doc = Parsed("{\"data\":{\"qrid\":\"abc\",\"list\":[1,2]}}");
        data = doc.GetNode("data");
        JsonDocument list = doc.GetMemberNode("data", "list");
        ASSERT_TRUE(list.SetInteger("[0]", 9));
        EXPECT_EQ(9, doc.GetInteger("data.list.[0]"));
        JsonDocument parent = doc.GetParentNode("data.list.[1]");
        EXPECT_EQ(2, parent.CountOf(""));
        EXPECT_EQ(2, doc.GetElementNode("data.list", 1).GetInteger(""));
        EXPECT_FALSE(doc.GetParentNode("").HasRoot());
        JsonDocument copy = Parsed("[]");
        copy = doc;  // over a tree of its own
        ASSERT_TRUE(copy.SetString("data.qrid", "changed"));
        EXPECT_EQ("changed", doc.GetText("data.qrid"));
    }
    EXPECT_EQ("changed", data.GetText("qrid"));
    EXPECT_EQ(9, data.GetInteger("list.[0]"));

    // One node attached in two places of another tree.
    JsonDocument tree = Parsed("{}");
    ASSERT_TRUE(tree.SetMember("", "first", data));
    ASSERT_TRUE(tree.SetMember("x", "second", data));
    ASSERT_TRUE(tree.AppendElement("y", data));
    data = JsonDocument();
    EXPECT_EQ("changed", tree.GetText("x.second.qrid"));
    EXPECT_EQ("changed", tree.GetText("y.[0].qrid"));
    ASSERT_TRUE(tree.SetInteger("first.list", 1));
    EXPECT_EQ(1, tree.GetInteger("x.second.list"));
    EXPECT_TRUE(tree.RemoveMember("", "first"));
    EXPECT_EQ(1, tree.GetInteger("y.[0].list"));
}

TEST(JsonSharing, RefusesToAttachANodeInsideItself) {
    JsonDocument doc = Parsed("{\"a\":{\"b\":{}}}");
    JsonDocument a = doc.GetNode("a");
    EXPECT_FALSE(doc.SetMember("a.b", "loop", a));
    EXPECT_FALSE(doc.SetMember("", "self", doc));
    EXPECT_FALSE(doc.AppendElement("a.b.c", doc));  // the path itself is still resolved
    EXPECT_FALSE(doc.InsertElement("a.b.c", 0, a));
    EXPECT_TRUE(doc.SetMember("a", "b", doc.GetNode("a.b")));  // replacing a member by itself
    EXPECT_EQ(JsonObject, doc.KindOf("a.b"));
    EXPECT_EQ("{\"a\":{\"b\":{\"c\":null}}}", doc.ToText());
}

TEST(JsonChange, SettersGiveKindValueAndSourceText) {
    JsonDocument doc = Parsed("{\"a\":{\"deep\":[1,2]}}");
    ASSERT_TRUE(doc.SetInteger("a", -42));
    EXPECT_EQ(JsonInteger, doc.KindOf("a"));
    EXPECT_EQ("-42", doc.GetNumberText("a"));
    ASSERT_TRUE(doc.SetReal("r", std::nan("")));
    EXPECT_EQ(0, doc.GetInteger("r"));
    ASSERT_TRUE(doc.SetReal("r", 2.5));
    EXPECT_EQ("2.5", doc.GetNumberText("r"));
    EXPECT_EQ(2, doc.GetInteger("r"));
    ASSERT_TRUE(doc.SetBoolean("t", true));
    EXPECT_TRUE(doc.GetBoolean("t"));
    ASSERT_TRUE(doc.SetNull("t"));
    EXPECT_EQ(JsonNull, doc.KindOf("t"));
    ASSERT_TRUE(doc.SetString("s", "\xD6\xD0"));
    EXPECT_EQ("\xD6\xD0", doc.GetText("s"));
    ASSERT_TRUE(doc.SetString(u"w", u"\u4E2D"));
    EXPECT_EQ("\xD6\xD0", doc.GetText("w"));
    EXPECT_EQ("{\"a\":-42,\"r\":2.5,\"t\":null,\"s\":\"\xD6\xD0\",\"w\":\"\xD6\xD0\"}",
              doc.ToText());
}

TEST(JsonWrite, EscapesStringsAndIndentsObjectsWithTabs) {
    JsonDocument doc = Parsed(R"({"a":1,"b":{"c":[1,{"d":"x"}]},"e":{}})");
    EXPECT_EQ(
        "{\r\n\t\"a\":1,\r\n\t\"b\":{\r\n\t\t\"c\":[1,{\r\n\t\t\t\t\"d\":\"x\"\r\n\t\t\t}]\r\n\t},"
        "\r\n\t\"e\":{\r\n\t}\r\n}",
        doc.ToText("", true));
    EXPECT_EQ("[1,{\"d\":\"x\"}]", doc.ToText("b.c"));
    EXPECT_EQ("1", doc.ToText("a"));

    JsonDocument s = Parsed(R"(["q\"b\\s\/\b\t\n\r\f\u4e2d\u0000z",'x'])");
    const Text written = s.ToText();
    EXPECT_EQ("[\"q\\\"b\\\\s\\/\\b\\t\\n\\r\\f\xD6\xD0\\u0000z\",\"x\"]", written);
    JsonDocument again = Parsed(written);
    EXPECT_EQ(written, again.ToText());
    EXPECT_EQ(std::string("[\0\"\0x\0\"\0]\0", 10), Parsed("['x']").ToTextBytes());
}

TEST(JsonWrite, RoundTripsAnAlbumListAndNumbers) {
    const Text list = AlbumList(500);
    JsonDocument doc = Parsed(list);
    EXPECT_EQ(list, doc.ToText());
    JsonDocument numbers = Parsed("[0.1,-2.5e-3,1e300,-7,1.5e999,undefined]");
    EXPECT_EQ("[0.1,-0.0025,1e+300,-7,null,undefined]", numbers.ToText());
}

TEST(JsonWrite, HandlesTreesDeeperThanAnyParseCould) {
    // Paths can nest far deeper than the parser allows; writing, copying and freeing such a tree
    // must not recurse.
    Text path = "a";
    for (int i = 0; i < 50000; ++i) path += ".a";
    JsonDocument doc = Parsed("{}");
    ASSERT_TRUE(doc.SetInteger(path, 1));
    EXPECT_EQ(1, doc.GetInteger(path));
    const Text written = doc.ToText();
    EXPECT_EQ(50001u * 6 + 1, written.size());
    EXPECT_TRUE(doc.PathExists(path));
}

}  // namespace
