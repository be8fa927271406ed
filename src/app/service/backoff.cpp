#include "app/service/backoff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "text/text_helpers.h"

namespace {

constexpr unsigned kShortestRetryAfterMs = 1000;
constexpr unsigned kLongestRetryAfterMs = 600000;

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

// An HTTP date in the form servers must send ("Sun, 06 Nov 1994 08:49:37 GMT"). The platform's
// own parser is lenient enough to read "at 10:00" as today, so it is not used.
bool ParseHttpDate(const Text& text, SYSTEMTIME& out) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char weekday[4] = {};
    char month[4] = {};
    char zone[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d %3s%n", weekday, &day,
                    month, &year, &hour, &minute, &second, zone, &used) != 8 ||
        static_cast<size_t>(used) != text.size() || std::strcmp(zone, "GMT") != 0) {
        return false;
    }
    for (int m = 0; m < 12; ++m) {
        if (std::strcmp(month, kMonths[m]) != 0) continue;
        out = SYSTEMTIME{};
        out.wYear = static_cast<WORD>(year);
        out.wMonth = static_cast<WORD>(m + 1);
        out.wDay = static_cast<WORD>(day);
        out.wHour = static_cast<WORD>(hour);
        out.wMinute = static_cast<WORD>(minute);
        out.wSecond = static_cast<WORD>(second);
        return true;
    }
    return false;
}

}  // namespace

bool IsRateLimited(int status, const Text& retryAfter) {
    if (status == 418 || status == 429 || status == 414 || status == 432) return true;
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
    if (!ParseHttpDate(text, when) || !SystemTimeToFileTime(&when, &whenFile) ||
        !SystemTimeToFileTime(&nowUtc, &nowFile)) {
        return std::nullopt;
    }
    const unsigned long long at = FileTimeValue(whenFile);
    const unsigned long long now = FileTimeValue(nowFile);
    return ClampRetryAfter(at > now ? (at - now) / 10000 : 0);
}

RateBackoff::Ticket RateBackoff::WaitTurn(const FlowToken& token) {
    std::unique_lock<std::mutex> guard(mutex_);
    const std::stop_token stop = token.StopToken();
    for (;;) {
        if (stop.stop_requested()) return Ticket{epoch_, false, false};
        const Clock::time_point now = Clock::now();
        const Clock::time_point boundAt = limitedSince_ + std::chrono::milliseconds(boundMs_);
        if (limited_ && now >= boundAt) {
            outlasted_ = true;
            Changed();
        }
        if (outlasted_) return Ticket{epoch_, false, false, true};
        if (!limited_) return Ticket{epoch_, false, true};
        if (now >= resumeAt_ && !probing_) {
            probing_ = true;
            return Ticket{epoch_, true, true};
        }
        // Until the pause ends (or the bound passes), anything changes, or the flow stops.
        const unsigned long long seen = changes_;
        changed_.wait_until(guard, stop, now < resumeAt_ ? std::min(resumeAt_, boundAt) : boundAt,
                            [this, seen] { return changes_ != seen; });
    }
}

void RateBackoff::Changed() {
    ++changes_;
    changed_.notify_all();
}

RateBackoff::Change RateBackoff::Report(const Ticket& ticket, Outcome outcome,
                                        std::optional<unsigned> retryAfterMs, const Text& scope) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ticket.granted) return Change::kNone;
    switch (outcome) {
        case Outcome::kLimited: {
            // Requests sent before the open pause began report the same limit again; only
            // the first of them, or the probe, opens (or extends) a pause.
            if (ticket.epoch != epoch_) return Change::kNone;
            const unsigned pause = retryAfterMs.value_or(nextPauseMs_);
            openPauseMs_ = retryAfterMs ? 0 : pause;
            if (!retryAfterMs) nextPauseMs_ = std::min(nextPauseMs_ * 2, kLongestPauseMs);
            ++epoch_;
            ++pauses_;
            if (!limited_) limitedSince_ = Clock::now();
            limited_ = true;
            limitedScope_ = scope;
            probing_ = false;
            resumeAt_ = Clock::now() + std::chrono::milliseconds(pause);
            resumeAtFileTime_ = NowFileTime() + static_cast<unsigned long long>(pause) * 10000;
            Changed();
            return Change::kPaused;
        }
        case Outcome::kThrough:
            if (!ticket.probe || ticket.epoch != epoch_) return Change::kNone;
            if (scope != limitedScope_) {
                // A page answered while the picture hosts still limit (or the other way round)
                // says nothing of that limit: the pause stays, and the next request probes.
                probing_ = false;
                Changed();
                return Change::kNone;
            }
            limited_ = false;
            probing_ = false;
            // A probe sent into a ban that every request restarts costs the ban again: the
            // pause that outlasted it is where the next one starts.
            firstPauseMs_ = std::max(firstPauseMs_, openPauseMs_);
            nextPauseMs_ = firstPauseMs_;
            Changed();
            return Change::kResumed;
        case Outcome::kFailed:
            // No answer tells nothing about the limit: let another request probe.
            if (ticket.probe && ticket.epoch == epoch_) {
                probing_ = false;
                Changed();
            }
            return Change::kNone;
    }
    return Change::kNone;
}

void RateBackoff::SetBoundMs(unsigned ms) {
    std::lock_guard<std::mutex> guard(mutex_);
    boundMs_ = ms;
    Changed();
}

bool RateBackoff::Outlasted() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return outlasted_;
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
