#include "platform/clock/RealTimeClock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

int64_t RealTimeClock::now() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool RealTimeClock::sleepUntil(int64_t deadline, std::stop_token stop)
{
    // A condition of the sleeping thread's own, only there to make the sleep interruptible by the
    // stop token; made once per thread so pacing threads do not allocate per period.
    thread_local std::mutex mutex;
    thread_local std::condition_variable_any condition;
    std::unique_lock lock(mutex);
    const auto until = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline));
    while (now() < deadline) {
        condition.wait_until(lock, stop, until, [] { return false; });
        if (stop.stop_requested())
            return false;
    }
    return true;
}

MonotonicClock& realTimeClock()
{
    static RealTimeClock clock;
    return clock;
}

} // namespace platform
