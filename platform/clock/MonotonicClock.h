#pragma once

#include <cstdint>
#include <stop_token>

namespace platform {

// A monotonic time source that threads pace themselves by. Deadlines are absolute, so a thread
// that wakes late catches up instead of drifting. Production code uses RealTimeClock; tests hand
// the same code a ManualClock and step time themselves.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;

    // Nanoseconds since an arbitrary fixed origin.
    virtual int64_t now() const = 0;

    // Blocks until now() >= deadline (returns true) or until stop is requested (returns false).
    virtual bool sleepUntil(int64_t deadline, std::stop_token stop) = 0;
};

// The process-wide real-time clock.
MonotonicClock& realTimeClock();

} // namespace platform
