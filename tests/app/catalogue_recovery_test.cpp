// The album catalogue against a failing photo host, and a retired analysis against a newer one.
#include "flow_fixture.h"

namespace {

using namespace apptest;

using CatalogueRecoveryTest = AppFlowTest;

TEST_F(CatalogueRecoveryTest, AlbumPagesAreAskedAgainTwiceAndAListThatNeverCameSaysSo) {
    const struct {
        const char* owner;
        const char* fault;
        size_t items;
        const char* status;
        int requests;  // album-list requests in all
    } cases[] = {
        // Page 1 fails twice, then comes: the list is whole.
        {"1000001",
         R"({"path": "/albums/get_all*", "action": "status", "status": 500, "count": 2})", 4,
         kStatusCatalogueDone, 3},
        // Page 1 never parses: nothing to show, and the status says it failed.
        {"1000001", R"({"path": "/albums/get_all*", "action": "malformed"})", 0,
         kStatusCatalogueFailed, 3},
        // Page 2 of 23 albums never comes: the first 20 are shown, the status says it failed.
        {"2000002", R"({"path": "/albums/get_all*page=2&*", "action": "refuse"})", 20,
         kStatusCatalogueFailed, 4},
        // A hostile total with one album a page: asked no further than 20 a page could hold.
        {"2000002",
         R"({"path": "/albums/get_all*", "action": "body", "body": )"
         R"("{\"result\":true,\"data\":{\"total\":209,\"album_list\":[{\"caption\":\"x\"}]}}"})",
         12, kStatusCatalogueDone, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(standin::Reset());
        SignIn();
        ASSERT_TRUE(standin::AddFault(c.fault));
        EXPECT_EQ(Analyse(JoinTexts("http://weibo.com/u/", c.owner)), c.status);
        view.OnWindow([&] {
            EXPECT_EQ(view.items.size(), c.items);
            EXPECT_EQ(view.covers.size(), c.items);
        });
        EXPECT_EQ(Logged("?path=/albums/get_all", "/albums/get_all"), c.requests);
    }
}

TEST_F(CatalogueRecoveryTest, ARetiredAnalysisNeverOverwritesTheNewerOwner) {
    SignIn();
    // The first analysis is still waiting for its page when the second one starts and ends.
    ASSERT_TRUE(standin::AddFault(
        R"({"host": "weibo.com", "path": "/u/2000002*", "action": "delay", "delay_ms": 3000})"));
    view.OnWindow([&] {
        view.homeAddress = "http://weibo.com/u/2000002";
        StartAnalysis(app);
    });
    ASSERT_TRUE(WaitForLogged("?host=weibo.com&path=/u/2000002", "/u/2000002", 1));
    EXPECT_EQ(Analyse("http://weibo.com/u/1000001"), kStatusCatalogueDone);
    // Both analyses are over, the retired one having seen its page at last.
    ASSERT_TRUE(app.AnalysisFlow().JoinAll(60000));
    view.OnWindow([&] {
        const OwnerProfile owner = app.Owner().Get();
        EXPECT_EQ(owner.ownerId, "1000001");
        EXPECT_EQ(owner.albums.size(), view.items.size());
    });
}

}  // namespace
