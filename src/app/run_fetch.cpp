#include "app/run_fetch.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

std::atomic<unsigned> pictureSilenceMs{kPictureSilenceMs};

struct OneAnswer {
    RunAnswer answer;
    bool limited = false;
    std::optional<unsigned> retryAfterMs;
};

// Picture sessions are kept between fetches, so a worker reuses its connection to the picture
// host instead of paying for a session (and on Windows a handshake) per picture. They carry no
// cookies; listing requests, which do, get a session of their own each time.
class KeptSessions {
  public:
    std::unique_ptr<WebSession> Take(unsigned silenceMs) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (silenceMs == silenceMs_ && !idle_.empty()) {
                std::unique_ptr<WebSession> web = std::move(idle_.back());
                idle_.pop_back();
                return web;
            }
        }
        auto web = std::make_unique<WebSession>();
        // Before Open: the engine hands the receive time-out to each request as it opens it.
        if (silenceMs > 0)
            web->SetTimeouts(std::nullopt, std::nullopt, std::nullopt, static_cast<int>(silenceMs));
        return web;
    }
    void Give(std::unique_ptr<WebSession> web, unsigned silenceMs) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (silenceMs != silenceMs_) {
            idle_.clear();
            silenceMs_ = silenceMs;
        }
        if (idle_.size() < kKept) idle_.push_back(std::move(web));
    }

  private:
    static constexpr size_t kKept = 8;  // the pool's five workers, with room to spare
    std::mutex mutex_;
    std::vector<std::unique_ptr<WebSession>> idle_;
    unsigned silenceMs_ = 0;
};

KeptSessions& PictureSessions() {
    static KeptSessions* sessions = new KeptSessions;  // lives to the end of the process
    return *sessions;
}

OneAnswer GetOnce(WebSession& web, const Text& url, const std::optional<Text>& cookies,
                  const FetchLimits& limits) {
    OneAnswer out;
    web.SetMaxBodySize(limits.bodyCap);
    if (!web.Open("GET", url)) return out;
    if (cookies && MayCarryLoginCookies(web.CurrentUrl())) web.SetCookie(*cookies);
    if (!web.Send()) return out;
    const int status = web.GetStatusCode();
    const Text retryAfter = web.GetResponseHeader("Retry-After");
    if (IsRateLimited(status, retryAfter)) {
        SYSTEMTIME now;
        GetSystemTime(&now);
        out.limited = true;
        out.retryAfterMs = RetryAfterMs(retryAfter, now);
        return out;
    }
    // The engine stops reading at the cap: an answer over it reads as incomplete.
    ByteBuffer body = web.GetBody();
    if (!web.BodyComplete()) return out;
    out.answer.answered = true;
    out.answer.status = status;
    out.answer.body = std::move(body);
    return out;
}

}  // namespace

bool PauseUnlessStopped(const FlowToken& token, unsigned ms) {
    for (unsigned waited = 0; waited < ms; waited += 15) {
        if (token.StopRequested()) return false;
        Sleep(15);
    }
    return !token.StopRequested();
}

FetchLimits PictureLimits() {
    return FetchLimits{pictureSilenceMs.load(), kPictureBodyCap};
}

void SetPictureSilenceMs(unsigned ms) {
    pictureSilenceMs.store(ms);
}

RunAnswer FetchUnderBackoff(RateBackoff& backoff, const FlowToken& token, const Text& url,
                            const std::optional<Text>& cookies, const FetchLimits& limits,
                            const std::function<void()>& onChange) {
    for (;;) {
        const RateBackoff::Ticket ticket = backoff.WaitTurn(token);
        if (!ticket.granted) return RunAnswer{};
        OneAnswer one;
        if (cookies) {
            WebSession web;
            if (limits.silenceMs > 0)
                web.SetTimeouts(std::nullopt, std::nullopt, std::nullopt,
                                static_cast<int>(limits.silenceMs));
            one = GetOnce(web, url, cookies, limits);
        } else {
            std::unique_ptr<WebSession> web = PictureSessions().Take(limits.silenceMs);
            one = GetOnce(*web, url, cookies, limits);
            PictureSessions().Give(std::move(web), limits.silenceMs);
        }
        const RateBackoff::Outcome outcome =
            one.limited ? RateBackoff::Outcome::kLimited
                        : (one.answer.answered ? RateBackoff::Outcome::kThrough
                                               : RateBackoff::Outcome::kFailed);
        if (backoff.Report(ticket, outcome, one.retryAfterMs, RateLimitScope(url)) !=
                RateBackoff::Change::kNone &&
            onChange) {
            onChange();
        }
        if (!one.limited) return std::move(one.answer);
    }
}
