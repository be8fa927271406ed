#pragma once
// How fast a group of requests may start, learnt from the service's limits. The service limits
// its listing per address and says nothing of its bucket, so the pace starts as fast as the
// network allows; a limit halves the rate the requests were starting at, and while nothing is
// limited the rate creeps back up by a fixed step, staying below the rate that drew the last
// limit. So a run meets each limit once: every limit it meets teaches it a slower pace. The
// listing and the catalogue share one pace, the picture hosts have another; both outlive runs.
#include <chrono>
#include <deque>
#include <mutex>

class Pace {
  public:
    using Clock = std::chrono::steady_clock;

    // A limit measures the rate from the last few starts within a few seconds of the last one:
    // a limit met after a quiet while says nothing of how fast the requests went before it.
    static constexpr size_t kMeasuredStarts = 8;
    static constexpr std::chrono::milliseconds kMeasuredWindow{4000};
    // The rates a limit is taken to have drawn (requests a second) lie between these; the
    // fastest stands for starts too close together, or too few, to measure.
    static constexpr double kFastestRate = 100.0;
    static constexpr double kSlowestRate = 0.2;
    // After a limit, the rate creeps back up by this share of the limited rate per request
    // that went through, and stops this share below it.
    static constexpr double kCreepShare = 1.0 / 32;
    static constexpr double kCeilingShare = 15.0 / 16;

    // One request's place in the pace; hand it back to Limited or Through.
    struct Turn {
        unsigned epoch = 0;
        Clock::time_point at{};  // when it may start
    };

    // Reserves the next start at or after now.
    Turn Take(Clock::time_point now);
    // The request was limited: the first such answer since the last lesson halves the pace;
    // answers to requests started before that lesson teach nothing more.
    void Limited(const Turn& turn);
    // The request went through unlimited: the pace creeps up.
    void Through(const Turn& turn);

    // Back to as fast as the network allows, as in a new window.
    void Forget();

    // Starts a second now; 0 while no limit was met.
    double Rate() const;
    // The rate that drew the last limit; 0 while none was met.
    double LimitedRate() const;
    int Limits() const;

  private:
    mutable std::mutex mutex_;
    double rate_ = 0;
    double ceiling_ = 0;
    unsigned epoch_ = 0;
    int limits_ = 0;
    Clock::time_point next_{};
    std::deque<Clock::time_point> starts_;
};
