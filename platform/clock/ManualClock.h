#pragma once

#include "platform/clock/MonotonicClock.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {

// A clock that moves only when told to. Sleepers wake in deadline order as time passes their
// deadline. settle() lets a test wait until the threads it drives have done everything due at the
// current time and are asleep on a later deadline, so stepping stays deterministic however loaded
// the machine is.
class ManualClock final : public MonotonicClock {
public:
    explicit ManualClock(int64_t start = 0);

    int64_t now() const override;
    bool sleepUntil(int64_t deadline, std::stop_token stop) override;

    // Moves time forward (never back) and wakes every sleeper whose deadline has come.
    void advance(int64_t nanoseconds);
    void advanceTo(int64_t time);

    // Waits until at least `sleepers` threads sleep on a deadline still in the future. Gives up
    // after `timeoutMs` of real time and returns false.
    bool settle(int sleepers, int timeoutMs = 10000);

    // advance() then settle().
    bool step(int64_t nanoseconds, int sleepers, int timeoutMs = 10000);

    // Threads asleep on a future deadline right now.
    int pendingSleepers() const;

private:
    int pendingLocked() const;

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;   // sleepers wait here for time to move
    std::condition_variable settled_;    // settle() waits here for sleepers to arrive
    int64_t now_;
    std::vector<int64_t> deadlines_; // one entry per thread asleep now
};

} // namespace platform
