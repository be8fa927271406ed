// Download runs against a service that fails, pushes back or goes silent: nothing is lost or
// reported complete when it was not.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/album_catalogue.h"
#include "app/commands.h"
#include "app/download/download_driver.h"
#include "app/download/run_progress.h"
#include "app/error_texts.h"
#include "app/download/file_naming.h"
#include "app/download/long_path.h"
#include "app/signin/saved_signin.h"
#include "app/service/service_client.h"
#include "app/templates.h"
#include "app/texts.h"
#include "app_test_support.h"
#include "common/standin.h"
#include "fake_view.h"
#include "text/text_helpers.h"

namespace {

using apptest::CountInLog;
using apptest::FilesIn;

// Owner 6006: albums of 40 and 70 generated photos.
const char kScenario[] = R"({
  "name": "faults", "viewer": "1000001",
  "owners": [
    {"id": "1000001", "nick": "viewer", "avatar": "//tva1.sinaimg.cn/large/av_1.jpg", "albums": []},
    {"id": "6006", "nick": "Pushy", "avatar": "//tva1.sinaimg.cn/large/av_6006.jpg", "albums": [
      {"id": "81", "caption": "Forty", "generate_photos": 40},
      {"id": "82", "caption": "Seventy", "generate_photos": 70}
    ]}
  ]
})";

bool StartsWith(const Text& text, const Text& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class DownloadFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(standin::Reset());
        ASSERT_TRUE(standin::LoadScenarioJson(kScenario));
        ASSERT_TRUE(app.Start());
        app.Settings().SetSaveFolder(scratch.Path());
        app.Login().SetCookies(standin::IssueSession());
        view.OnWindow([&] {
            view.homeAddress = "http://weibo.com/u/6006";
            StartAnalysis(app);
        });
        ASSERT_TRUE(view.WaitFor([&] {
            return std::find(view.statuses.begin(), view.statuses.end(),
                             Text(kStatusCatalogueDone)) != view.statuses.end();
        }));
        ASSERT_EQ(view.items.size(), 2u);
        ASSERT_TRUE(standin::ClearLog());
    }
    void TearDown() override {
        view.EndQueue();  // queued calls refer to the state, which goes first
        app.Client().SetPictureSilenceMs(kPictureSilenceMs);
        app.Shutdown();
        EXPECT_TRUE(app.WaitForThreads(120000));
    }

    // Starts a run for the album item and returns its final status.
    Text Download(int item) {
        view.OnWindow([&] {
            view.statuses.clear();
            view.taskbar.clear();
            view.selected = item;
            RunCommand(app, kCmdDownloadSelected);
        });
        Text final;
        EXPECT_TRUE(view.WaitFor([&] {
            for (const Text& s : view.statuses) {
                if (StartsWith(s, apptest::Head(kFinished)) ||
                    StartsWith(s, apptest::Head(kIncomplete)) ||
                    StartsWith(s, apptest::Head(kLimitEnded)))
                    final = s;
            }
            return !final.empty();
        }));
        return final;
    }
    // Each case of a table downloads into a save folder of its own.
    void FreshSaveFolder(int index) {
        saveFolder = scratch.Path() + "case" + std::to_string(index) + "\\";
        ASSERT_TRUE(apptest::MakeFolder(saveFolder));
        app.Settings().SetSaveFolder(saveFolder);
    }
    Text AlbumFolder(const char* caption) const { return saveFolder + "Pushy\\" + caption + "\\"; }

    apptest::ScratchFolder scratch;
    Text saveFolder = scratch.Path();
    FakeView view;
    AppState app{view};
};

TEST(FinalStatusText, NamesWhatIsMissingAndStaysAsItWasWhenNothingIs) {
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{70, 70, 0, 70, false})),
              "  状态:全部下载完成,当前已下载 70张 共 70张 请单击鼠标右键打开目录;");
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{38, 38, 0, 70, true})),
              "  状态:下载未完成,当前已下载 38张 共 70张;32张未能获取列表,0张下载失败;"
              "请单击鼠标右键打开目录;");
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{0, 0, 0, 0, true})),
              "  状态:下载未完成,当前已下载 0张 共 0张;照片列表未能获取完整,0张下载失败;"
              "请单击鼠标右键打开目录;");
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{39, 40, 1, 40, false})),
              "  状态:下载未完成,当前已下载 39张 共 40张;0张未能获取列表,1张下载失败;"
              "请单击鼠标右键打开目录;");
    // Pictures already there count as downloaded and are named.
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{70, 70, 0, 70, false, false, 65})),
              "  状态:全部下载完成,当前已下载 70张 共 70张(已有 65张) 请单击鼠标右键打开目录;");
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{39, 40, 1, 40, false, false, 7})),
              "  状态:下载未完成,当前已下载 39张 共 40张(已有 7张);0张未能获取列表,1张下载失败;"
              "请单击鼠标右键打开目录;");
    // Photos the service removed are named and lack nothing: they can never be written.
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{38, 40, 0, 40, false, false, 7, 2})),
              "  状态:全部下载完成,当前已下载 38张 共 40张(已有 7张)(服务已删除 2张) "
              "请单击鼠标右键打开目录;");
    // A whole account: written and already there apart; what is missing, and in how many albums
    // (one listed in part, one never listed, one with a failure; the complete ones not counted).
    const RunTally whole{32, 32, 0, 32, false, false, 30};
    const RunTally empty{0, 0, 0, 0, false, false, 0};
    EXPECT_EQ(
        AnsiToUtf8(AccountStatus({whole, empty, whole, RunTally{4, 5, 0, 5, false, false, 0, 1}})),
        "  状态:全部相册下载完成,共 4个相册,新下载 8张,已有 60张(服务已删除 1张) "
        "请单击鼠标右键打开目录;");
    EXPECT_EQ(AnsiToUtf8(AccountStatus({whole, RunTally{38, 38, 0, 70, true, false, 0},
                                        RunTally{0, 0, 0, 5, true, false, 0},
                                        RunTally{39, 40, 1, 40, false, false, 9}})),
              "  状态:全部相册下载未完成,共 4个相册,新下载 70张,已有 39张;3个相册缺少 38张;"
              "请单击鼠标右键打开目录;");
    // An album with no count known is incomplete without one; a limit that ended the run shows.
    const RunTally unknown{0, 0, 0, 0, true, false, 0};
    EXPECT_EQ(AnsiToUtf8(AccountStatus({whole, unknown})),
              "  状态:全部相册下载未完成,共 2个相册,新下载 2张,已有 30张;"
              "1个相册照片列表未能获取完整;请单击鼠标右键打开目录;");
    EXPECT_EQ(AnsiToUtf8(AccountStatus({whole, RunTally{0, 0, 0, 5, true}, unknown}, true)),
              "  状态:服务器长时间限制访问,下载已停止,共 3个相册,新下载 2张,已有 30张;"
              "1个相册缺少 5张;1个相册照片列表未能获取完整;再次下载全部相册即可继续;");
    EXPECT_EQ(AnsiToUtf8(FinalStatus(RunTally{10, 32, 22, 70, true, true})),
              "  状态:服务器长时间限制访问,下载已停止,当前已下载 10张 共 70张;60张未下载;"
              "再次下载该相册即可继续;");
}

TEST(RetryAfter, SecondsOrAnHttpDateWithinBounds) {
    const SYSTEMTIME now{2026, 12, 1, 7, 14, 0, 0, 0};
    EXPECT_EQ(RetryAfterMs("5", now), 5000u);
    EXPECT_EQ(RetryAfterMs("0000000005", now), 5000u);
    EXPECT_EQ(RetryAfterMs(" 0 ", now), 1000u);  // never a busy loop
    EXPECT_EQ(RetryAfterMs("99999999999999999999", now), 600000u);
    EXPECT_EQ(RetryAfterMs("Mon, 07 Dec 2026 14:00:30 GMT", now), 30000u);
    EXPECT_EQ(RetryAfterMs("Mon, 07 Dec 2026 13:00:00 GMT", now), 1000u);  // already past
    EXPECT_FALSE(RetryAfterMs("", now));
    EXPECT_FALSE(RetryAfterMs("soon", now));
    EXPECT_FALSE(RetryAfterMs("at 10:00", now));
    EXPECT_FALSE(RetryAfterMs("Mon, 07 Dez 2026 14:00:30 GMT", now));
    EXPECT_TRUE(IsRateLimited(418, ""));
    EXPECT_TRUE(IsRateLimited(503, "10"));
    EXPECT_TRUE(IsRateLimited(432, ""));
    EXPECT_FALSE(IsRateLimited(404, ""));
    EXPECT_FALSE(IsRateLimited(200, "10"));
}

// Listing pages that fail are asked again; what still could not be listed is counted against
// the album's own total, and a hostile total costs no run of empty pages.
TEST_F(DownloadFaultTest, ListingFailuresAreRetriedAndNeverReportedComplete) {
    const char* const page2 = "/photos/get_all?uid=6006&album_id=82&count=32&page=2&*";
    const struct {
        const char* name;
        Text fault;
        RunTally tally;
        int page2Asks;
    } cases[] = {
        {"page two never comes",
         R"({"host":"photo.weibo.com","path":")" + Text(page2) +
             R"(","action":"status","status":500})",
         {38, 38, 0, 70, true},
         3},
        {"page two answers 500 with a page in it",
         R"({"host":"photo.weibo.com","path":")" + Text(page2) +
             R"(","action":"status","status":500,"body":)"
             R"("{\"result\":true,\"data\":{\"total\":70,\"photo_list\":[]}}"})",
         {38, 38, 0, 70, true},
         3},
        {"page two comes on its third ask",
         R"({"host":"photo.weibo.com","path":")" + Text(page2) + R"(","action":"reset","count":2})",
         {70, 70, 0, 70, false},
         3},
        // The album list's count stands for the total the first page never brought.
        {"no page ever parses",
         R"({"host":"photo.weibo.com","action":"malformed"})",
         {0, 0, 0, 70, true},
         0},
        {"the total is hostile",
         R"({"host":"photo.weibo.com","action":"body","count":1,"body":)"
         R"("{\"result\":true,\"data\":{\"total\":100000,\"photo_list\":[]}}"})",
         {70, 70, 0, 100000, false},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshSaveFolder(static_cast<int>(&c - cases));
        ASSERT_TRUE(standin::ClearFaults());
        ASSERT_TRUE(standin::ClearLog());
        ASSERT_TRUE(standin::AddFault(c.fault));
        EXPECT_EQ(Download(1), FinalStatus(c.tally));
        const std::string log = standin::ReadLog("?path=/photos/get_all");
        EXPECT_EQ(CountInLog(log, "album_id=82&count=32&page=2&"), c.page2Asks);
        // Three pages, an empty fourth and the few asked for beside it at most, never thousands.
        EXPECT_EQ(CountInLog(log, "&page=" + std::to_string(4 + kListingWorkers) + "&"), 0);
        EXPECT_EQ(static_cast<int>(FilesIn(AlbumFolder("Seventy")).size()), c.tally.downloaded);
    }
}

// The service limits the picture or the photo host for 3 s: every worker pauses together, the
// status says so, and afterwards every photo is written and counted.
TEST_F(DownloadFaultTest, ARateLimitPausesTheRunAndLosesNothing) {
    const struct {
        const char* host;
        int status;
        const char* retryAfter;
        int startsAfter;
    } cases[] = {
        {"wx*.sinaimg.cn", 418, nullptr, 10}, {"wx*.sinaimg.cn", 418, "1", 10},
        {"wx*.sinaimg.cn", 429, nullptr, 10}, {"wx*.sinaimg.cn", 429, "1", 10},
        {"photo.weibo.com", 429, nullptr, 1}, {"wx*.sinaimg.cn", 414, nullptr, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + std::to_string(c.status) + " " +
                     (c.retryAfter ? c.retryAfter : "-"));
        FreshSaveFolder(static_cast<int>(&c - cases));
        ASSERT_TRUE(standin::ClearFaults());
        ASSERT_TRUE(standin::ClearLog());
        app.Client().PicturePace().Forget();  // each limit as a new window meets it
        app.Client().ListingPace().Forget();
        Text rule = R"({"host":")" + Text(c.host) + R"(","action":"limit","ms":3000,"status":)" +
                    std::to_string(c.status) + R"(,"after_requests":)" +
                    std::to_string(c.startsAfter);
        if (c.retryAfter) rule += R"(,"retry_after":")" + Text(c.retryAfter) + "\"";
        ASSERT_TRUE(standin::AddFault(rule + "}"));

        const DWORD began = GetTickCount();
        EXPECT_EQ(Download(0), FinishedStatus(40, 40));
        const DWORD took = GetTickCount() - began;
        EXPECT_EQ(FilesIn(AlbumFolder("Forty")).size(), 40u);
        const std::string log = standin::ReadLog();
        const int limited = CountInLog(log, "\"fault\":\"limit\"");
        // For the record, not a limit: what the pause cost.
        std::printf(
            "%s %d for 3 s, Retry-After %s: %d requests met the limit, %lu ms to the "
            "final status\n",
            c.host, c.status, c.retryAfter ? c.retryAfter : "none", limited, took);
        // The five workers' requests already on their way, then one probe at a time, at most
        // one a second while the limit lasts.
        EXPECT_GE(limited, 1);
        EXPECT_LE(limited, 5 + 4) << log;
        // A 3 s limit costs a pause or two of 2 and 4 s; pauses opened by every worker that met
        // it would double up to 32 s.
        EXPECT_LT(took, 25000u);
        // The pause was shown and the progress came back after it.
        int paused = -1;
        for (int i = 0; i < static_cast<int>(view.statuses.size()); ++i)
            if (StartsWith(view.statuses[i], apptest::Head(kPaused))) paused = i;
        ASSERT_GE(paused, 0);
        EXPECT_TRUE(
            std::any_of(view.statuses.begin() + paused, view.statuses.end(),
                        [](const Text& s) { return StartsWith(s, apptest::Head(kProgress)); }));
        EXPECT_TRUE(std::any_of(view.taskbar.begin(), view.taskbar.end(), [](const auto& call) {
            return call.state == AppView::Progress::kPaused;
        }));
    }
}

// A service that never stops limiting ends the run at the bound, even inside a pause it asked
// to last ten minutes: the status says what is missing and the buttons come back.
TEST_F(DownloadFaultTest, ALimitThatOutlastsTheBoundEndsTheRunAndSaysWhatIsMissing) {
    // Shortened as the end-to-end tests shorten it: from the environment, read at start.
    SetEnvironmentVariableW(L"PICTALON_LIMIT_BOUND_MS", L"2900");
    ApplyStartSettings(app);
    SetEnvironmentVariableW(L"PICTALON_LIMIT_BOUND_MS", nullptr);
    ASSERT_TRUE(standin::AddFault(R"({"host":"wx*.sinaimg.cn","action":"limit","ms":600000,)"
                                  R"("status":429,"after_requests":10,"retry_after":"600"})"));
    const DWORD began = GetTickCount();
    EXPECT_EQ(Download(0), FinalStatus(RunTally{10, 40, 30, 40, false, true}));
    EXPECT_GE(GetTickCount() - began, 2000u);  // never before the bound
    EXPECT_EQ(FilesIn(AlbumFolder("Forty")).size(), 10u);
    view.OnWindow([&] { EXPECT_TRUE(view.buttonsEnabled.back()); });
}

// The service stops taking the sign-in in the middle of a run, in each way it says so: the run
// waits, counting nothing failed, while the login page asks for a new scan; then it lists and
// fetches the rest with the new sign-in, which is kept for the next start.
TEST_F(DownloadFaultTest, ARunWhoseSignInExpiresWaitsForANewScanAndEndsWhole) {
    const apptest::ScratchFolder store;
    app.UseSignInStore(SavedSignIn(AnsiToWide(store.Path())));
    const Text page3 = R"("host":"photo.weibo.com","path":"*album_id=82&count=32&page=3&*")";
    const struct {
        const char* name;
        const char* knobs;
        Text fault;
    } cases[] = {
        {"the sessions expire", R"({"expire_after_listings": 2})", ""},
        {"a login answer", "{}",
         "{" + page3 + R"(,"action":"body","count":1,"body":)" +
             R"("{\"ok\":-100,\"url\":\"https://passport.weibo.com/visitor/visitor\"}"})"},
        {"a 432 that outlasts its pause", "{}",
         "{" + page3 + R"(,"action":"status","status":432,"count":2})"},
        // A shape no rule knows: the viewer page tells.
        {"an unknown shape", R"({"expire_after_listings": 2, "signed_out_shape": "unknown"})", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshSaveFolder(static_cast<int>(&c - cases));
        ASSERT_TRUE(standin::ClearFaults());
        ASSERT_TRUE(standin::ClearLog());
        ASSERT_TRUE(standin::SetKnobs(c.knobs));
        if (!c.fault.empty()) {
            ASSERT_TRUE(standin::AddFault(c.fault));
        }
        ASSERT_TRUE(standin::SetQrSequence({"confirmed"}));
        const Text before = app.Login().Cookies();
        view.OnWindow([&] { view.page = AppView::Page::kOperate; });

        EXPECT_EQ(Download(1), FinishedStatus(70, 70));
        EXPECT_EQ(FilesIn(AlbumFolder("Seventy")).size(), 70u);
        const Text renewed = app.Login().Cookies();
        EXPECT_NE(renewed, before);
        EXPECT_EQ(app.SignInStore().Load(), renewed);
        view.OnWindow([&] {
            EXPECT_TRUE(std::find(view.statuses.begin(), view.statuses.end(),
                                  Text(kStatusSignInExpired)) != view.statuses.end());
            EXPECT_EQ(view.page, AppView::Page::kOperate);
        });
        // The run went on where it stopped: the first page was not listed again.
        EXPECT_EQ(CountInLog(standin::ReadLog("?path=/photos/get_all"), "&page=1&"), 1);
    }
}

// A picture host that sends the headers and then nothing costs that photo its tries, never the
// run: the others are written and no partial file is left.
TEST_F(DownloadFaultTest, AStalledPictureIsGivenUpAndTheRunEnds) {
    app.Client().SetPictureSilenceMs(1000);
    ASSERT_TRUE(standin::AddFault(
        R"({"host":"wx*.sinaimg.cn","path":"/mw1024/81_5.jpg","action":"stall","ms":30000})"));
    EXPECT_EQ(Download(0), FinalStatus(RunTally{39, 40, 1, 40, false}));
    const auto files = FilesIn(AlbumFolder("Forty"));
    EXPECT_EQ(files.size(), 39u);
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(name.find("81_5"), Text::npos);
        EXPECT_EQ(name.find(".part"), Text::npos);
    }
    // Pictures under way are written beside the album; that folder goes with the run, and it
    // can only go when nothing was left in it.
    EXPECT_FALSE(apptest::FolderExists(AlbumFolder("Forty") + "..\\~pictalon-parts\\"));
    EXPECT_EQ(CountInLog(standin::ReadLog("?path=/mw1024/81_5.jpg"), "/mw1024/81_5.jpg"), 3);
}

// Another window that ends removes the shared folder of pictures under way once it is empty;
// this run's next writes make it again, and nothing is lost.
TEST_F(DownloadFaultTest, PicturesOutliveTheirFolderUnderWayBeingRemoved) {
    ASSERT_TRUE(standin::AddFault(R"({"path": "/mw1024/*", "action": "delay", "delay_ms": 200})"));
    const WideText parts = AnsiToWide(saveFolder + "Pushy\\~pictalon-parts");
    std::atomic<bool> removed{false}, over{false};
    // Once: each job tries a write twice more, so a single removal can never cost a picture.
    std::thread otherWindow([&] {
        while (!over && !removed) {
            removed = RemoveDirectoryW(WinStr(parts)) != FALSE;
            Sleep(1);
        }
    });
    EXPECT_EQ(Download(0), FinishedStatus(40, 40));
    over = true;
    otherWindow.join();
    EXPECT_TRUE(removed);
    EXPECT_EQ(FilesIn(AlbumFolder("Forty")).size(), 40u);
}

// Every photo fails the same way when the album folder cannot be made: one box, every photo
// counted, and the run reaches its final status.
TEST_F(DownloadFaultTest, AnUnusableFolderShowsOneBoxAndCountsEveryPhoto) {
    app.Settings().SetSaveFolder(scratch.Path() + "gone\\");
    saveFolder = scratch.Path() + "gone\\";
    EXPECT_EQ(Download(0), FinalStatus(RunTally{0, 40, 40, 40, false}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, ErrorTextForCode(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(StartsWith(view.boxes[0].title, "[")) << view.boxes[0].title;
}

// The window thread lags behind the workers: they only post to it and never wait, one progress
// update of the run is on its way at a time, and it shows the counts as they are when it runs.
TEST_F(DownloadFaultTest, WorkersNeverWaitForABusyWindowAndItsProgressNeverFalls) {
    view.QueueCalls();
    view.HoldWindow();
    view.OnWindow([&] {
        view.statuses.clear();
        view.selected = 0;
        RunCommand(app, kCmdDownloadSelected);
    });
    EXPECT_TRUE(view.WaitFor([&] {
        const auto run = app.Runs().Latest();
        return run && run->Tally().downloaded == 40 && app.Downloading().Idle();
    }));
    EXPECT_EQ(FilesIn(AlbumFolder("Forty")).size(), 40u);
    EXPECT_EQ(view.MostPostedWaiting(), 1);
    view.ReleaseWindow();
    ASSERT_TRUE(view.WaitFor([&] {
        return view.statuses.size() >= 2 && view.statuses.back() == FinishedStatus(40, 40);
    }));
    // The update that waited through the whole run shows where the run stood when it ran.
    EXPECT_EQ(view.statuses[view.statuses.size() - 2], ProgressStatus(40, 40));
}

// A write error's box waits for the user on the window thread; the run's later photos do not.
TEST_F(DownloadFaultTest, LaterPhotosAreWrittenWhileTheWriteErrorBoxIsOpen) {
    view.QueueCalls();
    view.HoldBoxes();
    ASSERT_TRUE(apptest::MakeFolder(saveFolder + "Pushy\\"));
    ASSERT_TRUE(apptest::MakeFolder(AlbumFolder("Forty")));
    const Text blocked = PictureFileName(1500000000, "Forty 1", "81_1.jpg");
    ASSERT_TRUE(apptest::MakeFolder(AlbumFolder("Forty") + blocked));
    EXPECT_EQ(Download(0), FinalStatus(RunTally{39, 40, 1, 40, false}));
    EXPECT_EQ(view.OpenBoxes(), 1);
    EXPECT_EQ(FilesIn(AlbumFolder("Forty")).size(), 39u);
    view.ReleaseBoxes();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].title, blocked);
}

// The taskbar follows the run: normal until a photo fails, the error state from then on with
// counts that never fall, and cleared at the end.
TEST_F(DownloadFaultTest, TheTaskbarTurnsToErrorAtTheFailureAndClearsAtTheEnd) {
    ASSERT_TRUE(standin::AddFault(
        R"({"host":"wx*.sinaimg.cn","path":"/mw1024/81_20.jpg","action":"status","status":404})"));
    Download(0);
    const auto& calls = view.taskbar;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back().state, AppView::Progress::kNone);
    const auto last = calls[calls.size() - 2];
    EXPECT_EQ(last.state, AppView::Progress::kError);
    EXPECT_EQ(last.done, 40);
    EXPECT_EQ(last.total, 40);
    bool failed = false;
    for (size_t i = 0; i + 1 < calls.size(); ++i) {
        failed = failed || calls[i].state == AppView::Progress::kError;
        EXPECT_EQ(calls[i].state, failed ? AppView::Progress::kError : AppView::Progress::kNormal);
        if (i > 0) {
            EXPECT_GE(calls[i].done, calls[i - 1].done);
        }
    }
}

// Paths past 300 characters: the folders, temporary files and renames all work. Wine opens such
// a path in any form, so under Wine this fails only on how the names are made and joined; the
// "\\?\" form Windows needs is asked of the album's path here and checked in full by
// FileSystemPath's own tests.
TEST_F(DownloadFaultTest, AnAlbumUnderADeepSaveFolderIsWrittenWhole) {
    Text deep = scratch.Path();
    for (int level = 0; level < 5; ++level) {
        deep += Text(50, static_cast<char>('a' + level)) + "\\";
        ASSERT_TRUE(apptest::MakeFolder(deep));
    }
    app.Settings().SetSaveFolder(deep);
    EXPECT_EQ(Download(0), FinishedStatus(40, 40));
    const Text album = deep + "Pushy\\Forty\\";
    const auto files = FilesIn(album);
    ASSERT_EQ(files.size(), 40u);
    EXPECT_GT((album + files.begin()->first).size(), 300u);
    EXPECT_EQ(FileSystemPath(album).substr(0, 4), u"\\\\?\\");
}

// A size command between two listing pages is refused: the run keeps its size throughout, and
// the progress it shows never counts backwards.
TEST_F(DownloadFaultTest, TheSizeHoldsBetweenPagesAndCountsNeverFall) {
    ASSERT_TRUE(standin::AddFault(
        R"({"host":"photo.weibo.com","path":"*album_id=82&count=32&page=3&*","action":"delay",)"
        R"("delay_ms":6000})"));
    view.OnWindow([&] {
        view.selected = 1;
        RunCommand(app, kCmdDownloadSelected);
    });
    // Both first pages are downloaded and the pool is idle while page 3 is on its way.
    ASSERT_TRUE(view.WaitFor([&] {
        const auto run = app.Runs().Latest();
        return run && run->Tally().downloaded == 64 && app.Downloading().Idle();
    }));
    view.OnWindow([&] { EXPECT_FALSE(ChooseSize(app, kCmdSizeLarge)); });
    ASSERT_TRUE(view.WaitFor([&] {
        return std::find(view.statuses.begin(), view.statuses.end(), FinishedStatus(70, 70)) !=
               view.statuses.end();
    }));
    for (const auto& [name, bytes] : FilesIn(AlbumFolder("Seventy")))
        EXPECT_NE(bytes.find("mw1024/"), ByteBuffer::npos) << name;
    EXPECT_EQ(standin::ReadLog("?path=/large/").find("/large/"), std::string::npos);
    int lastDone = 0;
    int lastListed = 0;
    for (const Text& s : view.statuses) {
        if (!StartsWith(s, apptest::Head(kProgress))) continue;
        const Text counts = s.substr(apptest::Head(kProgress).size());
        const int done = std::stoi(counts);
        const int listed = std::stoi(counts.substr(counts.find('/') + 1));
        EXPECT_GE(done, lastDone);
        EXPECT_GE(listed, lastListed);
        lastDone = done;
        lastListed = listed;
    }
    EXPECT_EQ(lastDone, 70);
}

}  // namespace
