#include "app/signin/signin_renewal.h"

#include "app/service/service_answers.h"
#include "app/signin/qr_login.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

void AskForNewSignIn(AppState& app, const Text& why, const Text& used,
                     const std::function<void()>& showWaiting) {
    app.Log().AddLine(JoinTexts(why,
                                ": the service no longer takes the sign-in; waiting for a "
                                "new one"));
    // Whichever flow met the expiry, the next one needs the sign-in too, so the login starts
    // even when that flow has been stopped since.
    app.View().PostToWindowThread([&app, showWaiting, used] {
        // Signed out (or in anew) since: that login page is the user's, and no run goes on
        // under a sign-in it was not begun with.
        if (app.Login().Cookies() != used) return;
        app.View().ShowPage(AppView::Page::kLogin);
        app.View().SetStatus(kStatusSignInExpired);
        if (showWaiting) showWaiting();
        StartQrLogin(app, kQrRetryUnitMs, LoginPurpose::kRenewal);
    });
}

ServiceAnswer FetchWithSignIn(AppState& app, const FlowToken& token, ServiceRequest request,
                              const RetryPolicy& policy,
                              const std::function<void(const Text& used)>& askForSignIn,
                              const std::function<void()>& onBackoffChange) {
    request.watchSignIn = true;
    for (;;) {
        const Text used = app.Login().Cookies();
        if (request.cookies == SendCookies::kLogin) request.loginCookies = used;
        ServiceAnswer answer = app.Client().Fetch(request, token, policy, onBackoffChange);
        if (!answer.signInLost) return answer;
        if (app.Login().ReportExpired(used)) askForSignIn(used);
        if (!app.Login().WaitSignedIn(token)) return ServiceAnswer::Stopped();
    }
}

ServiceAnswer FetchSignedIn(AppState& app, const RenewingRun& run, ServiceRequest request,
                            const RetryPolicy& policy) {
    return FetchWithSignIn(
        app, run.token, std::move(request), policy,
        [&app, &run](const Text& used) {
            AskForNewSignIn(app, JoinTexts("run ", std::to_string(run.id)), used, run.showWaiting);
        },
        run.showProgress);
}

SignInCheck CheckViewerPage(ServiceClient& client, const Text& cookies, const FlowToken& token,
                            SitePage* page) {
    const ServiceAnswer answer = client.Fetch(ServiceRequest(MainSiteUrl(), cookies), token);
    // No page at all says nothing about the cookies: the network or the site is down.
    if (!answer.Answered() || answer.status != 200) return SignInCheck::kUnknown;
    SitePage read = ReadSitePage(answer.body.FromUtf8());
    const bool named = !read.uid.empty() && !read.nick.empty();
    if (page) *page = std::move(read);
    if (named) return SignInCheck::kSignedIn;
    // A page without a viewer that is not the service's own refusal (an empty page, a proxy's,
    // a captive portal's) says no more about the cookies than no page at all.
    return RefusesSignIn(answer.body.Bytes()) ? SignInCheck::kSignedOut : SignInCheck::kUnknown;
}
