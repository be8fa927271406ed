#pragma once
// Signing in by QR code: poll the scan state, show each state, replace expired codes, and on a
// confirmed scan exchange the ticket for the main site's cookies. A code the login host does not
// give is asked for again with a growing pause; a sign-in whose cookies the main site refuses
// starts over with a new code once the user has closed the box that says so.
#include <cstdint>
#include <memory>

#include "app/app_state.h"

// The pauses before asking again for a code are 1, 2 and 4 units, then 5 units each time.
inline constexpr unsigned long kQrRetryUnitMs = 1000;

// kAtStart: a saved sign-in the service still takes makes the QR code unnecessary.
// kRenewal: a run waits for the sign-in; the status says so while the code waits for a scan,
// and the operate page comes back once signed in.
enum class LoginPurpose { kFresh, kAtStart, kRenewal };

class QrLogin {
  public:
    QrLogin(AppState& app, std::shared_ptr<FlowToken> token,
            unsigned long retryUnitMs = kQrRetryUnitMs, LoginPurpose purpose = LoginPurpose::kFresh,
            Text waitingStatus = Text());

    // The body of the login thread.
    void RunQrLogin();

    // The poll's retcode (0 when the answer did not parse); keeps the ticket on 20000000.
    std::int32_t PollQrState();
    // False when no code came (refused, failed, or its picture could not be fetched); the box
    // then goes blank, so a spent code never stays on show. Keeps the id and shows the picture.
    bool FetchQrCode();
    // As LoadViewerPage; sets the login's cookies.
    int FinishLogin();
    // 1 when the main site's page names a viewer id and nick (the avatar is shown), 0 when the
    // service refuses the cookies recognisably (RefusesSignIn), -1 when no page came or one
    // that tells nothing (an empty page, a proxy's).
    int LoadViewerPage();

    // The status message (after the prefix) for a retcode.
    static Text MessageFor(std::int32_t retcode);
    // The pause after the given number of failed code requests (0 for the first failure).
    static unsigned long RetryDelayMs(int failures, unsigned long unitMs);
    // The status while waiting to ask for a code again, such as "
    // 状态:获取二维码失败,2秒后重新获取;".
    static Text RetryStatus(unsigned long delayMs);

  private:
    bool Current() const;
    bool SignInFromSaved();
    void SignedIn();
    ServiceAnswer Service(const ServiceRequest& request);
    bool PollUntilConfirmed();
    bool FetchQrCodeUntilIssued();
    bool ShowStatus(const Text& status);
    bool ShowPictureIfCurrent(const ByteBuffer& picture);
    AppState& app_;
    std::shared_ptr<FlowToken> token_;
    const unsigned long retryUnitMs_;
    const LoginPurpose purpose_;
    // Only this flow uses them: the code being polled and the ticket a confirmed scan gave.
    Text qrId_;
    Text loginAlt_;
    Text shownStatus_;
    // Shown while the code waits for a scan, in place of the usual request to scan.
    Text waitingStatus_;
};

// Starts the login flow in its slot (the window-creation command). Tests shorten the pauses
// between code requests with retryUnitMs.
void StartQrLogin(AppState& app, unsigned long retryUnitMs = kQrRetryUnitMs,
                  LoginPurpose purpose = LoginPurpose::kFresh, const Text& waitingStatus = Text());

// Command 10008, on the window thread: forgets the sign-in, saved and held, and shows the login
// page with a new code. A run under way stops: it belongs to whoever signed in, a user who
// signs out wants the sign-in gone now rather than after a run of hours, and it must never go
// on under the next sign-in. The login page then says so (SignedOutStatus) until the scan.
void SignOut(AppState& app);
// "  状态:已退出登录,下载已停止,当前已下载 3张 共 40张;..." for the run's counts.
Text SignedOutStatus(int downloaded, long long total);
