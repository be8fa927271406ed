// What a run must refuse: an album number the catalogue does not hold, picture answers that are
// not a plain 200, and the end of a pause on word from hosts that did not ask for it; and where
// "打开目录" and the program's own folder point.
#include <windows.h>
// After windows.h, which they rely on.
#include <commctrl.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "app/service/backoff.h"
#include "app/folder_commands.h"
#include "app/service/service_client.h"
#include "flow_fixture.h"

namespace {

using namespace apptest;

const char kGuardScenario[] = R"({
  "name": "guards", "viewer": "1000001",
  "owners": [
    {"id": "1000001", "nick": "viewer", "albums": [
      {"id": "81", "caption": "Four", "photos": [
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "ok.jpg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "s203.jpg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "s206.jpg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "s304.jpg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "html.jpg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "json.jpg", "caption": "", "timestamp": 0},
        {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "none.jpg", "caption": "", "timestamp": 0}
      ]}
    ]}
  ]
})";

class DownloadGuardTest : public AppFlowTest {
  protected:
    void SetUp() override {
        AppFlowTest::SetUp();
        ASSERT_TRUE(standin::LoadScenarioJson(kGuardScenario));
        SignIn();
        ASSERT_EQ(Analyse("http://weibo.com/u/1000001"), kStatusCatalogueDone);
        ASSERT_EQ(view.items.size(), 1u);
    }
};

// Nor is a 200 whose bytes are a page, an error or nothing: the log says what came instead.
TEST_F(DownloadGuardTest, AnAnswerThatIsNotAPlain200WithAPictureIsNeverWritten) {
    // Only this run's lines: the log outlives the tests before and earlier processes.
    DeleteFileW(WinStr(app.Log().Path()));
    for (const char* status : {"203", "206", "304"}) {
        ASSERT_TRUE(standin::AddFault(JoinTexts(R"({"path": "/mw1024/s)", status,
                                                R"(.jpg", "action": "status", "status": )", status,
                                                R"(, "body": "not the picture"})")));
    }
    ASSERT_TRUE(standin::AddFault(R"({"path": "/mw1024/html.jpg", "action": "body",
        "content_type": "image/jpeg", "body": "<!DOCTYPE html><html>busy</html>"})"));
    ASSERT_TRUE(standin::AddFault(R"({"path": "/mw1024/json.jpg", "action": "body",
        "body": "{\"ok\":0,\"msg\":\"system busy\"}"})"));
    ASSERT_TRUE(standin::AddFault(R"({"path": "/mw1024/none.jpg", "action": "empty"})"));
    RunTally tally;
    tally.downloaded = 1;
    tally.listed = 7;
    tally.failed = 6;
    tally.albumTotal = 7;
    EXPECT_EQ(Download(0), FinalStatus(tally));
    const auto files = FilesIn(scratch.Path() + "viewer\\Four\\");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, "[1970.01.01-08.00]-ok.jpg");
    for (const char* name : {"s203", "s206", "s304", "html", "json", "none"})
        EXPECT_EQ(Logged("?path=/mw1024/", JoinTexts("\"path\":\"/mw1024/", name, ".jpg\"")), 3)
            << name;
    const Text logPath = WideToAnsi(app.Log().Path());
    const ByteBuffer log = FilesIn(logPath.substr(0, logPath.rfind('\\') + 1))["pictalon.log"];
    for (const char* came : {"status 200, not what was asked for: HTML page, 32 bytes; try 1 of 3, "
                             "asking again in 300 ms",
                             "status 200, not what was asked for: JSON, 28 bytes: {\"ok\":0,",
                             "status 200, not what was asked for: no bytes; try 3 of 3, giving up",
                             "/mw1024/s304.jpg -> status 304; try 2 of 3,"})
        EXPECT_NE(log.find(came), ByteBuffer::npos) << came;
}

TEST_F(DownloadGuardTest, AnAlbumNumberOutOfRangeShowsItsBoxAndGivesTheButtonsBack) {
    view.OnWindow([&] {
        view.selected = 1;  // the catalogue holds one album
        RunCommand(app, kCmdDownloadSelected);
    });
    ASSERT_TRUE(
        view.WaitFor([&] { return !view.boxes.empty() && view.buttonsEnabled.size() >= 2; }));
    view.OnWindow([&] {
        EXPECT_EQ(view.boxes[0].text, kOutOfRange);
        EXPECT_EQ(view.boxes[0].title, kInfoTitle);
        EXPECT_EQ(view.buttonsEnabled, std::vector<bool>({false, true}));
        // Over, so the next command is not refused as a run under way.
        EXPECT_FALSE(app.Runs().UnderWay());
    });
}

// The text of the item selected in the folder chooser's tree.
std::wstring SelectedInTree(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM found) {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (std::wstring(name) != WC_TREEVIEWW) return TRUE;
            *reinterpret_cast<HWND*>(found) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tree));
    if (!tree) return std::wstring();
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetSelection(tree);
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (!item.hItem || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return std::wstring();
    return text;
}

// The folder the user picks in the chooser is kept for the next run and shown at once.
TEST_F(DownloadGuardTest, TheChosenSaveFolderIsKeptAndShown) {
    const Text wanted = scratch.Path() + "picked";
    ASSERT_TRUE(MakeFolder(wanted));
    std::thread chooser([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        view.OnWindow([&] { RunCommand(app, kCmdBrowse); });
        CoUninitialize();
    });
    // The chooser takes a selection only once its tree is filled: ask until it shows. Only a
    // file-system folder can be chosen: on the computer itself OK goes grey.
    LPITEMIDLIST computer = nullptr;
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    HWND dialog = nullptr;
    bool greyed = false;
    for (int i = 0; i < 1500 && !greyed; ++i) {
        Sleep(20);
        dialog = FindWindowW(L"#32770", nullptr);
        if (dialog)
            SendMessageW(dialog, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(computer));
        greyed = dialog && !IsWindowEnabled(GetDlgItem(dialog, IDOK));
    }
    ILFree(computer);
    EXPECT_TRUE(greyed);
    const WideText path = AnsiToWide(wanted);
    for (int i = 0; i < 1500 && SelectedInTree(dialog) != L"picked"; ++i) {
        Sleep(20);
        dialog = FindWindowW(L"#32770", nullptr);
        if (dialog)
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(WinStr(path)));
    }
    EXPECT_EQ(SelectedInTree(dialog), L"picked");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    chooser.join();
    EXPECT_EQ(app.Settings().SaveFolder(), wanted + "\\");
    EXPECT_EQ(view.shownFolder, wanted + "\\");
}

TEST(OpenFolder, NothingBeforeARunThenTheLatestAlbumFolderWithoutTrailingBlanks) {
    RunBoard runs;
    EXPECT_EQ(FolderToOpen(runs), "");
    auto run = runs.Begin(std::make_shared<FlowToken>(), PictureSize::kHigh);
    EXPECT_EQ(FolderToOpen(runs), "");            // begun, but its folder is not made yet
    const Text album = "D:\\\xCF\xE0\xB2\xE1\\";  // D:\相册\ (a trail byte is no blank)
    const Text blanks = JoinTexts(album, "  ", kFullWidthSpace, " ", kFullWidthSpace);
    run->AddAlbum(std::make_shared<AlbumFolder>(blanks, Text(), PictureSize::kHigh));
    EXPECT_EQ(FolderToOpen(runs), album);
    runs.Begin(std::make_shared<FlowToken>(), PictureSize::kHigh)
        ->AddAlbum(std::make_shared<AlbumFolder>("E:\\b\\", Text(), PictureSize::kHigh));
    EXPECT_EQ(FolderToOpen(runs), "E:\\b\\");
}

TEST(ProgramFolder, IsTheProgramPathUpToItsLastSeparatorWithOneBackslash) {
    const struct {
        const char16_t* path;
        const char* folder;
    } cases[] = {
        {u"C:\\Pictalon.exe", "C:\\"},
        {u"C:\\Tools\\Pictalon.exe", "C:\\Tools\\"},
        {u"\\\\server\\share\\Pictalon.exe", "\\\\server\\share\\"},
        {u"D:\\好運\\Pictalon.exe", "D:\\\xBA\xC3\xDF\x5C\\"},  // 運 ends in the byte of "\"
        {u"C:/Tools/Pictalon.exe", "C:/Tools\\"},
        {u"Pictalon.exe", ""},
        {u"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FolderOfProgramPath(c.path), c.folder) << c.folder;
}

// Ends the waits on a back-off long after any pause here would have, so a run stuck paused fails
// instead of hanging.
class StopAfter {
  public:
    StopAfter(FlowToken& token, DWORD ms)
        : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread_([this, &token, ms] {
              if (::WaitForSingleObject(done_.Get(), ms) == WAIT_TIMEOUT) token.RequestStop();
          }) {}
    ~StopAfter() {
        ::SetEvent(done_.Get());
        thread_.join();
    }

  private:
    UniqueHandle done_;
    std::thread thread_;
};

// How far ahead of the local time now the back-off's resume time lies.
long long SecondsToResume(const RateBackoff& backoff) {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    const SYSTEMTIME resume = backoff.ResumeAtLocal();
    FILETIME shown{}, now{};
    if (!SystemTimeToFileTime(&resume, &shown) || !SystemTimeToFileTime(&local, &now)) return -1;
    const auto at = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                      t.dwLowDateTime);
    };
    return (at(shown) - at(now)) / 10000000;
}

TEST(RateBackoff, OnePauseForEveryWorkerThatMetTheLimitAndOnlyItsHostsCanEndIt) {
    using Outcome = RateBackoff::Outcome;
    using Change = RateBackoff::Change;
    RateBackoff backoff;
    FlowToken token;
    StopAfter bound(token, 10000);  // the pauses below last 20 ms
    // Five workers' requests were on their way when the limit came: one pause, not five
    // doubling one after another.
    RateBackoff::Ticket sent[5];
    for (auto& ticket : sent) ticket = backoff.WaitTurn(token);
    EXPECT_EQ(backoff.Report(sent[0], Outcome::kLimited, 20u, "sinaimg.cn"), Change::kPaused);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(backoff.Report(sent[i], Outcome::kLimited, std::nullopt, "sinaimg.cn"),
                  Change::kNone);
    EXPECT_EQ(backoff.PauseCount(), 1);
    // The status line's resume time is the local time now, give or take the pause.
    EXPECT_LT(std::llabs(SecondsToResume(backoff)), 60);
    // The probe meets a reset, which says nothing of the limit: the next request probes again.
    const RateBackoff::Ticket reset = backoff.WaitTurn(token);
    ASSERT_TRUE(reset.granted && reset.probe);
    EXPECT_EQ(backoff.Report(reset, Outcome::kFailed), Change::kNone);
    // A page from the photo host answers the probe: the picture hosts may still be limiting.
    const RateBackoff::Ticket page = backoff.WaitTurn(token);
    ASSERT_TRUE(page.granted && page.probe);
    EXPECT_EQ(backoff.Report(page, Outcome::kThrough, std::nullopt, "photo.weibo.com"),
              Change::kNone);
    EXPECT_TRUE(backoff.Paused());
    // The next request probes at once, and a picture that comes through ends the pause.
    const RateBackoff::Ticket picture = backoff.WaitTurn(token);
    ASSERT_TRUE(picture.granted && picture.probe);
    EXPECT_EQ(backoff.Report(picture, Outcome::kThrough, std::nullopt, "sinaimg.cn"),
              Change::kResumed);
    EXPECT_FALSE(backoff.Paused());
    const RateBackoff::Ticket after = backoff.WaitTurn(token);
    EXPECT_TRUE(after.granted && !after.probe);
    EXPECT_EQ(backoff.Report(after, Outcome::kThrough, std::nullopt, "sinaimg.cn"), Change::kNone);
    EXPECT_EQ(backoff.PauseCount(), 1);
    // Without Retry-After: a probe sent into the ban doubles the 2-s pause, and the 4 s that
    // outlasted it are where the next limit's pause starts.
    FlowToken slow;
    StopAfter slowBound(slow, 60000);
    EXPECT_EQ(backoff.Report(backoff.WaitTurn(slow), Outcome::kLimited), Change::kPaused);
    EXPECT_LE(SecondsToResume(backoff), 2);
    const ULONGLONG pausedAt = GetTickCount64();
    const RateBackoff::Ticket probe = backoff.WaitTurn(slow);
    EXPECT_GE(GetTickCount64() - pausedAt, 1900u);  // nobody probes before the pause ends
    EXPECT_EQ(backoff.Report(probe, Outcome::kLimited), Change::kPaused);
    EXPECT_EQ(backoff.Report(backoff.WaitTurn(slow), Outcome::kThrough), Change::kResumed);
    EXPECT_EQ(backoff.Report(backoff.WaitTurn(slow), Outcome::kLimited), Change::kPaused);
    EXPECT_GE(SecondsToResume(backoff), 3);
}

TEST(RateBackoff, APaceHalvesWhatTheServiceLetThroughAndCreepsBackBelowTheRateThatDrewIt) {
    using std::chrono::milliseconds;
    const struct {
        int apartMs, pauseMs, through;  // the burst's starts; the pause its limit drew; then
        double rate;                    // requests through; the pace then
        int idleMs;                     // later, a second start after this gap or at its turn
    } cases[] = {
        {10, 2920, 2, 2.25, 0},     // 9 let through over 3 s, halved, and two quarters of that
        {10, 2920, 2, 2.25, 4000},  // a limit after a gap: the service let one through in 4 s
        {10, 5920, 2, 1.125, 0},    // a longer ban lets less through
        {0, 0, 0, 50.0, 0},         // starts too close to measure count as the fastest
        {40000, 3990, 0, 0.25, 0},  // a quiet while apart: only the last start is the burst
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.apartMs << " ms apart, " << c.through << " through");
        Pace pace;
        const Pace::Clock::time_point t0 = Pace::Clock::time_point{} + std::chrono::hours(1);
        for (int i = 0; i < 8; ++i) pace.Through(pace.Take(t0 + milliseconds(c.apartMs * i)));
        const Pace::Turn sent = pace.Take(t0 + milliseconds(c.apartMs * 7 + 1));
        pace.Limited(sent);
        pace.Limited(sent);  // the other requests on their way teach nothing more
        const Pace::Clock::time_point after = t0 + milliseconds(c.apartMs * 7 + c.pauseMs + 10);
        pace.Limited(pace.Take(after - milliseconds(1)));  // nor does a probe sent into the ban
        EXPECT_EQ(pace.Rate(), 0);                         // learnt once one goes through
        pace.Through(pace.Take(after));
        for (int i = 0; i < c.through; ++i) pace.Through(pace.Take(after));
        EXPECT_NEAR(pace.Rate(), c.rate, 1e-9);
        EXPECT_EQ(pace.LimitedRate(), Pace::kFastestRate);
        // An hour later starts keep the pace's gap; a limit met then teaches half the lower of
        // the pace and what the service let through since, and the creep stays below that.
        const Pace::Clock::time_point later = after + std::chrono::hours(1);
        const Pace::Turn first = pace.Take(later);
        const Pace::Turn second = pace.Take(later + milliseconds(c.idleMs));
        const double gap = std::chrono::duration<double>(second.at - first.at).count();
        EXPECT_EQ(first.at, later);
        EXPECT_NEAR(gap, std::max(1 / c.rate, c.idleMs / 1000.0), 1e-6);
        pace.Through(first);
        pace.Limited(second);
        const double drew = std::min(c.rate, 1 / gap);
        EXPECT_NEAR(pace.LimitedRate(), drew, 1e-6);
        EXPECT_NEAR(pace.Rate(), drew / 2, 1e-6);
        pace.Through(pace.Take(second.at));  // the first through after it ends the lesson
        pace.Through(pace.Take(second.at));
        EXPECT_NEAR(pace.Rate(), drew / 2 + drew / 8, 1e-6);  // now in eighths of what drew it
        for (int i = 0; i < 100; ++i) pace.Through(pace.Take(second.at));
        EXPECT_NEAR(pace.Rate(), drew * 15 / 16, 1e-6);
        EXPECT_EQ(pace.Limits(), 2);
    }
}

// The client against the stand-in alone: a failed request is asked again only after the pause,
// the caller gets its last answer whole, and a limit's Retry-After sets the pause, which a stop
// still ends at once.
TEST(ServiceClient, PausesBetweenTriesKeepsTheLastAnswerAndWaitsAsLongAsTheLimitAsks) {
    ASSERT_TRUE(standin::Reset());
    ASSERT_TRUE(standin::AddFault(
        R"({"path": "/mw1024/busy.jpg", "action": "status", "status": 503, "body": "later"})"));
    const ScratchFolder logFolder;
    RunLog log(AnsiToWide(logFolder.Path()));
    ServiceClient client(&log);
    FlowToken token;
    RetryPolicy policy;
    policy.tries = 2;
    policy.pauseMs = 300;
    policy.good = [](const ServiceAnswer& answer) { return answer.status == 200; };
    const DWORD began = GetTickCount();
    const ServiceAnswer failed =
        client.Fetch(ServiceRequest("http://wx1.sinaimg.cn/mw1024/busy.jpg"), token, policy);
    EXPECT_GE(GetTickCount() - began, 250u);
    EXPECT_TRUE(failed.Answered());
    EXPECT_FALSE(failed.accepted);
    EXPECT_EQ(failed.tries, 2);
    EXPECT_EQ(failed.status, 503);
    EXPECT_EQ(failed.body.AsCodePage(), "later");

    ASSERT_TRUE(standin::AddFault(R"({"path": "/mw1024/limited.jpg", "action": "limit",)"
                                  R"( "ms": 600000, "retry_after": "120"})"));
    RateBackoff backoff;
    ServiceRequest limited("http://wx1.sinaimg.cn/mw1024/limited.jpg");
    limited.backoff = &backoff;
    ServiceAnswer stopped;
    std::thread fetch([&] { stopped = client.Fetch(limited, token); });
    for (int i = 0; i < 1000 && !backoff.Paused(); ++i) Sleep(20);
    const long long ahead = SecondsToResume(backoff);
    EXPECT_TRUE(backoff.Paused());
    EXPECT_GE(ahead, 100);
    EXPECT_LE(ahead, 121);
    const DWORD stopAt = GetTickCount();
    token.RequestStop();
    fetch.join();
    EXPECT_LT(GetTickCount() - stopAt, 30000u);  // the limit's own pause would be 120 s
    EXPECT_EQ(stopped.kind, AnswerKind::kStopped);
    // The log says what came, what was done next and how long everything waits.
    const ByteBuffer logged = FilesIn(logFolder.Path())["pictalon.log"];
    for (const char* line : {"busy.jpg -> status 503; try 2 of 2, giving up",
                             "limited.jpg -> status 429: the service asks to slow down; sent again",
                             ": the service asked every request of the run to slow down"})
        EXPECT_NE(logged.find(line), ByteBuffer::npos) << line << "\n" << logged;
}

}  // namespace
