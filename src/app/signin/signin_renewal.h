#pragma once
// A download run whose sign-in the service stops taking: its requests wait, counting nothing
// failed, while the login page asks for a new QR scan; then each is sent again with the new
// cookies and the run goes on where it stopped.
#include <functional>

#include "app/app_state.h"

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
// cookies at all. An answer that asks for a new sign-in opens the login page (once per expired
// sign-in, however many requests met it) and the request is sent again after the new sign-in.
// kStopped when the run was stopped meanwhile.
ServiceAnswer FetchSignedIn(AppState& app, const RenewingRun& run, ServiceRequest request,
                            const RetryPolicy& policy);
