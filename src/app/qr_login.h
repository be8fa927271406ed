#pragma once
// Signing in by QR code: poll the scan state, show each state, replace expired codes, and on a
// confirmed scan exchange the ticket for the main site's cookies.
#include <cstdint>
#include <memory>

#include "app/app_state.h"

class QrLogin {
  public:
    QrLogin(AppState& app, std::shared_ptr<FlowToken> token);

    // The body of the login thread.
    void RunQrLogin();

    // The poll's retcode (0 when the answer did not parse); sets loginAlt on 20000000.
    std::int32_t PollQrState();
    // False when the login host refused to issue a code; sets qrId and shows the picture.
    bool FetchQrCode();
    // 1 on success, 0 on failure; sets cookieText.
    int FinishLogin();
    // 1 when the main site's page names a viewer id and nick; shows the avatar.
    int LoadViewerPage();

    // The status message (after the prefix) for a retcode.
    static Text MessageFor(std::int32_t retcode);

  private:
    bool Current() const;
    AppState& app_;
    std::shared_ptr<FlowToken> token_;
};

// Starts the login flow in its slot (the window-creation command).
void StartQrLogin(AppState& app);
