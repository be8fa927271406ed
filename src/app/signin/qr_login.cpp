#include "app/signin/qr_login.h"

#include <windows.h>

#include <algorithm>

#include "app/download/download_run.h"
#include "app/service/service_answers.h"
#include "app/service/service_client.h"
#include "app/signin/signin_renewal.h"
#include "app/templates.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "text/text_template.h"
#include "web/endpoints.h"

namespace {

constexpr std::int32_t kWaiting = 50114001;
constexpr std::int32_t kScanned = 50114002;
constexpr std::int32_t kExpired = 50114003;
constexpr std::int32_t kUsed = 50114004;
constexpr std::int32_t kQrBroken = 50114005;
constexpr std::int32_t kConfirmed = 20000000;
// Between two polls of the code's state.
constexpr unsigned long kPollEveryMs = 500;

}  // namespace

QrLogin::QrLogin(AppState& app, std::shared_ptr<FlowToken> token, unsigned long retryUnitMs,
                 LoginPurpose purpose, Text waitingStatus)
    : app_(app),
      token_(std::move(token)),
      retryUnitMs_(retryUnitMs),
      purpose_(purpose),
      waitingStatus_(purpose == LoginPurpose::kRenewal ? Text(kStatusSignInExpired)
                                                       : std::move(waitingStatus)) {}

ServiceAnswer QrLogin::Service(const ServiceRequest& request) {
    return app_.Client().Fetch(request, *token_);
}

bool QrLogin::Current() const {
    return app_.LoginFlow().IsCurrent(token_);
}

Text QrLogin::MessageFor(std::int32_t retcode) {
    switch (retcode) {
        case kWaiting:
            return kQrWaitingScan;
        case kScanned:
            return kQrScanned;
        case kExpired:
            return kQrExpired;
        case kUsed:
            return kQrUsed;
        case kQrBroken:
            return kQrError;
        case kConfirmed:
            return kLoginDone;
        default:
            return kLoginFailed;
    }
}

unsigned long QrLogin::RetryDelayMs(int failures, unsigned long unitMs) {
    static constexpr unsigned long kUnits[] = {1, 2, 4, 5};
    return unitMs * kUnits[std::clamp(failures, 0, 3)];
}

Text QrLogin::RetryStatus(unsigned long delayMs) {
    return JoinTexts(kStatusPrefix, kQrRetryHead, std::to_string((delayMs + 999) / 1000),
                     kQrRetryTail);
}

void QrLogin::RunQrLogin() {
    if (purpose_ == LoginPurpose::kAtStart && SignInFromSaved()) return;
    for (;;) {
        if (!PollUntilConfirmed() || token_->StopRequested()) return;
        if (FinishLogin() == 1) {
            SignedIn();
            ShowStatus(JoinTexts(kStatusPrefix, kLoginDone));
            if (purpose_ == LoginPurpose::kRenewal)
                app_.ShowIf([this] { return Current(); },
                            [this] { app_.View().ShowPage(AppView::Page::kOperate); });
            return;
        }
        if (!Current()) return;
        app_.View().ShowMessageBox(kTestCookiesFalse, Text(), MB_OK);
        // The user may sign in again at once: a new code replaces the spent one and the poll
        // starts over.
        if (!Current() || !FetchQrCodeUntilIssued()) return;
    }
}

// The cookies of a signed-in viewer are kept for the next start, sealed for this Windows user,
// and whatever waited for the sign-in goes on.
void QrLogin::SignedIn() {
    // Not kept only costs a scan at the next start; this sign-in holds either way.
    if (!app_.SignInStore().Save(app_.Login().Cookies()))
        app_.Log().AddLine("the sign-in could not be kept for the next start");
    app_.Login().MarkSignedIn();
}

// Signs in with the cookies kept from an earlier start, as a confirmed scan would; a saved
// sign-in the service recognisably refuses (expired, another user's) or that cannot be read is
// removed for good. One that could not be checked (no answer, a page that is not the service's)
// is kept for the next start, and a QR code is shown meanwhile.
bool QrLogin::SignInFromSaved() {
    const std::optional<Text> saved = app_.SignInStore().Load();
    if (saved) {
        app_.Log().LearnCookies(*saved);
        app_.Login().SetCookies(*saved);
        const int viewer = LoadViewerPage();
        if (viewer < 0) {
            app_.Login().SetCookies(Text());
            app_.Log().AddLine(
                "the saved sign-in could not be checked (no answer, or not the service's page): "
                "kept, a QR code follows");
            return false;
        }
        if (viewer == 1) {
            app_.Login().MarkSignedIn();
            return app_.ShowIf([this] { return Current(); },
                               [this] {
                                   app_.View().ShowPage(AppView::Page::kOperate);
                                   app_.View().SetStatus(JoinTexts(kStatusPrefix, kLoginDone));
                               });
        }
        app_.Login().SetCookies(Text());
        app_.Log().AddLine("the saved sign-in is no longer valid: removed, a QR code follows");
    }
    // One that stays is refused again at the next start and removed then.
    if (!app_.SignInStore().Delete()) app_.Log().AddLine("the saved sign-in could not be removed");
    return false;
}

// True on a confirmed scan; false when the flow was retired.
bool QrLogin::PollUntilConfirmed() {
    for (;;) {
        if (token_->StopRequested()) return false;
        const std::int32_t r = PollQrState();
        if (r >= kExpired && !FetchQrCodeUntilIssued()) return false;
        if (r == kConfirmed) return true;
        const Text status = r == kWaiting && !waitingStatus_.empty()
                                ? waitingStatus_
                                : JoinTexts(kStatusPrefix, MessageFor(r));
        if (!ShowStatus(status)) return false;
        if (!token_->WaitPumped(kPollEveryMs)) return false;
    }
}

// A code request that fails once must not end the login: ask again, pausing longer each time
// up to a steady pace, and say so meanwhile. False only when the flow was retired.
bool QrLogin::FetchQrCodeUntilIssued() {
    for (int failures = 0;; ++failures) {
        if (token_->StopRequested()) return false;
        if (FetchQrCode()) return true;
        const unsigned long delay = RetryDelayMs(failures, retryUnitMs_);
        if (!ShowStatus(RetryStatus(delay))) return false;
        if (!token_->WaitPumped(delay)) return false;
    }
}

std::int32_t QrLogin::PollQrState() {
    // Asked once: the next poll comes within half a second anyway.
    const QrCheckAnswer check =
        ReadQrCheckAnswer(Service(ServiceRequest{QrCheckUrl(qrId_)}).body.AsCodePage());
    if (check.retcode == kConfirmed) {
        loginAlt_ = check.alt;
        app_.Log().AddSecret(loginAlt_);
    }
    return check.retcode;
}

// A state shown already is not shown again: a login left waiting for a scan must not overwrite,
// twice a second, what another flow has shown since. A login whose page is not on screen
// writes nothing (the status line then belongs to the page shown); it shows its state once its
// page is back. False when the flow was retired.
bool QrLogin::ShowStatus(const Text& status) {
    if (status == shownStatus_) return Current();
    bool current = false;
    const bool shown = app_.ShowIf(
        [this, &current] {
            current = Current();
            return current && app_.View().LoginPageShown();
        },
        [&] { app_.View().SetStatus(status); });
    if (shown) shownStatus_ = status;
    return current;
}

bool QrLogin::ShowPictureIfCurrent(const ByteBuffer& picture) {
    return app_.ShowIf([this] { return Current(); },
                       [&] { app_.View().ShowLoginPicture(picture); });
}

bool QrLogin::FetchQrCode() {
    const QrImageAnswer qr =
        ReadQrImageAnswer(Service(ServiceRequest{QrImageUrl()}).body.AsCodePage());
    ByteBuffer picture;
    // Known to the log before the picture is asked for: its address carries the code's id.
    app_.Log().AddSecret(qr.qrId);
    app_.Log().LearnSecretsIn(qr.image);
    if (qr.ok) {
        ServiceAnswer answer = Service(ServiceRequest{QrPictureUrl(qr.image)});
        if (answer.Answered() && answer.status == 200) picture = answer.body.TakeBytes();
    }
    // Handed over even when empty: the code on show is spent, and a blank box is honest.
    if (!ShowPictureIfCurrent(picture) || picture.empty()) return false;
    qrId_ = qr.qrId;
    return true;
}

int QrLogin::FinishLogin() {
    const ServiceAnswer exchange = Service(ServiceRequest{CrossDomainLoginUrl(loginAlt_)});
    const Text exchangeUrl =
        exchange.Answered() ? ReadCookieExchangeUrl(exchange.body.AsCodePage()) : Text();
    Text cookies;
    app_.Log().LearnSecretsIn(exchangeUrl);
    if (!exchangeUrl.empty()) {
        const ServiceAnswer issued = Service(ServiceRequest{exchangeUrl});
        if (issued.Answered()) cookies = issued.setCookies;
    }
    app_.Log().LearnCookies(cookies);
    app_.Login().SetCookies(cookies);
    if (token_->StopRequested()) return 0;
    return LoadViewerPage();
}

int QrLogin::LoadViewerPage() {
    SitePage page;
    const SignInCheck check =
        CheckViewerPage(app_.Client(), app_.Login().Cookies(), *token_, &page);
    if (check == SignInCheck::kUnknown) return -1;
    if (check == SignInCheck::kSignedOut) return 0;
    const ByteBuffer picture =
        page.avatar.empty() ? ByteBuffer()
                            : Service(ServiceRequest{AvatarUrl(page.avatar)}).body.TakeBytes();
    ShowPictureIfCurrent(picture);
    return 1;
}

void StartQrLogin(AppState& app, unsigned long retryUnitMs, LoginPurpose purpose,
                  const Text& waitingStatus) {
    if (!app.LoginFlow().Start(
            [&app, retryUnitMs, purpose, waitingStatus](const std::shared_ptr<FlowToken>& token) {
                QrLogin(app, token, retryUnitMs, purpose, waitingStatus).RunQrLogin();
            },
            L"login"))
        app.Log().AddLine("login: no thread could be started for it");
}

Text SignedOutStatus(int downloaded, long long total) {
    return FillText(kSignedOutStopped, {{"done", downloaded}, {"total", total}});
}

void SignOut(AppState& app) {
    Text stopped;
    if (const std::shared_ptr<DownloadRun> run = app.Runs().Latest();
        run && app.Runs().UnderWay()) {
        app.Downloading().Runs().StopAll();
        app.DownloadFlow().Stop();
        const RunTally tally = run->Tally();
        const long long total =
            std::max<long long>(tally.albumTotal, static_cast<long long>(tally.listed));
        stopped = SignedOutStatus(tally.downloaded, total);
        app.Log().AddLine(JoinTexts("run ", std::to_string(run->Id()), " stopped: signed out; ",
                                    std::to_string(tally.downloaded), " of ",
                                    std::to_string(tally.listed), " listed written"));
        app.View().EnableButtons(true);
        app.View().ShowTaskbarProgress(AppView::Progress::kNone, 0, 0);
    }
    // The cookies leave memory either way and the login page comes; a file that stayed is
    // worth a line in the log, as the next start would sign in from it.
    if (!app.SignInStore().Delete())
        app.Log().AddLine("sign-out: the saved sign-in could not be removed");
    app.Login().SetCookies(Text());
    app.View().ShowPage(AppView::Page::kLogin);
    if (!stopped.empty()) app.View().SetStatus(stopped);
    StartQrLogin(app, kQrRetryUnitMs, LoginPurpose::kFresh, stopped);
}
