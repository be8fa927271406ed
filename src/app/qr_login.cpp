#include "app/qr_login.h"

#include <windows.h>

#include <algorithm>

#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "threads/message_pump.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

constexpr std::int32_t kWaiting = 50114001;
constexpr std::int32_t kScanned = 50114002;
constexpr std::int32_t kExpired = 50114003;
constexpr std::int32_t kUsed = 50114004;
constexpr std::int32_t kQrBroken = 50114005;
constexpr std::int32_t kConfirmed = 20000000;

// Waits in 15 ms slices, handling the thread's window messages, as the poll's wait does. False
// when the flow was asked to stop.
bool PumpedWait(const FlowToken& token, unsigned long ms) {
    const DWORD begin = GetTickCount();
    while (GetTickCount() - begin < ms) {
        if (token.StopRequested()) return false;
        Sleep(15);
        PumpPendingMessages();
    }
    return !token.StopRequested();
}

}  // namespace

QrLogin::QrLogin(AppState& app, std::shared_ptr<FlowToken> token, unsigned long retryUnitMs)
    : app_(app), token_(std::move(token)), retryUnitMs_(retryUnitMs) {}

bool QrLogin::Current() const {
    return app_.loginThread.IsCurrent(token_);
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
    for (;;) {
        if (!PollUntilConfirmed() || token_->StopRequested()) return;
        if (FinishLogin() == 1) {
            app_.StatusIf(app_.loginThread, token_, JoinTexts(kStatusPrefix, kLoginDone));
            return;
        }
        if (!Current()) return;
        app_.view.ShowMessageBox(kTestCookiesFalse, Text(), MB_OK);
        // The user may sign in again at once: a new code replaces the spent one and the poll
        // starts over.
        if (!Current() || !FetchQrCodeUntilIssued()) return;
    }
}

// True on a confirmed scan; false when the flow was retired.
bool QrLogin::PollUntilConfirmed() {
    for (;;) {
        if (token_->StopRequested()) return false;
        const std::int32_t r = PollQrState();
        if (r >= kExpired && !FetchQrCodeUntilIssued()) return false;
        if (r == kConfirmed) return true;
        if (!ShowStatus(JoinTexts(kStatusPrefix, MessageFor(r)))) return false;
        PumpedWait500(token_.get());
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
        if (!PumpedWait(*token_, delay)) return false;
    }
}

std::int32_t QrLogin::PollQrState() {
    WebSession web;
    Text answer;
    if (web.Open("GET", QrCheckUrl(qrId_)) && web.Send()) answer = web.GetBodyText();
    const QrCheckAnswer check = ReadQrCheckAnswer(answer);
    if (check.retcode == kConfirmed) loginAlt_ = check.alt;
    return check.retcode;
}

// A state shown already is not shown again: a login left waiting for a scan must not overwrite,
// twice a second, what another flow has shown since. False when the flow was retired.
bool QrLogin::ShowStatus(const Text& status) {
    if (status == shownStatus_) return Current();
    if (!app_.StatusIf(app_.loginThread, token_, status)) return false;
    shownStatus_ = status;
    return true;
}

bool QrLogin::ShowPictureIfCurrent(const ByteBuffer& picture) {
    MutexLock held(app_.lock);
    if (!held) return false;
    return app_.OnWindowIf(app_.loginThread, token_, [&] { app_.view.ShowLoginPicture(picture); });
}

bool QrLogin::FetchQrCode() {
    WebSession web;
    QrImageAnswer qr;
    if (web.Open("GET", QrImageUrl()) && web.Send()) qr = ReadQrImageAnswer(web.GetBodyText());
    ByteBuffer picture;
    if (qr.ok && web.Open("GET", QrPictureUrl(qr.image)) && web.Send() &&
        web.GetStatusCode() == 200)
        picture = web.GetBody();
    // Handed over even when empty: the code on show is spent, and a blank box is honest.
    if (!ShowPictureIfCurrent(picture) || picture.empty()) return false;
    qrId_ = qr.qrId;
    return true;
}

int QrLogin::FinishLogin() {
    Text exchangeUrl;
    {
        WebSession a;
        if (a.Open("GET", CrossDomainLoginUrl(loginAlt_)) && a.Send())
            exchangeUrl = ReadCookieExchangeUrl(a.GetBodyText());
    }
    Text cookies;
    if (!exchangeUrl.empty()) {
        WebSession b;
        if (b.Open("GET", exchangeUrl) && b.Send()) cookies = b.GetSetCookies();
    }
    app_.login.SetCookies(cookies);
    if (token_->StopRequested()) return 0;
    return LoadViewerPage();
}

int QrLogin::LoadViewerPage() {
    const SitePage page =
        ReadSitePage(GetWithLoginCookies(MainSiteUrl(), app_.login.Cookies(), true));
    if (page.uid.empty() || page.nick.empty()) return 0;
    const ByteBuffer picture =
        page.avatar.empty() ? ByteBuffer() : FetchBytes(AvatarUrl(page.avatar));
    ShowPictureIfCurrent(picture);
    return 1;
}

void StartQrLogin(AppState& app, unsigned long retryUnitMs) {
    app.loginThread.Start(
        [&app, retryUnitMs](const std::shared_ptr<FlowToken>& token) {
            QrLogin(app, token, retryUnitMs).RunQrLogin();
        },
        L"login");
}
