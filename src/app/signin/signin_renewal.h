#pragma once
// A flow whose sign-in the service stops taking: its requests wait, counting nothing failed,
// while the login page asks for a new QR scan; then each is sent again with the new cookies
// and the flow goes on where it stopped.
#include <functional>
#include <memory>

#include "app/app_state.h"

struct SitePage;

// The request under the policy, carrying the login cookies held at each try when it carries
// cookies at all. An answer that asks for a new sign-in calls askForSignIn (once per expired
// sign-in, however many requests met it) and the request is sent again after the new sign-in.
// kStopped when the token asked to stop meanwhile.
ServiceAnswer FetchWithSignIn(AppState& app, const FlowToken& token, ServiceRequest request,
                              const RetryPolicy& policy, const std::function<void()>& askForSignIn,
                              const std::function<void()>& onBackoffChange = nullptr);

// As FetchWithSignIn for a download run: the login page opens, the run's progress shows it
// paused.
ServiceAnswer FetchSignedIn(AppState& app, const std::shared_ptr<DownloadRun>& run,
                            ServiceRequest request, const RetryPolicy& policy);

// On any thread: the login page with a new QR code, renewing the sign-in; `why` goes to the log.
void AskForNewSignIn(AppState& app, const Text& why);

// The check the start-up makes of a sign-in: the main site's page names a viewer with these
// cookies (kSignedIn), names none (kSignedOut), or came not at all (kUnknown). page, when
// given, receives the page's variables.
SignInCheck CheckViewerPage(ServiceClient& client, const Text& cookies, const FlowToken& token,
                            SitePage* page = nullptr);
