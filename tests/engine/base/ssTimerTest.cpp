#include "engine/base/ssTimer.h"

#include <gtest/gtest.h>

#include <ctime>
#include <thread>

TEST(ssTimer, ReadsTheMonotonicClockInMilliseconds)
{
    ssTimer timer;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t expected = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    const int64_t reading = timer.GetTime();
    EXPECT_GE(reading, expected);
    EXPECT_LT(reading - expected, 60000);
}

TEST(ssTimer, ResetStoresTheCurrentTime)
{
    ssTimer timer;
    const int64_t constructed = timer.GetStartTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    timer.Reset();
    EXPECT_GE(timer.GetStartTime() - constructed, 3);
    EXPECT_GE(timer.GetTime(), timer.GetStartTime());
}
