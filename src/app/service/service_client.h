#pragma once
// Every request the program makes of the service goes through one client: listing and
// catalogue pages, the login's requests and pictures. A request says which cookies may go, how
// big an answer may be, how long the connection may stay silent and whether it waits on a run's
// back-off; a retry policy says how often and after which outcomes it is asked again.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/service/backoff.h"
#include "app/service/fetch_gate.h"
#include "app/service/pace.h"
#include "app/flow_slot.h"
#include "text/text_types.h"
#include "web/cookie_jar.h"

class RunLog;
class WebSession;

// An answer's body as the service sent it. Pages come in UTF-8 or in code page 936, so turning
// one into program text is always an explicit choice of the caller.
class RawBody {
  public:
    RawBody() = default;
    explicit RawBody(ByteBuffer bytes) : bytes_(std::move(bytes)) {}
    bool empty() const { return bytes_.empty(); }
    const ByteBuffer& Bytes() const { return bytes_; }
    ByteBuffer TakeBytes() { return std::move(bytes_); }
    // The body of a UTF-8 answer as code-page-936 text.
    Text FromUtf8() const;
    // The body of an answer that is code-page-936 (or plain ASCII) text already.
    Text AsCodePage() const { return bytes_; }

  private:
    ByteBuffer bytes_;
};

enum class SendCookies { kNone, kLogin };

struct ServiceRequest {
    ServiceRequest() = default;
    // A GET without cookies.
    explicit ServiceRequest(Text address) : url(std::move(address)) {}
    // A GET with the login cookies where they may go.
    ServiceRequest(Text address, Text cookies)
        : url(std::move(address)), cookies(SendCookies::kLogin), loginCookies(std::move(cookies)) {}

    Text url;
    // kLogin: loginCookies go with the request, but only where login cookies may (https, a
    // service host).
    SendCookies cookies = SendCookies::kNone;
    Text loginCookies;
    size_t bodyCap = 0;      // 0: the engine's own limit
    unsigned silenceMs = 0;  // 0: the engine's own receive time-out
    // When set, the request waits its turn here, and answers that ask to slow down are asked
    // again without using up a try.
    RateBackoff* backoff = nullptr;
    // When set, each try holds a permit for its request only, so the pause before the next try
    // leaves the network to another worker.
    FetchGate* gate = nullptr;
    // When set, each try starts no sooner than this pace allows, and teaches it what the
    // service said (limited or not).
    Pace* pace = nullptr;
    // Reuses a kept connection (pictures: no cookies, many requests to few hosts).
    bool keptSession = false;
    // Answers that ask for a new sign-in (a login page, the service's "log in" JSON, a 432 that
    // outlasts a pause, an answer the policy refused while the viewer page says signed out) come
    // back at once marked signInLost, without using up the tries. Only requests that carry the
    // login cookies can lose a sign-in: without them a 432 is a limit like any other.
    bool watchSignIn = false;
};

// kLimitOutlasted: the service limited the request's back-off for longer than its bound.
enum class AnswerKind { kAnswered, kNoAnswer, kStopped, kLimitOutlasted };

struct ServiceAnswer {
    AnswerKind kind = AnswerKind::kNoAnswer;
    int status = 0;
    RawBody body;
    Text setCookies;                  // the cookies the answer set
    unsigned long platformError = 0;  // why no answer came
    int tries = 0;
    bool accepted = false;    // the retry policy's check held
    bool signInLost = false;  // the service wants a new sign-in (only when watched for)
    // The image host answered with its placeholder for a removed picture: never a picture.
    bool removed = false;
    bool Answered() const { return kind == AnswerKind::kAnswered; }
    static ServiceAnswer Ended(AnswerKind kind) {
        ServiceAnswer answer;
        answer.kind = kind;
        return answer;
    }
    static ServiceAnswer Stopped() { return Ended(AnswerKind::kStopped); }
};

struct RetryPolicy {
    int tries = 1;
    unsigned pauseMs = 300;
    // What counts as the answer the caller wanted; anything else is asked again while tries
    // are left. By default any whole answer, whatever its status.
    std::function<bool(const ServiceAnswer&)> good;
};

// Failed requests of the flows are asked again after this pause, at most this many times in all.
constexpr int kFetchAttempts = 3;
constexpr unsigned kRetryPauseMs = 300;
// A picture connection silent this long on one try is given up (the try then fails as usual).
constexpr unsigned kPictureSilenceMs = 30000;
constexpr size_t kPictureBodyCap = size_t{256} << 20;
constexpr size_t kListingBodyCap = size_t{16} << 20;

// What the viewer page says of a sign-in.
enum class SignInCheck { kSignedIn, kSignedOut, kUnknown };
using SignInChecker = std::function<SignInCheck(const Text& loginCookies, const FlowToken&)>;

class ServiceClient {
  public:
    // log, when given, hears of every request that failed or was limited and of every pause.
    explicit ServiceClient(RunLog* log = nullptr);
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    // The request under the policy. onBackoffChange hears when a try opened or ended a pause of
    // the request's back-off. kStopped when the token asked to stop before an answer was had.
    ServiceAnswer Fetch(const ServiceRequest& request, const FlowToken& token,
                        const RetryPolicy& policy = RetryPolicy(),
                        const std::function<void()>& onBackoffChange = nullptr);

    // How long a picture connection may stay silent; tests shorten it so a stalled host costs
    // them seconds rather than minutes.
    unsigned PictureSilenceMs() const { return pictureSilenceMs_.load(); }
    void SetPictureSilenceMs(unsigned ms) { pictureSilenceMs_.store(ms); }

    // The paces learnt from the service's limits, for as long as the client lives: listing
    // and catalogue pages share one, the pictures have the other.
    Pace& ListingPace() { return listingPace_; }
    Pace& PicturePace() { return picturePace_; }

    // How a watched request that carries the login cookies, answered in a shape its policy
    // refused, finds out whether the sign-in is gone (asked once per Fetch). Set before the
    // first Fetch; unset, such answers only count as failed.
    void SetSignInCheck(SignInChecker check) { signInCheck_ = std::move(check); }

  private:
    struct OneTry;
    OneTry TryOnce(const ServiceRequest& request);
    OneTry PacedTry(const ServiceRequest& request, const FlowToken& token);
    Text CookiesFor(const Text& loginCookies);
    void KeepCookies(const Text& loginCookies, const Text& setCookies);
    bool IsPlaceholder(const Text& url, const ByteBuffer& body);
    ServiceAnswer TryUnderBackoff(const ServiceRequest& request, const FlowToken& token,
                                  const std::function<void()>& onBackoffChange);
    std::unique_ptr<WebSession> TakeSession(unsigned silenceMs);
    void KeepSession(std::unique_ptr<WebSession> web, unsigned silenceMs);
    void LogMiss(const ServiceRequest& request, const ServiceAnswer& answer, int tries,
                 unsigned pauseMs);
    void LogBackoff(const ServiceRequest& request, int status, RateBackoff::Change change);
    void LogSignInLost(const ServiceRequest& request, const ServiceAnswer& answer);
    void LogRemoved(const ServiceRequest& request);

    RunLog* const log_;

    std::atomic<unsigned> pictureSilenceMs_{kPictureSilenceMs};
    std::mutex keptMutex_;
    std::vector<std::unique_ptr<WebSession>> kept_;
    unsigned keptSilenceMs_ = 0;

    Pace listingPace_;
    Pace picturePace_;
    SignInChecker signInCheck_;

    // The cookies the service set on answers to signed-in requests (a rotating XSRF-TOKEN),
    // sent back with the sign-in they came with, as a browser would; a new sign-in starts afresh.
    std::mutex cookiesMutex_;
    Text cookiesSignIn_;
    CookieJar serviceCookies_;
    // The placeholder's bytes once one came by its address, to know it by its bytes as well.
    std::mutex placeholderMutex_;
    ByteBuffer placeholder_;
};
