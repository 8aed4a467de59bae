#include "platform/clock/ManualClock.h"

#include <algorithm>
#include <chrono>

namespace platform {

ManualClock::ManualClock(int64_t start) : now_(start) {}

int64_t ManualClock::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

bool ManualClock::sleepUntil(int64_t deadline, std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    if (now_ >= deadline)
        return !stop.stop_requested();
    deadlines_.push_back(deadline);
    settled_.notify_all();
    const bool reached = wake_.wait(lock, stop, [&] { return now_ >= deadline; });
    deadlines_.erase(std::find(deadlines_.begin(), deadlines_.end(), deadline));
    return reached;
}

void ManualClock::advance(int64_t nanoseconds)
{
    std::lock_guard lock(mutex_);
    if (nanoseconds > 0)
        now_ += nanoseconds;
    wake_.notify_all();
}

void ManualClock::advanceTo(int64_t time)
{
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, time);
    wake_.notify_all();
}

int ManualClock::pendingLocked() const
{
    return int(std::count_if(deadlines_.begin(), deadlines_.end(), [&](int64_t d) { return d > now_; }));
}

int ManualClock::pendingSleepers() const
{
    std::lock_guard lock(mutex_);
    return pendingLocked();
}

bool ManualClock::settle(int sleepers, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return settled_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return pendingLocked() >= sleepers; });
}

bool ManualClock::step(int64_t nanoseconds, int sleepers, int timeoutMs)
{
    advance(nanoseconds);
    return settle(sleepers, timeoutMs);
}

} // namespace platform
