#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <pthread.h>
#include <string>
#include <ctime>

// What ssEvent::Wait (and the waits built on it) return when the time ran out.
inline constexpr int ssWaitTimedOut = ETIMEDOUT;

// now + milliseconds (negative counts as 0).
inline timespec ssDeadlineAfter(timespec now, int milliseconds)
{
    if (milliseconds < 0)
        milliseconds = 0;
    now.tv_sec += milliseconds / 1000;
    now.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (now.tv_nsec >= 1000000000L) {
        now.tv_sec += 1;
        now.tv_nsec -= 1000000000L;
    }
    return now;
}

// The wait of ssEvent::Wait over any clock: until ready() or the time is up. The deadline is
// taken once, so wake-ups without a signal resume the same wait instead of starting it anew.
// timedWait(deadline) answers 0 on a wake-up, ssWaitTimedOut at the deadline or another error.
template <class Now, class Ready, class TimedWait>
int ssWaitWithin(int milliseconds, Now now, Ready ready, TimedWait timedWait)
{
    const timespec deadline = ssDeadlineAfter(now(), milliseconds);
    int result = 0;
    while (!ready() && result == 0)
        result = timedWait(deadline);
    return result;
}

// Counting event: every Signal lets one Wait through. Waits are timed in milliseconds against the
// monotonic clock, so wall-clock changes neither shorten nor stretch them.
class ssEvent {
public:
    explicit ssEvent(const char* name = "");
    ~ssEvent();
    ssEvent(const ssEvent&) = delete;
    ssEvent& operator=(const ssEvent&) = delete;

    // Adds one pending signal and wakes one waiter.
    void Signal();

    // Consumes one pending signal, waiting up to the given time for one. Returns 0 when a signal
    // was consumed, ssWaitTimedOut when the time ran out, or another non-zero POSIX error. An empty
    // event is first given 600 µs before the lock is taken, so polling threads do not spin; a
    // 0 ms wait therefore takes a pending signal at once or returns ssWaitTimedOut after ~600 µs.
    int Wait(int milliseconds);

    // Drops every pending signal without waiting; returns how many there were.
    int Drain();

    // Pending signals right now (a snapshot: other threads may change it at once).
    int GetCount() const { return count_.load(std::memory_order_relaxed); }

    const std::string& GetName() const { return name_; }

private:
    // Changed only under mutex_; atomic so the unlocked pre-check in Wait is race-free.
    std::atomic<int32_t> count_{0};
    pthread_mutex_t mutex_;
    pthread_cond_t condition_;
    std::string name_;
};
