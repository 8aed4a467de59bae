#pragma once

// The clock tests step by hand is the one the virtual devices pace themselves by.
#include "platform/clock/ManualClock.h"
#include "platform/log/Log.h"

namespace testsupport {
using platform::ManualClock;

// While it lives, the log sink counts repeated lines by this clock, from a clean slate.
class LogClockScope {
public:
    explicit LogClockScope(const platform::MonotonicClock& clock) { platform::setLogClock(&clock); }
    ~LogClockScope() { platform::setLogClock(nullptr); }
    LogClockScope(const LogClockScope&) = delete;
    LogClockScope& operator=(const LogClockScope&) = delete;
};
} // namespace testsupport
