// The login riding out a service that fails: code requests asked again, a new sign-in after a
// refused cookie exchange, pictures that fail handed over blank; and how a poll answer is read.
#include "app/signin/qr_login.h"
#include "app/signin/saved_signin.h"
#include "threads/handle.h"
#include "app/service/service_answers.h"
#include "flow_fixture.h"

namespace {

using namespace apptest;

// Short pauses between code requests; the schedule itself is checked on its own below.
constexpr unsigned long kQuickRetryUnitMs = 10;

const char kImagePath[] = "/sso/qrcode/image";

int IssuedCodes() {
    return Logged("?path=/sso/qrcode/image", kImagePath);
}

using LoginRecoveryTest = AppFlowTest;

TEST_F(LoginRecoveryTest, AFailedCodeRequestIsAskedAgainAndTheLoginGoesOn) {
    const struct {
        const char* what;
        const char* fault;
        int requests;  // code requests until one worked
    } cases[] = {
        {"a 500",
         R"({"path": "/sso/qrcode/image*", "action": "status", "status": 500, "count": 3})", 4},
        {"a dropped connection",
         R"({"path": "/sso/qrcode/image*", "action": "refuse", "count": 2})", 3},
        {"an answer without succ",
         R"({"path": "/sso/qrcode/image*", "action": "body", "count": 3,
             "body": "STK_15033920845911({\"retcode\":20000000,\"msg\":\"fail\",\"data\":{}});"})",
         4},
        {"a code whose picture fails",
         R"({"path": "/qrcode/*", "action": "status", "status": 404, "count": 2})", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(standin::Reset());
        ASSERT_TRUE(standin::AddFault(c.fault));
        ASSERT_TRUE(standin::SetQrSequence({"confirmed"}));
        view.OnWindow([&] {
            view.statuses.clear();
            view.loginPictures.clear();
            StartQrLogin(app, kQuickRetryUnitMs);
        });
        ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }))
            << Shown(view);
        EXPECT_EQ(IssuedCodes(), c.requests);
        view.OnWindow([&] {
            const Text retrying = JoinTexts(kStatusPrefix, kQrRetryHead);
            const auto retries =
                std::count_if(view.statuses.begin(), view.statuses.end(),
                              [&](const Text& s) { return s.rfind(retrying, 0) == 0; });
            EXPECT_GE(retries, 1) << Shown(view);
            // Each failure blanked the box; then the issued code and the avatar.
            ASSERT_EQ(view.loginPictures.size(), static_cast<size_t>(c.requests + 1));
            EXPECT_TRUE(view.loginPictures.front().empty());
            EXPECT_TRUE(HasText(view.loginPictures[c.requests - 1], "qrcode/"));
            EXPECT_TRUE(HasText(view.loginPictures.back(), "av_"));
            EXPECT_TRUE(view.boxes.empty());
        });
    }
}

TEST_F(LoginRecoveryTest, AfterTheCookieBoxANewCodeIsShownAndTheUserCanSignIn) {
    ASSERT_TRUE(standin::SetKnobs(R"({"cross_domain_count": 3})"));
    // The first code confirms (and its exchange fails); the next one waits for a scan.
    ASSERT_TRUE(standin::SetQrSequence({"confirmed", "waiting"}));
    view.OnWindow([&] { StartQrLogin(app, kQuickRetryUnitMs); });
    ASSERT_TRUE(WaitForLogged("?path=/sso/qrcode/image", kImagePath, 2));
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kQrWaitingScan)); }))
        << Shown(view);
    view.OnWindow([&] {
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, kTestCookiesFalse);
        ASSERT_EQ(view.loginPictures.size(), 2u);
        EXPECT_NE(view.loginPictures[0], view.loginPictures[1]);
    });

    // Off screen the restarted login writes nothing over what the other page shows; back on
    // screen it shows where it stands.
    view.OnWindow([&] {
        view.page = AppView::Page::kOperate;
        view.statuses = {kStatusCatalogueDone};
    });
    ASSERT_TRUE(standin::SetQrState("expired"));
    ASSERT_TRUE(WaitForLogged("?path=/sso/qrcode/image", kImagePath, 4));
    view.OnWindow([&] {
        EXPECT_EQ(view.statuses, std::vector<Text>{kStatusCatalogueDone});
        view.page = AppView::Page::kLogin;
    });
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kQrExpired)); }));

    ASSERT_TRUE(standin::SetKnobs(R"({"cross_domain_count": 4})"));
    ASSERT_TRUE(standin::SetQrState("confirmed"));
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }))
        << Shown(view);
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(app.Login().Cookies().find("SUB="), Text::npos);
    EXPECT_TRUE(HasText(view.loginPictures.back(), "av_"));
}

// A sign-in kept from an earlier start needs no code while the service takes it; one it refuses
// or that cannot be read is removed and the code comes; signing out forgets it and asks anew.
TEST_F(LoginRecoveryTest, ASavedSignInSkipsTheCodeUntilItIsRefusedOrSignedOut) {
    const ScratchFolder store;
    app.UseSignInStore(SavedSignIn(AnsiToWide(store.Path())));
    ASSERT_TRUE(standin::SetQrSequence({"confirmed"}));
    view.OnWindow([&] { StartQrLogin(app, kQuickRetryUnitMs, LoginPurpose::kAtStart); });
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }));
    const std::optional<Text> saved = app.SignInStore().Load();
    ASSERT_TRUE(saved && saved->find("SUB=") != Text::npos);
    EXPECT_EQ(*saved, app.Login().Cookies());

    // The next start: no code, the operate page, the usual status and the avatar.
    ASSERT_TRUE(standin::ClearLog());
    ASSERT_TRUE(standin::SetQrState("waiting"));
    view.OnWindow([&] {
        view.statuses.clear();
        view.loginPictures.clear();
        app.Login().SetCookies(Text());
        StartQrLogin(app, kQuickRetryUnitMs, LoginPurpose::kAtStart);
    });
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }));
    view.OnWindow([&] {
        EXPECT_EQ(view.page, AppView::Page::kOperate);
        ASSERT_EQ(view.loginPictures.size(), 1u);
        EXPECT_TRUE(HasText(view.loginPictures[0], "av_"));
    });
    EXPECT_EQ(IssuedCodes(), 0);
    EXPECT_EQ(app.Login().Cookies(), *saved);

    view.OnWindow([&] { RunCommand(app, kCmdSignOut); });
    EXPECT_EQ(app.SignInStore().Load(), std::nullopt);
    EXPECT_EQ(app.Login().Cookies(), "");
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kQrWaitingScan)); }));
    EXPECT_EQ(view.page, AppView::Page::kLogin);
    EXPECT_EQ(IssuedCodes(), 1);

    // Refused (the service forgot the session) or damaged: removed, and a code comes instead.
    // Not checked at all (the main site gave no page, an empty one or a portal's): kept for the
    // next start, a code meanwhile.
    ASSERT_TRUE(standin::Reset());
    enum class Saved { kRefused, kDamaged, kUnchecked, kEmptyPage, kPortal };
    for (const Saved kind :
         {Saved::kRefused, Saved::kDamaged, Saved::kUnchecked, Saved::kEmptyPage, Saved::kPortal}) {
        ASSERT_TRUE(standin::ClearFaults());
        ASSERT_TRUE(app.SignInStore().Save(*saved));
        if (kind == Saved::kDamaged) {
            UniqueHandle file(CreateFileW(WinStr(app.SignInStore().FilePath()), GENERIC_WRITE, 0,
                                          nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD wrote = 0;
            ASSERT_TRUE(WriteFile(file.Get(), "damaged", 7, &wrote, nullptr));
        }
        if (kind == Saved::kUnchecked) {
            ASSERT_TRUE(
                standin::AddFault(R"({"host": "weibo.com", "path": "/", "action": "refuse"})"));
        }
        if (kind == Saved::kEmptyPage || kind == Saved::kPortal) {
            ASSERT_TRUE(standin::AddFault(kind == Saved::kPortal
                                              ? R"({"host": "weibo.com", "path": "/", "action": )"
                                                R"("body", "body": "<html>Hotel wifi</html>"})"
                                              : R"({"host": "weibo.com", "path": "/", "action": )"
                                                R"("body", "body": ""})"));
        }
        ASSERT_TRUE(standin::ClearLog());
        view.OnWindow([&] {
            view.page = AppView::Page::kLogin;
            StartQrLogin(app, kQuickRetryUnitMs, LoginPurpose::kAtStart);
        });
        ASSERT_TRUE(WaitForLogged("?path=/sso/qrcode/image", kImagePath, 1));
        if (kind >= Saved::kUnchecked) {
            EXPECT_EQ(app.SignInStore().Load(), saved);
        } else {
            EXPECT_EQ(app.SignInStore().Load(), std::nullopt);
            EXPECT_EQ(GetFileAttributesW(WinStr(app.SignInStore().FilePath())),
                      INVALID_FILE_ATTRIBUTES);
        }
        // Only a sign-in that could be read was put to the service.
        EXPECT_EQ(Logged("?host=weibo.com", "\"path\":\"/\"") > 0, kind != Saved::kDamaged);
    }
}

TEST_F(LoginRecoveryTest, AnAvatarThatCannotBeFetchedBlanksTheBoxInsteadOfKeepingTheCode) {
    ASSERT_TRUE(standin::AddFault(R"({"host": "tva1.sinaimg.cn", "action": "refuse"})"));
    ASSERT_TRUE(standin::SetQrSequence({"confirmed"}));
    view.OnWindow([&] { StartQrLogin(app, kQuickRetryUnitMs); });
    ASSERT_TRUE(view.WaitFor([&] { return Contains(view.statuses, Status(kLoginDone)); }));
    view.OnWindow([&] {
        ASSERT_EQ(view.loginPictures.size(), 2u);
        EXPECT_TRUE(HasText(view.loginPictures[0], "qrcode/"));
        EXPECT_TRUE(view.loginPictures[1].empty());
    });
}

TEST(QrCheckAnswer, OnlyACallbackIsReadAndAnythingElseShowsError) {
    EXPECT_EQ(ReadQrCheckAnswer("STK_1503392084591317({\"retcode\":50114002})").retcode, 50114002);
    const Text confirmed = R"({"retcode":20000000,"data":{"alt":"ALT-1"}})";
    EXPECT_EQ(ReadQrCheckAnswer(confirmed).retcode, 0);
    EXPECT_EQ(ReadQrCheckAnswer("").retcode, 0);
    EXPECT_EQ(AnsiToUtf8(JoinTexts(kStatusPrefix, QrLogin::MessageFor(0))), "  状态:错误");
}

}  // namespace
