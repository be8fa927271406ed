// How far a listing goes: pages that come full are followed whatever the total says, a page
// that repeats ends it, and an update stops at known ground only when the counts agree.
#include "app/download/listing_plan.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// "k1-32" names k1 to k32; "x" is a page that never came; pages are separated by spaces.
std::vector<Text> Names(const std::string& range) {
    std::vector<Text> out;
    const size_t dash = range.find('-');
    const int first = std::stoi(range.substr(1, dash - 1));
    const int last = dash == std::string::npos ? first : std::stoi(range.substr(dash + 1));
    for (int n = first; n <= last; ++n) out.push_back(range.substr(0, 1) + std::to_string(n));
    return out;
}

std::vector<PhotoRecord> Page(const std::string& ranges) {
    std::vector<PhotoRecord> page;
    std::istringstream parts(ranges);
    for (std::string part; std::getline(parts, part, '+');) {
        if (part == "empty") continue;
        for (const Text& name : Names(part)) page.push_back({"cap", "wx1", name + ".jpg", 1});
    }
    return page;
}

TEST(ListingPlan, FollowsFullPagesAndStopsAtKnownGroundOnlyWhenTheCountsAgree) {
    struct Case {
        const char* what;
        std::string known;  // the record's last listing, newest first; empty: none
        bool full;
        std::int64_t total;
        std::string pages;   // as the service would give them, more than are asked for
        int asked;           // pages taken before the plan says stop
        int fresh;           // photos handed on to be fetched or found in the folder
        int fromRecord;      // photos taken from the record without their page
        std::string record;  // the record's start line and the count its end line gives
    };
    const Case cases[] = {
        {"first run", "", false, 70, "a1-32 a33-64 a65-70", 3, 70, 0, "L70"},
        {"a total too low", "", false, 20, "a1-32 a33-64 a65-65 empty", 3, 65, 0, "L65"},
        {"no total at all", "", false, 0, "a1-32 a33-35", 2, 35, 0, "L35"},
        {"full pages to the end", "", false, 64, "a1-32 a33-64 empty", 3, 64, 0, "L64"},
        {"a page repeated", "", false, 9999, "a1-32 a1-32 a1-32", 2, 32, 0, "L32"},
        {"a photo twice on a page", "", false, 32, "a1-31+a1-1 empty", 2, 32, 0, "L32"},
        {"a page that never came", "", false, 70, "a1-32 x a65-70", 3, 38, 0, ""},
        {"unchanged", "k1-100", false, 100, "k1-32 k33-64", 1, 32, 68, "U0"},
        {"40 new at the front", "k1-100", false, 140, "n1-32 n33-40+k1-24 k25-56 k57-88", 3, 96, 44,
         "U40"},
        {"one removed upstream", "k1-100", false, 99, "k2-33 k34-65 k66-97 k98-100", 4, 99, 0,
         "L99"},
        {"a total that lies", "k1-100", false, 120, "k1-32 k33-64 k65-96 k97-100", 4, 100, 0,
         "L100"},
        {"a check asked for", "k1-100", true, 100, "k1-32 k33-64 k65-96 k97-100", 4, 100, 0,
         "L100"},
    };
    for (const Case& c : cases) {
        std::vector<ListedPhotoEntry> known;
        if (!c.known.empty()) {
            for (const Text& name : Names(c.known)) known.push_back({"wx1", name + ".jpg", 1, "f"});
        }
        ListingPlan plan(known, c.full);
        plan.NoteTotal(c.total);
        std::istringstream pages(c.pages);
        int asked = 0;
        int fresh = 0;
        for (std::string page; pages >> page;) {
            ++asked;
            if (page == "x") {
                plan.PageFailed();
                continue;
            }
            const ListingPlan::Step step = plan.Page(Page(page));
            fresh += static_cast<int>(step.fresh.size());
            if (!step.more) break;
        }
        EXPECT_EQ(asked, c.asked) << c.what;
        EXPECT_EQ(fresh, c.fresh) << c.what;
        EXPECT_EQ(static_cast<int>(plan.NotListedAgain().size()), c.fromRecord) << c.what;
        EXPECT_EQ(plan.AtKnownGround(), c.fromRecord > 0) << c.what;
        const AlbumFolderRecord read =
            ParseAlbumRecord(kAlbumRecordVersionLine + plan.RecordLines("u1", "a1"), "u1", "a1");
        const Text lines = plan.RecordLines("u1", "a1");
        const Text kind = lines.empty() ? Text() : lines.substr(0, 1);
        const size_t count = std::count(lines.begin(), lines.end(), '\n') - 2 * !lines.empty();
        EXPECT_EQ(lines.empty() ? Text() : kind + std::to_string(count), c.record) << c.what;
        if (kind == "L") EXPECT_EQ(read.listing.size(), count) << c.what;
    }
}

}  // namespace
