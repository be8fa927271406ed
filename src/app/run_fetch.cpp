#include "app/run_fetch.h"

#include <atomic>

#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

std::atomic<unsigned> pictureSilenceMs{kPictureSilenceMs};

struct OneAnswer {
    RunAnswer answer;
    bool limited = false;
    std::optional<unsigned> retryAfterMs;
};

OneAnswer GetOnce(const Text& url, const std::optional<Text>& cookies, const FetchLimits& limits) {
    OneAnswer out;
    WebSession web;
    // Before Open: the engine hands the receive time-out to each request as it opens it.
    if (limits.silenceMs > 0) {
        web.SetTimeouts(std::nullopt, std::nullopt, std::nullopt,
                        static_cast<int>(limits.silenceMs));
    }
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
    if (limits.bodyCap > 0 && web.ContentLength() > 0 &&
        static_cast<size_t>(web.ContentLength()) > limits.bodyCap) {
        return out;
    }
    ByteBuffer body = web.GetBody();
    if (!web.BodyComplete() || (limits.bodyCap > 0 && body.size() > limits.bodyCap)) return out;
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
        OneAnswer one = GetOnce(url, cookies, limits);
        const RateBackoff::Outcome outcome =
            one.limited ? RateBackoff::Outcome::kLimited
                        : (one.answer.answered ? RateBackoff::Outcome::kThrough
                                               : RateBackoff::Outcome::kFailed);
        if (backoff.Report(ticket, outcome, one.retryAfterMs) != RateBackoff::Change::kNone &&
            onChange) {
            onChange();
        }
        if (!one.limited) return std::move(one.answer);
    }
}
