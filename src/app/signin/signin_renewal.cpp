#include "app/signin/signin_renewal.h"

#include "app/download/download_job.h"
#include "app/service/service_answers.h"
#include "app/signin/qr_login.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

// On the window thread: whichever run met the expiry, the next one needs the sign-in too, so
// the login starts even when that run has been stopped since.
void AskRunForNewSignIn(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    app.Log().AddLine(JoinTexts("run ", std::to_string(run->Id()),
                                ": the service no longer takes the sign-in; the run waits for a "
                                "new one"));
    app.View().PostToWindowThread([&app, run] {
        app.View().ShowPage(AppView::Page::kLogin);
        app.View().SetStatus(kStatusSignInExpired);
        const RunTally tally = run->Tally();
        if (app.Runs().IsCurrent(*run))
            app.View().ShowTaskbarProgress(AppView::Progress::kPaused,
                                           tally.downloaded + tally.failed, tally.listed);
        StartQrLogin(app, kQrRetryUnitMs, LoginPurpose::kRenewal);
    });
}

}  // namespace

void AskForNewSignIn(AppState& app, const Text& why) {
    app.Log().AddLine(JoinTexts(why,
                                ": the service no longer takes the sign-in; waiting for a "
                                "new one"));
    app.View().PostToWindowThread([&app] {
        app.View().ShowPage(AppView::Page::kLogin);
        app.View().SetStatus(kStatusSignInExpired);
        StartQrLogin(app, kQrRetryUnitMs, LoginPurpose::kRenewal);
    });
}

ServiceAnswer FetchWithSignIn(AppState& app, const FlowToken& token, ServiceRequest request,
                              const RetryPolicy& policy, const std::function<void()>& askForSignIn,
                              const std::function<void()>& onBackoffChange) {
    request.watchSignIn = true;
    for (;;) {
        const Text used = app.Login().Cookies();
        if (request.cookies == SendCookies::kLogin) request.loginCookies = used;
        ServiceAnswer answer = app.Client().Fetch(request, token, policy, onBackoffChange);
        if (!answer.signInLost) return answer;
        if (app.Login().ReportExpired(used)) askForSignIn();
        if (!app.Login().WaitSignedIn(token)) return ServiceAnswer::Stopped();
    }
}

ServiceAnswer FetchSignedIn(AppState& app, const std::shared_ptr<DownloadRun>& run,
                            ServiceRequest request, const RetryPolicy& policy) {
    return FetchWithSignIn(
        app, run->Token(), std::move(request), policy,
        [&app, &run] { AskRunForNewSignIn(app, run); },
        [&app, &run] { ShowRunProgress(app, run, ProgressPace::kNow); });
}

SignInCheck CheckViewerPage(ServiceClient& client, const Text& cookies, const FlowToken& token,
                            SitePage* page) {
    const ServiceAnswer answer = client.Fetch(ServiceRequest(MainSiteUrl(), cookies), token);
    // No page at all says nothing about the cookies: the network or the site is down.
    if (!answer.Answered() || answer.status != 200) return SignInCheck::kUnknown;
    SitePage read = ReadSitePage(answer.body.FromUtf8());
    const bool named = !read.uid.empty() && !read.nick.empty();
    if (page) *page = std::move(read);
    return named ? SignInCheck::kSignedIn : SignInCheck::kSignedOut;
}
