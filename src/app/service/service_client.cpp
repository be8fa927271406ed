#include "app/service/service_client.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "app/service/picture_bytes.h"
#include "app/service/run_log.h"
#include "app/service/service_answers.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

// The pool's five workers, with room to spare.
constexpr size_t kKeptSessions = 8;

void ApplySilence(WebSession& web, unsigned silenceMs) {
    // Before Open: the engine hands the receive time-out to each request as it opens it.
    if (silenceMs > 0)
        web.SetTimeouts(std::nullopt, std::nullopt, std::nullopt, static_cast<int>(silenceMs));
}

// The status the service gives both to a client it wants slower and to one whose sign-in it no
// longer takes: a limit the first time, an expired sign-in when it outlasts a pause.
constexpr int kSlowDownOrSignIn = 432;

// Where the service sends a request whose sign-in it no longer takes.
bool IsSignInAddress(const Text& url) {
    const Text host = UrlHost(url);
    return host == kLoginHost || host == kPassportHost;
}

RateBackoff::Outcome OutcomeOf(bool limited, const ServiceAnswer& answer) {
    if (limited) return RateBackoff::Outcome::kLimited;
    return answer.Answered() ? RateBackoff::Outcome::kThrough : RateBackoff::Outcome::kFailed;
}

}  // namespace

Text RawBody::FromUtf8() const {
    return bytes_.empty() ? Text() : Utf8ToAnsi(bytes_);
}

struct ServiceClient::OneTry {
    ServiceAnswer answer;
    bool limited = false;      // a limit the request's back-off waits out
    bool limitAnswer = false;  // the service asked to slow down, back-off or not
    bool loginSent = false;    // the login cookies went with the request
    std::optional<unsigned> retryAfterMs;
};

ServiceClient::ServiceClient(RunLog* log) : log_(log) {}
ServiceClient::~ServiceClient() = default;

// Picture sessions are kept between fetches, so a worker reuses its connection to the picture
// host instead of paying for a session (and on Windows a handshake) per picture. They carry no
// cookies; requests that do get a session of their own each time.
std::unique_ptr<WebSession> ServiceClient::TakeSession(unsigned silenceMs) {
    {
        std::lock_guard<std::mutex> guard(keptMutex_);
        if (silenceMs == keptSilenceMs_ && !kept_.empty()) {
            std::unique_ptr<WebSession> web = std::move(kept_.back());
            kept_.pop_back();
            return web;
        }
    }
    auto web = std::make_unique<WebSession>();
    ApplySilence(*web, silenceMs);
    return web;
}

void ServiceClient::KeepSession(std::unique_ptr<WebSession> web, unsigned silenceMs) {
    std::lock_guard<std::mutex> guard(keptMutex_);
    if (silenceMs != keptSilenceMs_) {
        kept_.clear();
        keptSilenceMs_ = silenceMs;
    }
    if (kept_.size() < kKeptSessions) kept_.push_back(std::move(web));
}

// The sign-in's own cookies win over any of the same name the service set since.
Text ServiceClient::CookiesFor(const Text& loginCookies) {
    std::lock_guard<std::mutex> guard(cookiesMutex_);
    if (cookiesSignIn_ != loginCookies || serviceCookies_.CookieText().empty()) return loginCookies;
    CookieJar jar;
    jar.AddCookies(serviceCookies_.CookieText());
    if (!jar.AddCookies(loginCookies)) return loginCookies;
    return jar.CookieText();
}

void ServiceClient::KeepCookies(const Text& loginCookies, const Text& setCookies) {
    std::lock_guard<std::mutex> guard(cookiesMutex_);
    if (cookiesSignIn_ != loginCookies) {
        serviceCookies_.Clear();
        cookiesSignIn_ = loginCookies;
    }
    if (!setCookies.empty()) serviceCookies_.AddCookies(setCookies);
}

bool ServiceClient::IsPlaceholder(const Text& url, const ByteBuffer& body) {
    std::lock_guard<std::mutex> guard(placeholderMutex_);
    if (IsPlaceholderUrl(url)) {
        if (placeholder_.empty()) placeholder_ = body;
        return true;
    }
    return !placeholder_.empty() && body == placeholder_;
}

ServiceClient::OneTry ServiceClient::TryOnce(const ServiceRequest& request) {
    OneTry out;
    std::unique_ptr<WebSession> web;
    if (request.keptSession) {
        web = TakeSession(request.silenceMs);
    } else {
        web = std::make_unique<WebSession>();
        ApplySilence(*web, request.silenceMs);
    }
    web->SetMaxBodySize(request.bodyCap);
    ServiceAnswer& answer = out.answer;
    if (web->Open("GET", request.url)) {
        web->SetUserAgent(kBrowserUserAgent);
        const bool picture = IsImageHostUrl(web->CurrentUrl());
        if (picture) web->SetReferer(kSiteReferer);
        out.loginSent = request.cookies == SendCookies::kLogin && !request.loginCookies.empty() &&
                        MayCarryLoginCookies(web->CurrentUrl());
        if (out.loginSent) web->SetCookie(CookiesFor(request.loginCookies));
        if (web->Send()) {
            answer.status = web->GetStatusCode();
            const Text retryAfter = web->GetResponseHeader("Retry-After");
            out.limitAnswer = IsRateLimited(answer.status, retryAfter);
            if (request.backoff && out.limitAnswer) {
                SYSTEMTIME now;
                GetSystemTime(&now);
                out.limited = true;
                out.retryAfterMs = RetryAfterMs(retryAfter, now);
            } else {
                answer.body = RawBody(web->GetBody());
                answer.setCookies = web->GetSetCookies();
                if (out.loginSent && MayCarryLoginCookies(web->CurrentUrl()))
                    KeepCookies(request.loginCookies, answer.setCookies);
                // The engine stops reading at the cap: an answer over it reads as incomplete.
                const bool whole = web->BodyComplete() || (!request.backoff && answer.body.empty());
                if (whole) answer.kind = AnswerKind::kAnswered;
                if (whole && picture)
                    answer.removed = IsPlaceholder(web->CurrentUrl(), answer.body.Bytes());
                if (whole && request.watchSignIn && out.loginSent)
                    answer.signInLost =
                        IsSignInAddress(web->CurrentUrl()) || AsksForSignIn(answer.body.Bytes());
            }
        }
    }
    if (!answer.Answered()) answer.platformError = web->LastError();
    if (request.keptSession) KeepSession(std::move(web), request.silenceMs);
    return out;
}

// One try, started when the request's pace allows, which learns from what the service said.
ServiceClient::OneTry ServiceClient::PacedTry(const ServiceRequest& request,
                                              const FlowToken& token) {
    if (!request.pace) return TryOnce(request);
    const Pace::Clock::time_point now = Pace::Clock::now();
    const Pace::Turn turn = request.pace->Take(now);
    if (turn.at > now) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(turn.at - now).count();
        if (!token.WaitFor(static_cast<unsigned long>(wait))) {
            OneTry stopped;
            stopped.answer = ServiceAnswer::Stopped();
            return stopped;
        }
    }
    OneTry one = TryOnce(request);
    if (one.limitAnswer) {
        request.pace->Limited(turn);
    } else if (one.answer.Answered()) {
        request.pace->Through(turn);
    }
    return one;
}

// One try, sent again without using up a try for as long as the service says to slow down
// (waiting on the back-off meanwhile).
ServiceAnswer ServiceClient::TryUnderBackoff(const ServiceRequest& request, const FlowToken& token,
                                             const std::function<void()>& onBackoffChange) {
    if (!request.backoff) return PacedTry(request, token).answer;
    for (;;) {
        const RateBackoff::Ticket ticket = request.backoff->WaitTurn(token);
        if (!ticket.granted)
            return ServiceAnswer::Ended(ticket.outlasted ? AnswerKind::kLimitOutlasted
                                                         : AnswerKind::kStopped);
        OneTry one = PacedTry(request, token);
        if (one.answer.kind == AnswerKind::kStopped) {
            request.backoff->Report(ticket, RateBackoff::Outcome::kFailed);
            return std::move(one.answer);
        }
        // A request without the login cookies has no sign-in to lose: its 432 stays a limit,
        // which the back-off's bound ends.
        if (one.limited && ticket.probe && request.watchSignIn && one.loginSent &&
            one.answer.status == kSlowDownOrSignIn) {
            one.limited = false;
            one.answer.kind = AnswerKind::kAnswered;
            one.answer.signInLost = true;
        }
        const RateBackoff::Change change =
            request.backoff->Report(ticket, OutcomeOf(one.limited, one.answer), one.retryAfterMs,
                                    RateLimitScope(request.url));
        if (one.limited || change != RateBackoff::Change::kNone)
            LogBackoff(request, one.limited ? one.answer.status : 0, change);
        if (change != RateBackoff::Change::kNone && onBackoffChange) onBackoffChange();
        if (!one.limited) return std::move(one.answer);
    }
}

ServiceAnswer ServiceClient::Fetch(const ServiceRequest& request, const FlowToken& token,
                                   const RetryPolicy& policy,
                                   const std::function<void()>& onBackoffChange) {
    ServiceAnswer answer;
    bool signInChecked = false;
    for (int attempt = 0; attempt < std::max(policy.tries, 1); ++attempt) {
        if (attempt > 0 && !token.WaitFor(policy.pauseMs)) return ServiceAnswer::Stopped();
        std::optional<GateTurn> turn;
        if (request.gate) {
            turn.emplace(*request.gate, token);
            if (!turn->Held()) return ServiceAnswer::Stopped();
        }
        answer = TryUnderBackoff(request, token, onBackoffChange);
        turn.reset();
        answer.tries = attempt + 1;
        if (answer.kind == AnswerKind::kStopped || answer.kind == AnswerKind::kLimitOutlasted)
            return answer;
        if (answer.signInLost) {
            LogSignInLost(request, answer);
            return answer;
        }
        if (answer.removed) {
            LogRemoved(request);
            return answer;
        }
        answer.accepted = policy.good ? policy.good(answer) : answer.Answered();
        if (answer.accepted) return answer;
        // A refused answer in no shape known to mean "signed out" may still mean it: the viewer
        // page, the one reliable test, is asked once.
        if (!signInChecked && request.watchSignIn && request.cookies == SendCookies::kLogin &&
            !request.loginCookies.empty() && signInCheck_ && answer.status >= 200 &&
            answer.status < 300) {
            signInChecked = true;
            if (signInCheck_(request.loginCookies, token) == SignInCheck::kSignedOut) {
                answer.signInLost = true;
                LogSignInLost(request, answer);
                return answer;
            }
        }
        LogMiss(request, answer, policy.tries, policy.pauseMs);
    }
    return answer;
}

void ServiceClient::LogMiss(const ServiceRequest& request, const ServiceAnswer& answer, int tries,
                            unsigned pauseMs) {
    if (!log_) return;
    log_->LearnSecretsIn(request.url);
    Text what;
    if (!answer.Answered()) {
        what = JoinTexts("no answer (error ", std::to_string(answer.platformError), ")");
    } else if (answer.status >= 200 && answer.status < 300) {
        what = JoinTexts("status ", std::to_string(answer.status),
                         ", not what was asked for: ", DescribeNonPicture(answer.body.Bytes()));
    } else {
        what = JoinTexts("status ", std::to_string(answer.status));
    }
    const Text next = answer.tries < tries
                          ? JoinTexts("asking again in ", std::to_string(pauseMs), " ms")
                          : Text("giving up");
    log_->AddLine(JoinTexts("GET ", RedactedUrl(request.url), " -> ", what, "; try ",
                            std::to_string(answer.tries), " of ", std::to_string(tries), ", ",
                            next));
}

void ServiceClient::LogBackoff(const ServiceRequest& request, int status,
                               RateBackoff::Change change) {
    if (!log_) return;
    log_->LearnSecretsIn(request.url);
    if (status != 0)
        log_->AddLine(JoinTexts("GET ", RedactedUrl(request.url), " -> status ",
                                std::to_string(status),
                                ": the service asks to slow down; sent again after the pause"));
    if (change == RateBackoff::Change::kPaused) {
        const SYSTEMTIME at = request.backoff->ResumeAtLocal();
        char clock[16];
        snprintf(clock, sizeof clock, "%02u:%02u:%02u", at.wHour, at.wMinute, at.wSecond);
        log_->AddLine(JoinTexts("pause until ", clock,
                                ": the service asked every request of the run to slow down"));
    } else if (change == RateBackoff::Change::kResumed) {
        log_->AddLine("pause over: a request went through, the run goes on");
    }
}

void ServiceClient::LogRemoved(const ServiceRequest& request) {
    if (!log_) return;
    log_->AddLine(
        JoinTexts("GET ", RedactedUrl(request.url),
                  " -> the service's placeholder: the picture was removed, nothing written"));
}

void ServiceClient::LogSignInLost(const ServiceRequest& request, const ServiceAnswer& answer) {
    if (!log_) return;
    log_->LearnSecretsIn(request.url);
    log_->AddLine(JoinTexts("GET ", RedactedUrl(request.url), " -> status ",
                            std::to_string(answer.status), ": the service asks for a new sign-in"));
}
