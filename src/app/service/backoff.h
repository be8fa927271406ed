#pragma once
// One back-off shared by every request of a group of a download run (its listing, its pictures:
// the service limits them apart). A service that says "slow down" (418, 429, 414, 432, or any
// error status with Retry-After) is obeyed by all workers of the group together: the first answer
// of that kind opens a pause, the others wait on it instead of sending, and when the pause ends a
// single request probes whether the limit is over. Once one request goes through, everybody
// resumes. A pause that had to double before a probe went through is where the next one starts.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "app/flow_slot.h"
#include "text/text_types.h"

// True when an answer with this status (and Retry-After value, empty when absent) asks the
// client to slow down rather than saying the request itself is wrong.
bool IsRateLimited(int status, const Text& retryAfter);

// Milliseconds a Retry-After value asks for (delta seconds or an HTTP date, against nowUtc),
// kept between 1 s and 10 min; nothing when the value is empty or unreadable.
std::optional<unsigned> RetryAfterMs(const Text& value, const SYSTEMTIME& nowUtc);

class RateBackoff {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr unsigned kFirstPauseMs = 2000;
    // A ban that every request during it restarts outlasts, for good, any pause shorter than
    // itself: the pause doubles up to minutes, and the bound below still ends the run.
    static constexpr unsigned kLongestPauseMs = 300000;
    // A service that has let no request through for this long is not waited for any more.
    static constexpr unsigned kLimitBoundMs = 600000;

    // What a request was allowed to do; hand it back to Report.
    struct Ticket {
        unsigned epoch = 0;
        bool probe = false;
        bool granted = false;    // false: the token asked to stop while waiting, or:
        bool outlasted = false;  // the limit outlasted the bound; nothing more will be let through
    };
    enum class Outcome { kThrough, kLimited, kFailed };
    // What changed, so the caller can tell the user.
    enum class Change { kNone, kPaused, kResumed };

    // Waits while a pause is open, or while another request probes. Returns at once when no
    // limit is in effect.
    // A stop of the token wakes the wait at once.
    [[nodiscard]] Ticket WaitTurn(const FlowToken& token);
    // After the request: kLimited with the Retry-After it asked for (none: the doubling pause);
    // kThrough when the service answered anything else; kFailed when no answer came. `scope`
    // names the hosts that answered (one name for a group that limits as one): only an answer
    // from the hosts that opened the pause can end it.
    Change Report(const Ticket& ticket, Outcome outcome,
                  std::optional<unsigned> retryAfterMs = std::nullopt, const Text& scope = Text());

    // How long the service may limit without letting one request through (tests shorten it).
    void SetBoundMs(unsigned ms);
    // The limit outlasted the bound: every request waiting, and every later one, is refused.
    bool Outlasted() const;

    bool Paused() const;
    // When the open pause ends (local wall clock), for the status line.
    SYSTEMTIME ResumeAtLocal() const;
    // How many pauses were opened (a probe that met the limit again opens the next one).
    int PauseCount() const;

  private:
    mutable std::mutex mutex_;
    // Wakes every waiter; under the lock.
    void Changed();

    std::condition_variable_any changed_;
    unsigned long long changes_ = 0;  // so a waiter tells a wake of its own from a spurious one
    bool limited_ = false;
    bool probing_ = false;
    unsigned epoch_ = 0;
    unsigned nextPauseMs_ = kFirstPauseMs;
    unsigned firstPauseMs_ = kFirstPauseMs;  // the longest pause a limit has needed to end
    unsigned openPauseMs_ = 0;  // the open pause's own length; 0 when Retry-After set it
    Clock::time_point resumeAt_{};
    unsigned long long resumeAtFileTime_ = 0;  // UTC, for the status line
    int pauses_ = 0;
    Text limitedScope_;
    unsigned boundMs_ = kLimitBoundMs;
    Clock::time_point limitedSince_{};  // the first limit since a request last went through
    bool outlasted_ = false;
};
