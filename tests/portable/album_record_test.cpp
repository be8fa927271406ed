// The album folder's record as text: what is read back, what is refused.
#include "app/download/album_record.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const RecordedPicture kSea{"0069a.jpg", "/large/", "[2017.08.22-16.54]sea-0069a.jpg", 1234};

// A line with the fields as given and a checksum that matches them, as a damaged or hostile
// record could hold.
Text SignedLine(const Text& fields) {
    std::uint32_t hash = 2166136261u;
    for (const char c : fields) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof(hex), "%08x", static_cast<unsigned>(hash));
    return fields + "\t" + hex + "\n";
}

Text Picture(const Text& name, const Text& length) {
    return SignedLine("p\tu1\ta1\t0069a.jpg\t/large/\t" + name + "\t" + length);
}

TEST(AlbumRecordText, ReadsOnlyWholeCheckedLinesOfItsOwnAlbumNamingAFileInsideTheFolder) {
    const Text good = FormatAlbumRecordLine("u1", "a1", kSea);
    ASSERT_EQ(good, Picture(kSea.fileName, "1234"));
    Text flipped = good;
    flipped[flipped.find("1234")] = '7';
    struct Case {
        Text line;
        bool read;
    };
    const Case cases[] = {
        {good, true},
        {Picture("\xBA\xC3\xDF\x5C.jpg", "1073741824"), true},  // 好運.jpg, the largest length
        {FormatAlbumRecordLine("u1", "a2", kSea), false},       // another album
        {FormatAlbumRecordLine("u2", "a1", kSea), false},       // another owner
        {good.substr(0, good.size() - 1), false},               // torn: no LF
        {flipped, false},                                       // checksum differs
        {good.substr(0, 30) + "\n", false},
        {Picture("..", "5"), false},
        {Picture("..\\x.jpg", "5"), false},
        {Picture("a/b.jpg", "5"), false},
        {Picture("C:x.jpg", "5"), false},
        {Picture("a\x01.jpg", "5"), false},
        {Picture("con.jpg", "5"), false},
        {Picture("", "5"), false},
        {Picture("a.jpg", "-5"), false},
        {Picture("a.jpg", "0"), false},
        {Picture("a.jpg", "12ab"), false},
        {Picture("a.jpg", "1073741825"), false},
        {Picture("a.jpg", "99999999999999999999999"), false},
        {Picture("a.jpg\tx", "5"), false},
        {SignedLine("p\tu1\ta1\t\x01.jpg\t/large/\ta.jpg\t5"), false},  // no such picture name
        {SignedLine("p\tu1\ta1\tb\x1f.jpg\t/large/\ta.jpg\t5"), false},
        {SignedLine("p\tu1\ta1\t0069a.jpg\t/lar\x01ge/\ta.jpg\t5"), false},  // no such size
        // Names up to 1,024 bytes, no longer.
        {SignedLine("p\tu1\ta1\t" + Text(1024, 'n') + "\t/large/\ta.jpg\t5"), true},
        {SignedLine("p\tu1\ta1\t" + Text(1025, 'n') + "\t/large/\ta.jpg\t5"), false},
        {Picture(Text(1020, 'f') + ".jpg", "5"), true},
        {Picture(Text(1021, 'f') + ".jpg", "5"), false},
    };
    for (const Case& c : cases) {
        const AlbumFolderRecord record =
            ParseAlbumRecord(kAlbumRecordVersionLine + c.line, "u1", "a1");
        EXPECT_EQ(record.pictures.size(), c.read ? 1u : 0u) << c.line.substr(0, 80);
    }
    // Nothing is written that would not be read back.
    for (const Text& name : {"..", "a/b.jpg", "a\tb.jpg", ""}) {
        RecordedPicture bad = kSea;
        bad.fileName = name;
        EXPECT_EQ(FormatAlbumRecordLine("u1", "a1", bad), "") << name;
    }
    EXPECT_EQ(FormatAlbumRecordLine("u\t1", "a1", kSea), "");
}

TEST(AlbumRecordText, ATornLineCostsOnlyItselfAndTheLatestEntryCounts) {
    const RecordedPicture again{"0069a.jpg", "/large/", "second.jpg", 99};
    const RecordedPicture small{"0069a.jpg", "/small/", "third.jpg", 7};
    const Text whole = FormatAlbumRecordLine("u1", "a1", kSea) +
                       FormatAlbumRecordLine("u1", "a1", again) +
                       FormatAlbumRecordLine("u1", "a1", small);
    const Text torn = whole.substr(0, 25);
    // A later append puts a LF after a torn line before its own.
    const Text bytes = kAlbumRecordVersionLine + torn + "\n" + whole + "garbage";
    const AlbumFolderRecord record = ParseAlbumRecord(bytes, "u1", "a1");
    ASSERT_EQ(record.pictures.size(), 3u);
    // In the order written: the folder takes the latest of a name and size.
    EXPECT_EQ(record.pictures[1].fileName, "second.jpg");
    EXPECT_EQ(record.pictures[2].length, 7u);
    // Without its version line the record is not one this program can read.
    EXPECT_TRUE(ParseAlbumRecord(bytes.substr(1), "u1", "a1").pictures.empty());
    EXPECT_TRUE(ParseAlbumRecord("", "u1", "a1").pictures.empty());
}

}  // namespace

namespace {

TEST(AlbumRecordText, KnowsTheAlbumAsTheLastListingThatReachedItsEndLeftIt) {
    const auto photo = [](const Text& name) {
        return ListedPhotoEntry{"wx1", name, 1503392040, "[2017.08.22-16.54]" + name};
    };
    const auto listing = [&](ListingKind kind, std::vector<Text> names, std::int64_t total,
                             int count = -1) {
        Text out = FormatListingStart("u1", "a1", kind);
        for (size_t i = 0; i < names.size(); ++i) {
            out += FormatListedLine("u1", "a1", static_cast<int>(i + 1), photo(names[i]));
        }
        return out + FormatListingEnd("u1", "a1", total,
                                      count < 0 ? static_cast<int>(names.size()) : count);
    };
    const Text full = listing(ListingKind::kFull, {"b.jpg", "a.jpg"}, 2);
    Text holed = listing(ListingKind::kFull, {"x.jpg", "y.jpg"}, 2);
    holed.erase(holed.find("l\t"), holed.find("\n", holed.find("l\t")) + 1 - holed.find("l\t"));
    struct Case {
        Text bytes;
        std::vector<Text> known;  // newest first
        std::int64_t total;
    };
    const Case cases[] = {
        {"", {}, -1},
        {full, {"b.jpg", "a.jpg"}, 2},
        // An update's new photos go in front; one it saw again keeps its new place.
        {full + listing(ListingKind::kUpdate, {"c.jpg", "a.jpg"}, 3),
         {"c.jpg", "a.jpg", "b.jpg"},
         3},
        // A full listing replaces what was known.
        {full + listing(ListingKind::kFull, {"d.jpg"}, 1), {"d.jpg"}, 1},
        // Cut short, with a hole, with a count that differs, lines with no start: not taken.
        {full + FormatListingStart("u1", "a1", ListingKind::kFull) +
             FormatListedLine("u1", "a1", 1, photo("e.jpg")),
         {"b.jpg", "a.jpg"},
         2},
        {full + holed, {"b.jpg", "a.jpg"}, 2},
        {full + listing(ListingKind::kUpdate, {"f.jpg"}, 3, 2), {"b.jpg", "a.jpg"}, 2},
        {FormatListedLine("u1", "a1", 1, photo("g.jpg")) + FormatListingEnd("u1", "a1", 1, 1),
         {},
         -1},
        // Another album's listing is not this one's; a start line heals an open listing.
        {full + FormatListingStart("u1", "a2", ListingKind::kFull), {"b.jpg", "a.jpg"}, 2},
        {FormatListingStart("u1", "a1", ListingKind::kFull) + full, {"b.jpg", "a.jpg"}, 2},
        // Line breaks alone, however many, are nothing to set memory aside for (the test run
        // caps one allocation at 256 MiB).
        {Text(size_t{4} << 20, '\n') + full, {"b.jpg", "a.jpg"}, 2},
    };
    for (const Case& c : cases) {
        const AlbumFolderRecord record =
            ParseAlbumRecord(kAlbumRecordVersionLine + c.bytes, "u1", "a1");
        std::vector<Text> names;
        for (const ListedPhotoEntry& p : record.listing) names.push_back(p.picName);
        EXPECT_EQ(names, c.known) << c.bytes.substr(0, 120);
        EXPECT_EQ(record.listedTotal, c.total) << c.bytes.substr(0, 120);
    }
    const ListedPhotoEntry read =
        ParseAlbumRecord(kAlbumRecordVersionLine + full, "u1", "a1").listing[0];
    EXPECT_EQ(read.picHost + read.fileName + std::to_string(read.timestamp),
              "wx1[2017.08.22-16.54]b.jpg1503392040");
    // Nothing is written that would not be read back.
    EXPECT_EQ(FormatListedLine("u1", "a1", 1, ListedPhotoEntry{"wx\t1", "a.jpg", 0, "a.jpg"}), "");
    EXPECT_EQ(FormatListedLine("u1", "a1", 1, ListedPhotoEntry{"wx1", "a.jpg", 0, "..\\a.jpg"}),
              "");
    EXPECT_EQ(FormatListedLine("u1", "a1", 0, photo("a.jpg")), "");
    EXPECT_EQ(FormatListingEnd("u1", "a1", -1, 0), "");
}

}  // namespace
