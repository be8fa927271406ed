#include "app/qr_login.h"

#include <windows.h>

#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

constexpr std::int32_t kWaiting = 50114001;
constexpr std::int32_t kScanned = 50114002;
constexpr std::int32_t kExpired = 50114003;
constexpr std::int32_t kUsed = 50114004;
constexpr std::int32_t kQrBroken = 50114005;
constexpr std::int32_t kConfirmed = 20000000;

}  // namespace

QrLogin::QrLogin(AppState& app, std::shared_ptr<FlowToken> token)
    : app_(app), token_(std::move(token)) {}

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

void QrLogin::RunQrLogin() {
    for (;;) {
        if (token_->StopRequested()) return;
        const std::int32_t r = PollQrState();
        if (r >= kExpired && !FetchQrCode()) return;
        if (r == kConfirmed) break;
        if (!app_.StatusIf(app_.loginThread, token_, JoinTexts(kStatusPrefix, MessageFor(r))))
            return;
        PumpedWait500(token_.get());
    }
    if (token_->StopRequested()) return;
    if (FinishLogin() == 1) {
        app_.StatusIf(app_.loginThread, token_, JoinTexts(kStatusPrefix, kLoginDone));
    } else if (Current()) {
        app_.view.ShowMessageBox(kTestCookiesFalse, Text(), MB_OK);
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

bool QrLogin::ShowPictureIfCurrent(const ByteBuffer& picture) {
    MutexLock held(app_.lock);
    if (!held) return false;
    return app_.OnWindowIf(app_.loginThread, token_, [&] { app_.view.ShowLoginPicture(picture); });
}

bool QrLogin::FetchQrCode() {
    WebSession web;
    if (!web.Open("GET", QrImageUrl()) || !web.Send()) return false;
    const QrImageAnswer qr = ReadQrImageAnswer(web.GetBodyText());
    if (!qr.ok) return false;
    qrId_ = qr.qrId;
    ByteBuffer picture;
    if (web.Open("GET", QrPictureUrl(qr.image)) && web.Send()) picture = web.GetBody();
    return ShowPictureIfCurrent(picture);
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

void StartQrLogin(AppState& app) {
    app.loginThread.Start(
        [&app](const std::shared_ptr<FlowToken>& token) { QrLogin(app, token).RunQrLogin(); },
        L"login");
}
