#include "app/service/pace.h"

#include <algorithm>

Pace::Turn Pace::Take(Clock::time_point now) {
    std::lock_guard<std::mutex> guard(mutex_);
    Turn turn{epoch_, now};
    if (rate_ > 0) {
        turn.at = std::max(now, next_);
        next_ = turn.at + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(1.0 / rate_));
    }
    starts_.push_back(turn.at);
    if (starts_.size() > kMeasuredStarts) starts_.pop_front();
    return turn;
}

void Pace::Limited(const Turn& turn) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (turn.epoch != epoch_) return;
    // The pace in effect drew the limit, or the requests went slower than it and their own
    // rate did.
    double measured = rate_ > 0 ? rate_ : kFastestRate;
    size_t counted = 0;
    Clock::time_point first{};
    for (auto at = starts_.rbegin(); at != starts_.rend(); ++at) {
        if (starts_.back() - *at > kMeasuredWindow) break;
        first = *at;
        ++counted;
    }
    if (counted >= 2) {
        const double span = std::chrono::duration<double>(starts_.back() - first).count();
        if (span > 0) measured = std::min(measured, (counted - 1) / span);
    }
    ceiling_ = std::clamp(measured, kSlowestRate, kFastestRate);
    rate_ = ceiling_ / 2;
    ++epoch_;
    ++limits_;
    starts_.clear();
}

void Pace::Through(const Turn& turn) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (turn.epoch != epoch_ || rate_ <= 0) return;
    rate_ = std::min(rate_ + ceiling_ * kCreepShare, ceiling_ * kCeilingShare);
}

void Pace::Forget() {
    std::lock_guard<std::mutex> guard(mutex_);
    rate_ = 0;
    ceiling_ = 0;
    ++epoch_;
    starts_.clear();
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
