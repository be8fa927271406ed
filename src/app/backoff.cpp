#include "app/backoff.h"

#include <winhttp.h>

#include <algorithm>

#include "text/text_helpers.h"

namespace {

constexpr unsigned kShortestRetryAfterMs = 1000;
constexpr unsigned kLongestRetryAfterMs = 600000;
constexpr unsigned kStopCheckMs = 50;

unsigned long long FileTimeValue(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

unsigned long long NowFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

unsigned ClampRetryAfter(unsigned long long ms) {
    return static_cast<unsigned>(
        std::clamp<unsigned long long>(ms, kShortestRetryAfterMs, kLongestRetryAfterMs));
}

}  // namespace

bool IsRateLimited(int status, const Text& retryAfter) {
    if (status == 418 || status == 429 || status == 414) return true;
    return status >= 400 && !TrimSpaces(retryAfter).empty();
}

std::optional<unsigned> RetryAfterMs(const Text& value, const SYSTEMTIME& nowUtc) {
    const Text text = TrimSpaces(value);
    if (text.empty()) return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Ten digits of seconds already pass the longest pause; more would only overflow.
        if (text.size() > 10) return ClampRetryAfter(kLongestRetryAfterMs);
        return ClampRetryAfter(std::stoull(text) * 1000);
    }
    SYSTEMTIME when{};
    FILETIME whenFile{};
    FILETIME nowFile{};
    // Every HTTP date form holds a time of day; the platform's parser reads too much as a date.
    if (text.find(':') == Text::npos) return std::nullopt;
    if (!WinHttpTimeToSystemTime(WinStr(AnsiToWide(text)), &when) || when.wYear < 1980 ||
        !SystemTimeToFileTime(&when, &whenFile) || !SystemTimeToFileTime(&nowUtc, &nowFile)) {
        return std::nullopt;
    }
    const unsigned long long at = FileTimeValue(whenFile);
    const unsigned long long now = FileTimeValue(nowFile);
    return ClampRetryAfter(at > now ? (at - now) / 10000 : 0);
}

RateBackoff::Ticket RateBackoff::WaitTurn(const FlowToken& token) {
    std::unique_lock<std::mutex> guard(mutex_);
    for (;;) {
        if (token.StopRequested()) return Ticket{epoch_, false, false};
        if (!limited_) return Ticket{epoch_, false, true};
        const Clock::time_point now = Clock::now();
        const Clock::time_point slice = now + std::chrono::milliseconds(kStopCheckMs);
        if (now < resumeAt_) {
            changed_.wait_until(guard, std::min(resumeAt_, slice));
        } else if (probing_) {
            changed_.wait_until(guard, slice);
        } else {
            probing_ = true;
            return Ticket{epoch_, true, true};
        }
    }
}

RateBackoff::Change RateBackoff::Report(const Ticket& ticket, Outcome outcome,
                                        std::optional<unsigned> retryAfterMs) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ticket.granted) return Change::kNone;
    switch (outcome) {
        case Outcome::kLimited: {
            // Requests sent before the open pause began report the same limit again; only
            // the first of them, or the probe, opens (or extends) a pause.
            if (ticket.epoch != epoch_) return Change::kNone;
            const unsigned pause = retryAfterMs.value_or(nextPauseMs_);
            if (!retryAfterMs) nextPauseMs_ = std::min(nextPauseMs_ * 2, kLongestPauseMs);
            ++epoch_;
            ++pauses_;
            limited_ = true;
            probing_ = false;
            resumeAt_ = Clock::now() + std::chrono::milliseconds(pause);
            resumeAtFileTime_ = NowFileTime() + static_cast<unsigned long long>(pause) * 10000;
            changed_.notify_all();
            return Change::kPaused;
        }
        case Outcome::kThrough:
            if (!ticket.probe || ticket.epoch != epoch_) return Change::kNone;
            limited_ = false;
            probing_ = false;
            nextPauseMs_ = kFirstPauseMs;
            changed_.notify_all();
            return Change::kResumed;
        case Outcome::kFailed:
            // No answer tells nothing about the limit: let another request probe.
            if (ticket.probe && ticket.epoch == epoch_) {
                probing_ = false;
                changed_.notify_all();
            }
            return Change::kNone;
    }
    return Change::kNone;
}

bool RateBackoff::Paused() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return limited_;
}

SYSTEMTIME RateBackoff::ResumeAtLocal() const {
    unsigned long long at = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        at = resumeAtFileTime_;
    }
    FILETIME utc{static_cast<DWORD>(at & 0xFFFFFFFFu), static_cast<DWORD>(at >> 32)};
    SYSTEMTIME utcTime{};
    SYSTEMTIME local{};
    FileTimeToSystemTime(&utc, &utcTime);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local)) return utcTime;
    return local;
}

int RateBackoff::PauseCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return pauses_;
}
