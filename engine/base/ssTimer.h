#pragma once

#include <cstdint>

// Millisecond clock on the monotonic clock: readings only make sense as differences.
class ssTimer {
public:
    ssTimer();

    // Stores the current time again.
    void Reset();

    // The current time in milliseconds; callers subtract two readings.
    int64_t GetTime() const;

    // The time stored at construction or at the last Reset.
    int64_t GetStartTime() const { return start_; }

private:
    int64_t start_;
};
