#include "platform/clock/ManualClock.h"
#include "platform/clock/RealTimeClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using platform::ManualClock;

TEST(ManualClock, SleepersWakeInDeadlineOrderOnlyWhenTimeReachesThem)
{
    ManualClock clock(100);
    std::vector<int> woke;
    std::mutex mutex;
    std::jthread early([&](std::stop_token stop) {
        if (clock.sleepUntil(150, stop)) {
            std::lock_guard lock(mutex);
            woke.push_back(150);
        }
    });
    std::jthread late([&](std::stop_token stop) {
        if (clock.sleepUntil(300, stop)) {
            std::lock_guard lock(mutex);
            woke.push_back(300);
        }
    });
    ASSERT_TRUE(clock.settle(2));
    clock.advance(49); // 149: nobody is due
    ASSERT_TRUE(clock.settle(2));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(woke.empty());
    }
    clock.advance(1); // 150: the early sleeper only
    ASSERT_TRUE(clock.settle(1));
    early.join();
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(woke, std::vector<int>{150});
    }
    clock.advanceTo(1000);
    late.join();
    EXPECT_EQ(woke, (std::vector<int>{150, 300}));
    EXPECT_EQ(clock.now(), 1000);
    clock.advanceTo(10); // never backwards
    EXPECT_EQ(clock.now(), 1000);
}

TEST(ManualClock, PastDeadlineReturnsAtOnceAndStopInterruptsASleep)
{
    ManualClock clock(500);
    std::stop_source none;
    EXPECT_TRUE(clock.sleepUntil(500, none.get_token()));

    std::atomic<int> result{-1};
    std::jthread sleeper([&](std::stop_token stop) { result = clock.sleepUntil(10'000, stop) ? 1 : 0; });
    ASSERT_TRUE(clock.settle(1));
    sleeper.request_stop();
    sleeper.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(clock.pendingSleepers(), 0);
}

TEST(ManualClock, SettleGivesUpWhenTooFewThreadsSleep)
{
    ManualClock clock;
    EXPECT_FALSE(clock.settle(1, 20));
}

TEST(RealTimeClock, SleepsUntilTheDeadlineAndStopsEarlyWhenAsked)
{
    platform::RealTimeClock clock;
    std::stop_source none;
    const int64_t deadline = clock.now() + 20'000'000;
    EXPECT_TRUE(clock.sleepUntil(deadline, none.get_token()));
    EXPECT_GE(clock.now(), deadline);

    std::atomic<int> result{-1};
    std::jthread sleeper([&](std::stop_token stop) { result = clock.sleepUntil(clock.now() + 3'600'000'000'000, stop) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sleeper.request_stop();
    sleeper.join(); // an hour's sleep ends at once
    EXPECT_EQ(result.load(), 0);
}
