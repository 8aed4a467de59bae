#pragma once

#include "platform/clock/MonotonicClock.h"

namespace platform {

// CLOCK_MONOTONIC through std::chrono::steady_clock.
class RealTimeClock final : public MonotonicClock {
public:
    int64_t now() const override;
    bool sleepUntil(int64_t deadline, std::stop_token stop) override;
};

} // namespace platform
