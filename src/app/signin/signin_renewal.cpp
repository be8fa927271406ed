#include "app/signin/signin_renewal.h"

#include "app/signin/qr_login.h"
#include "app/texts.h"
#include "text/text_helpers.h"

namespace {

// On the window thread: whichever run met the expiry, the next one needs the sign-in too, so
// the login starts even when that run has been stopped since.
void AskForNewSignIn(AppState& app, const RenewingRun& run, const Text& used) {
    app.Log().AddLine(JoinTexts("run ", std::to_string(run.id),
                                ": the service no longer takes the sign-in; the run waits for a "
                                "new one"));
    app.View().PostToWindowThread([&app, showWaiting = run.showWaiting, used] {
        // Signed out (or in anew) since: that login page is the user's, and no run goes on
        // under a sign-in it was not begun with.
        if (app.Login().Cookies() != used) return;
        app.View().ShowPage(AppView::Page::kLogin);
        app.View().SetStatus(kStatusSignInExpired);
        showWaiting();
        StartQrLogin(app, kQrRetryUnitMs, LoginPurpose::kRenewal);
    });
}

}  // namespace

ServiceAnswer FetchSignedIn(AppState& app, const RenewingRun& run, ServiceRequest request,
                            const RetryPolicy& policy) {
    request.watchSignIn = true;
    for (;;) {
        const Text used = app.Login().Cookies();
        if (request.cookies == SendCookies::kLogin) request.loginCookies = used;
        ServiceAnswer answer = app.Client().Fetch(request, run.token, policy, run.showProgress);
        if (!answer.signInLost) return answer;
        if (app.Login().ReportExpired(used)) AskForNewSignIn(app, run, used);
        if (!app.Login().WaitSignedIn(run.token)) return ServiceAnswer::Stopped();
    }
}
