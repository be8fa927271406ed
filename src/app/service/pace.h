#pragma once
// How fast a group of requests may start, learnt from the service's limits. The service limits
// its listing per address and says nothing of its bucket, so the pace starts as fast as the
// network allows. A limit halves the rate the service was letting requests through at, and while
// nothing is limited the rate creeps back up by a fixed step, staying below the rate that drew
// the last limit. So a run meets each limit once: every limit it meets teaches it a slower pace.
// The listing and the catalogue share one pace, the picture hosts have another; both outlive
// runs.
//
// What a limit teaches is measured over every request the service let through since the last
// lesson, not the last few: a service that lets a burst through and then bans says by its burst
// nothing of the rate it keeps up, and after a ban it lets through only what it refills. The
// first limit, met while unpaced, is learnt when the first request after the pause goes through:
// the requests let through since the burst began, over the time including the ban, are the
// rate the service allowed; the pace starts at half of it and creeps up in quarters of that
// start, with no ceiling but the next limit. Later limits, met at a pace, take the lower of that
// pace and the rate let through since the last lesson as their ceiling.
#include <chrono>
#include <mutex>

class Pace {
  public:
    using Clock = std::chrono::steady_clock;

    // The rates a limit is taken to have drawn (requests a second) lie between these.
    static constexpr double kFastestRate = 100.0;
    static constexpr double kSlowestRate = 0.2;
    // After a limit met at a pace, the rate creeps back up by this share of the limited rate per
    // request that went through, and stops this share below it.
    static constexpr double kCreepShare = 1.0 / 8;
    static constexpr double kCeilingShare = 15.0 / 16;
    // After the first limit, the step is this share of the pace it starts at.
    static constexpr double kFirstStepShare = 1.0 / 4;
    // Starts this far apart begin a new count: an hour-old request says nothing of the rate a
    // limit ends.
    static constexpr std::chrono::seconds kQuiet{30};

    // One request's place in the pace; hand it back to Limited or Through.
    struct Turn {
        unsigned epoch = 0;
        Clock::time_point at{};  // when it may start
    };

    // Reserves the next start at or after now.
    Turn Take(Clock::time_point now);
    // The request was limited: the first such answer since the last lesson teaches a pace;
    // answers to requests started before that lesson teach nothing more.
    void Limited(const Turn& turn);
    // The request went through unlimited: counted, and the pace creeps up.
    void Through(const Turn& turn);

    // Back to as fast as the network allows, as in a new window.
    void Forget();

    // Starts a second now; 0 while no limit was met (or the first is still being learnt).
    double Rate() const;
    // The rate that drew the last limit; kFastestRate after the first, 0 while none was met.
    double LimitedRate() const;
    int Limits() const;

  private:
    void Count(Clock::time_point at);

    mutable std::mutex mutex_;
    double rate_ = 0;
    double ceiling_ = 0;
    double step_ = 0;
    unsigned epoch_ = 0;
    int limits_ = 0;
    Clock::time_point next_{};
    // The requests let through since the burst began or the last lesson was learnt.
    bool counting_ = false;
    Clock::time_point since_{};
    Clock::time_point lastStart_{};
    int through_ = 0;
    // A limit was met: the next request through ends its lesson.
    bool learning_ = false;
};
