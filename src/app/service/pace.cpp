#include "app/service/pace.h"

#include <algorithm>

namespace {

double Clamped(double rate) {
    return std::clamp(rate, Pace::kSlowestRate, Pace::kFastestRate);
}

Pace::Clock::duration GapAt(double rate) {
    return std::chrono::duration_cast<Pace::Clock::duration>(
        std::chrono::duration<double>(1.0 / rate));
}

}  // namespace

Pace::Turn Pace::Take(Clock::time_point now) {
    std::lock_guard<std::mutex> guard(mutex_);
    Turn turn{epoch_, now};
    if (rate_ > 0) {
        turn.at = std::max(now, next_);
        next_ = turn.at + GapAt(rate_);
    }
    if (!counting_ || (!learning_ && turn.at - lastStart_ > kQuiet)) {
        counting_ = true;
        since_ = turn.at;
        through_ = 0;
    }
    lastStart_ = std::max(lastStart_, turn.at);
    return turn;
}

void Pace::Count(Clock::time_point at) {
    if (counting_ && at >= since_) ++through_;
}

void Pace::Limited(const Turn& turn) {
    std::lock_guard<std::mutex> guard(mutex_);
    // A probe limited again says the pause was short, not that the pace was fast.
    if (turn.epoch != epoch_ || learning_) return;
    ++epoch_;
    ++limits_;
    learning_ = true;
    if (rate_ <= 0) return;  // a burst: learnt when a request goes through again
    // The pace in effect drew the limit, or the service let less through than it, and that did.
    double measured = rate_;
    const double span = std::chrono::duration<double>(turn.at - since_).count();
    if (counting_ && span > 0) measured = std::min(measured, through_ / span);
    ceiling_ = Clamped(measured);
    rate_ = ceiling_ / 2;
    step_ = ceiling_ * kCreepShare;
}

void Pace::Through(const Turn& turn) {
    std::lock_guard<std::mutex> guard(mutex_);
    Count(turn.at);
    if (turn.epoch != epoch_) return;
    if (learning_) {
        learning_ = false;
        if (rate_ <= 0) {
            const double span = std::chrono::duration<double>(turn.at - since_).count();
            rate_ = Clamped(span > 0 ? through_ / span : kFastestRate) / 2;
            ceiling_ = kFastestRate;
            step_ = rate_ * kFirstStepShare;
            next_ = turn.at + GapAt(rate_);
        }
        // What the next limit teaches is counted from here.
        since_ = turn.at;
        through_ = 1;
        return;
    }
    if (rate_ > 0) rate_ = std::min(rate_ + step_, ceiling_ * kCeilingShare);
}

void Pace::Forget() {
    std::lock_guard<std::mutex> guard(mutex_);
    rate_ = 0;
    ceiling_ = 0;
    step_ = 0;
    ++epoch_;
    counting_ = false;
    learning_ = false;
}

double Pace::Rate() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return rate_;
}

double Pace::LimitedRate() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return ceiling_;
}

int Pace::Limits() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return limits_;
}
