#pragma once
// A flow whose sign-in the service stops taking: its requests wait, counting nothing failed,
// while the login page asks for a new QR scan; then each is sent again with the new cookies
// and the flow goes on where it stopped.
#include <functional>

#include "app/app_state.h"

struct SitePage;

// The run a request belongs to, as the renewal sees it: the download shows through these.
struct RenewingRun {
    unsigned id = 0;
    const FlowToken& token;
    // Any thread: where the run stands, now (a pause begins or ends).
    std::function<void()> showProgress;
    // Window thread, as the login page comes: the run waits for the sign-in.
    std::function<void()> showWaiting;
};

// The request under the policy, carrying the login cookies held at each try when it carries
// cookies at all. An answer that asks for a new sign-in calls askForSignIn with the cookies it
// was sent with (once per expired sign-in, however many requests met it) and the request is
// sent again after the new sign-in. kStopped when the token asked to stop meanwhile.
ServiceAnswer FetchWithSignIn(AppState& app, const FlowToken& token, ServiceRequest request,
                              const RetryPolicy& policy,
                              const std::function<void(const Text& used)>& askForSignIn,
                              const std::function<void()>& onBackoffChange = nullptr);

// As FetchWithSignIn for a download run: the login page opens, the run's progress shows it
// paused.
ServiceAnswer FetchSignedIn(AppState& app, const RenewingRun& run, ServiceRequest request,
                            const RetryPolicy& policy);

// On any thread: the login page with a new QR code, renewing the sign-in the cookies `used`
// were; `why` goes to the log. Nothing shows when the user signed out (or in anew) since.
void AskForNewSignIn(AppState& app, const Text& why, const Text& used,
                     const std::function<void()>& showWaiting = nullptr);

// The check the start-up makes of a sign-in: the main site's page names a viewer with these
// cookies (kSignedIn), is the service's own refusal (kSignedOut), or came not at all or as a
// page that says neither, a proxy's or a captive portal's (kUnknown). page, when given,
// receives the page's variables.
SignInCheck CheckViewerPage(ServiceClient& client, const Text& cookies, const FlowToken& token,
                            SitePage* page = nullptr);
