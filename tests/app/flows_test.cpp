// The application's flows against the stand-in service, with a recording window double.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "app/error_texts.h"
#include "app/service/fetch_gate.h"
#include "app/signin/qr_login.h"
#include "flow_fixture.h"
#include "text/json_document.h"

namespace {

using apptest::Contains;
using apptest::CountInLog;
using apptest::FilesIn;
using apptest::HasText;
using apptest::Shown;
using apptest::Status;

// Index of the first occurrence at or after `from`, or -1.
int IndexOf(const std::vector<Text>& texts, const Text& wanted, int from = 0) {
    for (int i = from; i < static_cast<int>(texts.size()); ++i)
        if (texts[i] == wanted) return i;
    return -1;
}

class FlowTest : public apptest::AppFlowTest {
  protected:
    // The flows below start from a complete catalogue.
    void Analyse(const Text& address) {
        ASSERT_EQ(AppFlowTest::Analyse(address), kStatusCatalogueDone) << Shown(view);
    }
};

// ---------------------------------------------------------------------------------------------
// Login

TEST_F(FlowTest, LoginFollowsTheScanAndEndsSignedInWithTheAvatarShown) {
    ASSERT_TRUE(standin::SetQrSequence({"waiting", "waiting", "scanned", "confirmed"}));
    view.OnWindow([&] { StartQrLogin(app); });
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }))
        << Shown(view);

    const int waiting = IndexOf(view.statuses, Status(kQrWaitingScan));
    const int scanned = IndexOf(view.statuses, Status(kQrScanned));
    ASSERT_GE(waiting, 0);
    EXPECT_GT(scanned, waiting);
    EXPECT_GT(IndexOf(view.statuses, Status(kLoginDone)), scanned);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_NE(app.Login().Cookies().find("SUB="), Text::npos) << app.Login().Cookies();
    // The QR code came first and the avatar replaced it.
    ASSERT_GE(view.loginPictures.size(), 2u);
    EXPECT_TRUE(HasText(view.loginPictures.front(), "qrcode/"));
    EXPECT_TRUE(HasText(view.loginPictures.back(), "av_"));
    // The login cookies went to the main site over https only.
    const std::string log = standin::ReadLog("?host=weibo.com");
    EXPECT_GT(CountInLog(log, "\"scheme\":\"https\""), 0) << log;
    EXPECT_EQ(CountInLog(log, "\"scheme\":\"http\""), 0) << log;
}

TEST_F(FlowTest, AnExpiredCodeIsReplacedAtOnceAndAScannedOneIsKept) {
    ASSERT_TRUE(standin::SetQrSequence(
        {"waiting", "expired", "scanned", "scanned", "expired", "confirmed"}));
    view.OnWindow([&] { StartQrLogin(app); });
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }));
    EXPECT_TRUE(Contains(view.statuses, Status(kQrExpired)));
    // The first code, one per expiry, then the avatar; scanning never fetched a new one.
    const std::string issued = standin::Call("GET", "/qr", "").body;
    EXPECT_EQ(CountInLog(standin::ReadLog("?path=/sso/qrcode/image"), "/sso/qrcode/image"),
              static_cast<int>(view.loginPictures.size()) - 1)
        << issued;
}

TEST_F(FlowTest, TooFewCrossDomainAddressesGiveTheCookieBoxAndNoSuccess) {
    ASSERT_TRUE(standin::SetKnobs("{\"cross_domain_count\": 3}"));
    ASSERT_TRUE(standin::SetQrSequence({"confirmed"}));
    view.OnWindow([&] { StartQrLogin(app); });
    ASSERT_TRUE(view.WaitFor([&] { return !view.boxes.empty(); }));
    EXPECT_EQ(view.boxes.front().text, kTestCookiesFalse);
    EXPECT_FALSE(Contains(view.statuses, Status(kLoginDone)));
}

TEST_F(FlowTest, ARefusedCodeIsAskedForAgainUntilTheServiceIssuesOne) {
    // A refusal once ended the login for good, with only a restart to help.
    ASSERT_TRUE(standin::SetQrRefuse("retcode"));
    ASSERT_TRUE(standin::SetQrSequence({"confirmed"}));
    view.OnWindow([&] { StartQrLogin(app, 10); });
    for (int i = 0; i < 3000 && CountInLog(standin::ReadLog("?path=/sso/qrcode/image"),
                                           "/sso/qrcode/image") < 3;
         ++i)
        Sleep(20);
    view.OnWindow([&] {
        EXPECT_TRUE(app.LoginFlow().Running());
        ASSERT_FALSE(view.statuses.empty());
        EXPECT_EQ(view.statuses.back().rfind(JoinTexts(kStatusPrefix, kQrRetryHead), 0), 0u)
            << Shown(view);
        for (const ByteBuffer& picture : view.loginPictures) EXPECT_TRUE(picture.empty());
    });
    ASSERT_TRUE(standin::SetQrRefuse(""));
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }))
        << Shown(view);
    EXPECT_TRUE(view.boxes.empty());
}

// ---------------------------------------------------------------------------------------------
// Analysis

TEST_F(FlowTest, AnalysisListsTheOwnersAlbumsInOrderWithOneCoverEach) {
    SignIn();
    Analyse("http://weibo.com/u/1000001");

    JsonDocument scenario;
    ASSERT_TRUE(scenario.Parse(standin::Call("GET", "/scenario", "").body, true));
    int owner = 0;
    while (scenario.GetText("scenario.owners.[" + std::to_string(owner) + "].id") != "1000001") {
        ASSERT_LT(owner, 10);
        ++owner;
    }
    const Text albums = "scenario.owners.[" + std::to_string(owner) + "].albums";
    const int count = scenario.CountOf(albums);
    ASSERT_GT(count, 1);
    ASSERT_EQ(static_cast<int>(view.items.size()), count);
    ASSERT_EQ(static_cast<int>(view.covers.size()), count);
    std::set<ByteBuffer> distinct(view.covers.begin(), view.covers.end());
    EXPECT_GT(distinct.size(), 1u);
    for (int i = 0; i < count; ++i) {
        const Text at = albums + ".[" + std::to_string(i) + "]";
        EXPECT_EQ(view.items[i].second, i);
        EXPECT_EQ(view.items[i].first.rfind("[" + scenario.GetText(at + ".caption") + "] ", 0), 0u)
            << view.items[i].first;
        EXPECT_EQ(view.items[i].first.substr(view.items[i].first.size() - 2), kPhotosUnit);
    }
    // The typed http address went out over https, with the login cookies.
    const std::string log = standin::ReadLog("?host=weibo.com&path=/u/1000001");
    EXPECT_NE(log.find("\"scheme\":\"https\""), std::string::npos) << log;
    EXPECT_NE(log.find("SUB="), std::string::npos);
    EXPECT_EQ(log.find("\"scheme\":\"http\""), std::string::npos);
}

TEST_F(FlowTest, AnOwnerWithTwentyThreeAlbumsIsListedWhole) {
    SignIn();
    Analyse("http://weibo.com/u/2000002");
    EXPECT_EQ(view.items.size(), 23u);
    EXPECT_EQ(view.covers.size(), 23u);
    EXPECT_EQ(view.items.back().second, 22);
    EXPECT_EQ(app.Owner().Get().albums.size(), 23u);
}

TEST_F(FlowTest, AHostOutsideTheServiceNeverSeesTheLoginCookies) {
    SignIn();
    view.OnWindow([&] {
        view.homeAddress = "http://elsewhere.test/u/1000001";
        StartAnalysis(app);
    });
    ASSERT_TRUE(view.WaitFor([&] { return !app.AnalysisFlow().Running(); }));
    const std::string log = standin::ReadLog("?host=elsewhere.test");
    ASSERT_NE(log.find("/u/1000001"), std::string::npos) << log;
    EXPECT_EQ(log.find("SUB="), std::string::npos) << log;
}

TEST_F(FlowTest, APageWithoutAnOwnerLeavesTheListEmptyAndAsksForNoAlbums) {
    SignIn();
    view.OnWindow([&] {
        view.homeAddress = "http://weibo.com/u/999999999";
        StartAnalysis(app);
    });
    ASSERT_TRUE(view.WaitFor([&] { return !app.AnalysisFlow().Running(); }));
    EXPECT_TRUE(view.items.empty());
    ASSERT_FALSE(view.statuses.empty());
    EXPECT_EQ(view.statuses.back(), kStatusAnalysing);
    EXPECT_EQ(standin::ReadLog("?path=/albums/").find("/albums/"), std::string::npos);
}

TEST_F(FlowTest, ASecondAnalysisShowsOnlyItsOwnAlbums) {
    SignIn();
    // Slow covers keep the first analysis busy while the second starts.
    ASSERT_TRUE(standin::AddFault(
        "{\"host\": \"*.sinaimg.cn\", \"action\": \"delay\", \"delay_ms\": 150}"));
    view.OnWindow([&] {
        view.homeAddress = "http://weibo.com/u/2000002";
        StartAnalysis(app);
    });
    ASSERT_TRUE(view.WaitFor([&] { return view.covers.size() >= 2; }));
    ASSERT_TRUE(standin::ClearFaults());
    Analyse("http://weibo.com/u/1000001");
    // Give the retired analysis time to misbehave if it were going to.
    Sleep(1500);
    view.OnWindow([&] {
        const OwnerProfile owner = app.Owner().Get();
        EXPECT_EQ(view.items.size(), owner.albums.size());
        EXPECT_EQ(view.covers.size(), owner.albums.size());
        EXPECT_LT(owner.albums.size(), 23u);
        EXPECT_EQ(owner.ownerId, "1000001");
    });
}

// ---------------------------------------------------------------------------------------------
// Download

// Owner 5005 with an album of awkward photos, one of 33 plain ones and an empty one.
const char kDownloadScenario[] = R"({
  "name": "download", "viewer": "1000001",
  "owners": [
    {"id": "1000001", "nick": "viewer", "avatar": "//tva1.sinaimg.cn/large/av_1.jpg", "albums": []},
    {"id": "5005", "nick": "Nick/One", "avatar": "//tva1.sinaimg.cn/large/av_5005.jpg",
     "albums": [
      {"id": "71", "caption": "Trip: \u65c5\u884c", "type": 3, "photos": [
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "a1.jpg", "caption": "hello world", "timestamp": 1503392084},
        {"pic_host": "http://wx2.sinaimg.cn", "pic_name": "dup.jpg", "caption": "", "timestamp": 1503392084},
        {"pic_host": "http://wx3.sinaimg.cn", "pic_name": "dup.jpg", "caption": "", "timestamp": 1503392084},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "long.jpg", "caption": "LONGCAPTION", "timestamp": 1503392084},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "r.jpg", "caption": "/\\:*<>|?\" \n", "timestamp": 1503392084},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "nots.jpg", "caption": "t"},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "g.gif", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "j.jpeg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "noext", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "../../evil.bat", "caption": "..\\..\\", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "gone.jpg", "caption": "", "timestamp": 0, "missing": true}
      ]},
      {"id": "72", "caption": "Plain", "type": "x", "generate_photos": 33},
      {"id": "73", "caption": "Empty", "photos": []}
     ]}
  ]
})";

class DownloadTest : public FlowTest {
  protected:
    void SetUp() override {
        FlowTest::SetUp();
        std::string scenario = kDownloadScenario;
        scenario.replace(scenario.find("LONGCAPTION"), 11, std::string(250, 'L'));
        ASSERT_TRUE(standin::LoadScenarioJson(scenario));
        SignIn();
        Analyse("http://weibo.com/u/5005");
        ASSERT_EQ(view.items.size(), 3u);
    }
    Text UserFolder() const { return scratch.Path() + "NickOne\\"; }
    Text AwkwardFolder() const { return UserFolder() + "Trip \xC2\xC3\xD0\xD0\\"; }
};

TEST_F(DownloadTest, EveryPhotoIsWrittenUnderItsComputedNameAtTheChosenSize) {
    const Text final = Download(0);
    const Text t = "[2017.08.22-16.54]";
    const Text zero = "[1970.01.01-08.00]";
    const std::set<Text> expected = {
        t + "helloworld-a1.jpg",
        t + "-dup.jpg",
        t + std::string(200, 'L') + "-long.jpg",
        t + "-r.jpg",
        zero + "t-nots.jpg",
        zero + "-g.gif",
        zero + "-j.jpeg.jpg",
        zero + "-noext.jpg",
        zero + "....-....evil.bat.jpg",
    };
    const auto files = FilesIn(AwkwardFolder());
    std::set<Text> names;
    for (const auto& [name, bytes] : files) names.insert(name);
    EXPECT_EQ(names, expected);
    // Each file is the picture of the default size ("高清").
    for (const auto& [name, bytes] : files) {
        const size_t dash = name.find("-", name.find(']'));
        const Text picName = name.substr(dash + 1);
        EXPECT_TRUE(HasText(bytes, "mw1024/")) << name;
    }
    EXPECT_TRUE(HasText(files.at(t + "helloworld-a1.jpg"), "mw1024/a1.jpg"));
    // 11 listed; "dup" counted twice; the missing picture was tried three times, not written,
    // and the final status names it.
    EXPECT_EQ(final, FinalStatus(RunTally{10, 11, 1, 11, false}));
    EXPECT_EQ(CountInLog(standin::ReadLog("?path=/mw1024/gone.jpg"), "/mw1024/gone.jpg"), 3);
    EXPECT_TRUE(view.boxes.empty());
    ASSERT_FALSE(view.buttonsEnabled.empty());
    EXPECT_FALSE(view.buttonsEnabled.front());
    EXPECT_TRUE(view.buttonsEnabled.back());
    // Nothing escaped the album folder.
    EXPECT_EQ(FilesIn(scratch.Path()).size(), 0u);
    EXPECT_EQ(FilesIn(UserFolder()).size(), 0u);
}

TEST_F(DownloadTest, PagesOfThirtyTwoAreAskedForExactlyAndASecondRunFetchesOnlyWhatIsGone) {
    // Slow pictures, so the workers that could fetch at once all would.
    ASSERT_TRUE(standin::AddFault(R"({"path": "/mw1024/*", "action": "delay", "delay_ms": 150})"));
    const Text first = Download(1);
    EXPECT_EQ(first, FinishedStatus(33, 33));
    const std::string pictures = standin::ReadLog("?path=/mw1024/");
    int most = 0;
    for (size_t at = pictures.find("\"open_pictures\":"); at != std::string::npos;
         at = pictures.find("\"open_pictures\":", at + 1))
        most = std::max(most, std::atoi(pictures.c_str() + at + 16));
    EXPECT_EQ(most, kParallelFetches);
    const std::string log = standin::ReadLog("?path=/photos/get_all");
    const std::string query = "/photos/get_all?uid=5005&album_id=72&count=32&page=";
    EXPECT_EQ(CountInLog(log, query + "1&type=&__rnd=1504068705105"), 1);  // with the total
    EXPECT_EQ(CountInLog(log, query + "2&type=&__rnd=1504068705105"), 1);
    EXPECT_EQ(CountInLog(log, query + "3&"), 0);
    const Text folder = scratch.Path() + "NickOne\\Plain\\";
    const auto files = FilesIn(folder);
    EXPECT_EQ(files.size(), 33u);

    // The folder's record spares every picture still there as written; a removed one comes back.
    ASSERT_TRUE(DeleteFileW(WinStr(AnsiToWide(folder + files.begin()->first))));
    ASSERT_TRUE(standin::ClearLog());
    const Text second = Download(1);
    EXPECT_EQ(second, FinishedStatus(33, 33, 32));
    EXPECT_EQ(apptest::Logged("?path=/mw1024/", "/mw1024/"), 1);
    EXPECT_EQ(FilesIn(folder), files);
}

TEST_F(DownloadTest, EveryAlbumInOneRunCountsWhatIsNewWhatWasThereAndWhatIsMissing) {
    ASSERT_EQ(Download(1), FinishedStatus(33, 33));
    ASSERT_TRUE(standin::ClearLog());
    size_t before = 0;
    size_t taskbarBefore = 0;
    view.OnWindow([&] {
        before = view.statuses.size();
        taskbarBefore = view.taskbar.size();
        RunCommand(app, kCmdDownloadAll);
        RunCommand(app, kCmdDownloadAll);  // refused: a run is under way
    });
    Text final;
    EXPECT_TRUE(view.WaitFor([&] {
        for (size_t i = before; i < view.statuses.size(); ++i)
            if (AnsiToUtf8(view.statuses[i]).find("全部相册下载") != std::string::npos)
                final = view.statuses[i];
        return !final.empty();
    })) << Shown(view);
    // The awkward album's missing picture; the album downloaded before is all there.
    EXPECT_EQ(AnsiToUtf8(final),
              "  状态:全部相册下载未完成,共 3个相册,新下载 10张,已有 33张;1个相册缺少 1张;"
              "请单击鼠标右键打开目录;");
    EXPECT_EQ(apptest::Logged("?path=/photos/get_all", "album_id=72&count=32&page=1&"), 1);
    EXPECT_EQ(apptest::Logged("?path=/mw1024/", "/mw1024/72_"), 0);
    // The first album is named with its place as it begins; the taskbar counts the whole run
    // from the catalogue's counts (11 + 33 + 0), not what is listed so far.
    view.OnWindow([&] {
        const auto named = std::find_if(
            view.statuses.begin() + before, view.statuses.end(), [](const Text& status) {
                return AnsiToUtf8(status).find(" 第 1/3 个相册 Trip") != std::string::npos;
            });
        EXPECT_NE(named, view.statuses.end()) << Shown(view);
        ASSERT_GT(view.taskbar.size(), taskbarBefore);
        EXPECT_EQ(view.taskbar[taskbarBefore].total, 44);
    });
    EXPECT_EQ(FilesIn(AwkwardFolder()).size(), 9u);
    EXPECT_FALSE(apptest::FolderExists(UserFolder() + "~pictalon-parts\\"));
}

TEST_F(DownloadTest, AnEmptyAlbumFinishesAtOnceWithBothFoldersMade) {
    EXPECT_EQ(Download(2), FinishedStatus(0, 0));
    EXPECT_TRUE(apptest::FolderExists(UserFolder() + "Empty\\"));
}

TEST_F(DownloadTest, ASizeCommandDuringARunChangesNothing) {
    ASSERT_TRUE(standin::AddFault(
        "{\"host\": \"wx*.sinaimg.cn\", \"action\": \"delay\", \"delay_ms\": 200}"));
    view.OnWindow([&] {
        view.selected = 1;
        RunCommand(app, kCmdDownloadSelected);
    });
    ASSERT_TRUE(view.WaitFor([&] { return !app.Downloading().Idle(); }));
    view.OnWindow([&] {
        EXPECT_FALSE(ChooseSize(app, kCmdSizeLarge));
        EXPECT_EQ(view.sizeMark, -1);
    });
    ASSERT_TRUE(view.WaitFor([&] { return app.Downloading().Idle(); }));
    EXPECT_EQ(app.Settings().SizeSegment(), "/mw1024/");
}

TEST_F(DownloadTest, DownloadWithNothingSelectedDoesNothing) {
    view.OnWindow([&] {
        view.selected.reset();
        RunCommand(app, kCmdDownloadSelected);
    });
    EXPECT_FALSE(app.DownloadFlow().Running());
    EXPECT_TRUE(view.buttonsEnabled.empty());
}

TEST_F(DownloadTest, AFolderInTheWayGivesTheErrorBoxAndTheRunGoesOn) {
    ASSERT_TRUE(apptest::MakeFolder(UserFolder()));
    ASSERT_TRUE(apptest::MakeFolder(AwkwardFolder()));
    const Text blocked = "[2017.08.22-16.54]helloworld-a1.jpg";
    ASSERT_TRUE(apptest::MakeFolder(AwkwardFolder() + blocked));
    const Text final = Download(0);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].title, blocked);
    EXPECT_FALSE(view.boxes[0].text.empty());
    EXPECT_EQ(final, FinalStatus(RunTally{9, 11, 2, 11, false}));
    // No temporary file is left behind.
    for (const auto& [name, bytes] : FilesIn(AwkwardFolder()))
        EXPECT_EQ(name.find(".part"), Text::npos) << name;
    EXPECT_FALSE(apptest::FolderExists(UserFolder() + "~pictalon-parts\\"));
}

TEST_F(DownloadTest, BrokenAnswersAreTriedAgainAndNeverWritten) {
    ASSERT_TRUE(
        standin::AddFault("{\"path\": \"/mw1024/a1.jpg\", \"action\": \"reset\", \"after\": 10}"));
    ASSERT_TRUE(standin::AddFault(
        "{\"path\": \"/mw1024/noext\", \"action\": \"status\", \"status\": 500, \"count\": 2}"));
    const Text final = Download(0);
    const auto files = FilesIn(AwkwardFolder());
    std::string names;
    for (const auto& [name, bytes] : files) names += name + "\n";
    SCOPED_TRACE(names + standin::Call("GET", "/faults", "").body);
    EXPECT_EQ(files.count("[2017.08.22-16.54]helloworld-a1.jpg"), 0u);
    EXPECT_EQ(files.count("[1970.01.01-08.00]-noext.jpg"), 1u);  // third try succeeded
    EXPECT_EQ(final, FinalStatus(RunTally{9, 11, 2, 11, false}));
    // Failed answers are not write failures: no box. (Two photos sharing a name once raced
    // their renames into an access-denied box here.)
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(DownloadTest, ASecondRunDownloadsTheNewSelectionOnly) {
    // The first run is slow; the second starts before it ends and owns every count it shows.
    ASSERT_TRUE(standin::AddFault(
        "{\"host\": \"wx*.sinaimg.cn\", \"path\": \"/mw1024/72_*\", \"action\": \"delay\", "
        "\"delay_ms\": 300}"));
    view.OnWindow([&] {
        view.selected = 1;
        RunCommand(app, kCmdDownloadSelected);
    });
    ASSERT_TRUE(view.WaitFor([&] { return !app.Downloading().Idle(); }));
    const Text final = Download(0);
    EXPECT_EQ(final, FinalStatus(RunTally{10, 11, 1, 11, false}));
    EXPECT_EQ(FilesIn(AwkwardFolder()).size(), 9u);
    EXPECT_EQ(app.Runs().Latest()->LatestAlbum()->Path(), AwkwardFolder());
    // The retired run never shows its final status after the new one's.
    Sleep(1500);
    view.OnWindow([&] { EXPECT_EQ(view.statuses.back(), final); });
}

}  // namespace
