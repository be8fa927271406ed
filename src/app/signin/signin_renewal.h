#pragma once
// A download run whose sign-in the service stops taking: its requests wait, counting nothing
// failed, while the login page asks for a new QR scan; then each is sent again with the new
// cookies and the run goes on where it stopped.
#include <memory>

#include "app/app_state.h"

// The request under the policy, carrying the login cookies held at each try when it carries
// cookies at all. An answer that asks for a new sign-in opens the login page (once per expired
// sign-in, however many requests met it) and the request is sent again after the new sign-in.
// kStopped when the run was stopped meanwhile.
ServiceAnswer FetchSignedIn(AppState& app, const std::shared_ptr<DownloadRun>& run,
                            ServiceRequest request, const RetryPolicy& policy);
