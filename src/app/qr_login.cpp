#include "app/qr_login.h"

#include <windows.h>

#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/json_document.h"
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
    const Text qrId = app_.Field(&AppState::qrId);
    WebSession web;
    Text answer;
    if (web.Open("GET", QrCheckUrl(qrId)) && web.Send()) answer = web.GetBodyText();
    JsonDocument doc;
    doc.Parse(UnwrapCallback(answer), true);
    const auto retcode = static_cast<std::int32_t>(doc.GetInteger("retcode"));
    if (retcode == kConfirmed && app_.lock.Lock()) {
        {
            std::lock_guard<std::mutex> guard(app_.fieldsMutex);
            app_.loginAlt = doc.GetText("data.alt");
        }
        app_.lock.Unlock();
    }
    return retcode;
}

bool QrLogin::FetchQrCode() {
    WebSession web;
    if (!web.Open("GET", QrImageUrl()) || !web.Send()) return false;
    JsonDocument doc;
    doc.Parse(UnwrapCallback(web.GetBodyText()), true);
    if (doc.GetInteger("retcode") != kConfirmed || doc.GetText("msg") != "succ") return false;
    {
        std::lock_guard<std::mutex> guard(app_.fieldsMutex);
        app_.qrId = doc.GetText("data.qrid");
    }
    ByteBuffer picture;
    if (web.Open("GET", QrPictureUrl(doc.GetText("data.image"))) && web.Send())
        picture = web.GetBody();
    if (!app_.lock.Lock()) return false;
    const bool shown =
        app_.OnWindowIf(app_.loginThread, token_, [&] { app_.view.ShowLoginPicture(picture); });
    app_.lock.Unlock();
    return shown;
}

int QrLogin::FinishLogin() {
    const Text alt = app_.Field(&AppState::loginAlt);
    Text exchangeUrl;
    {
        WebSession a;
        if (a.Open("GET", CrossDomainLoginUrl(alt)) && a.Send()) {
            JsonDocument doc;
            doc.Parse(UnwrapCallback(a.GetBodyText()), true);
            exchangeUrl = doc.GetText("crossDomainUrlList.[3]");
        }
    }
    Text cookies;
    if (!exchangeUrl.empty()) {
        WebSession b;
        if (b.Open("GET", exchangeUrl) && b.Send()) cookies = b.GetSetCookies();
    }
    {
        std::lock_guard<std::mutex> guard(app_.fieldsMutex);
        app_.cookieText = cookies;
    }
    if (token_->StopRequested()) return 0;
    return LoadViewerPage();
}

int QrLogin::LoadViewerPage() {
    const Text cookies = app_.Field(&AppState::cookieText);
    const Text page = GetWithLoginCookies(MainSiteUrl(), cookies, true);
    const Text uid = PageVariable(page, "uid");
    const Text nick = PageVariable(page, "nick");
    const Text avatar = PageVariable(page, "avatar_large");
    if (uid.empty() || nick.empty()) return 0;
    const ByteBuffer picture = avatar.empty() ? ByteBuffer() : FetchBytes(AvatarUrl(avatar));
    if (app_.lock.Lock()) {
        app_.OnWindowIf(app_.loginThread, token_, [&] { app_.view.ShowLoginPicture(picture); });
        app_.lock.Unlock();
    }
    return 1;
}

void StartQrLogin(AppState& app) {
    app.loginThread.Start(
        [&app](const std::shared_ptr<FlowToken>& token) { QrLogin(app, token).RunQrLogin(); },
        L"login");
}
