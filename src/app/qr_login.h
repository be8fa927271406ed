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

    // The poll's retcode (0 when the answer did not parse); keeps the ticket on 20000000.
    std::int32_t PollQrState();
    // False when the login host refused to issue a code; keeps its id and shows the picture.
    bool FetchQrCode();
    // 1 on success, 0 on failure; sets the login's cookies.
    int FinishLogin();
    // 1 when the main site's page names a viewer id and nick; shows the avatar.
    int LoadViewerPage();

    // The status message (after the prefix) for a retcode.
    static Text MessageFor(std::int32_t retcode);

  private:
    bool Current() const;
    bool ShowPictureIfCurrent(const ByteBuffer& picture);
    AppState& app_;
    std::shared_ptr<FlowToken> token_;
    // Only this flow uses them: the code being polled and the ticket a confirmed scan gave.
    Text qrId_;
    Text loginAlt_;
};

// Starts the login flow in its slot (the window-creation command).
void StartQrLogin(AppState& app);
