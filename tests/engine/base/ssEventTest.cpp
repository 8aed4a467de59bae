#include "engine/base/ssEvent.h"
#include "engine/base/ssTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(ssEvent, TimedOutCodeIsTheSystemsOwn)
{
    EXPECT_EQ(ssWaitTimedOut, ETIMEDOUT);
}

TEST(ssEvent, EachSignalLetsOneWaitThrough)
{
    ssEvent event("test");
    event.Signal();
    event.Signal();
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(event.Wait(0), ssWaitTimedOut);
    EXPECT_EQ(event.GetName(), "test");
}

TEST(ssEvent, EmptyWaitRunsItsFullTimeAtLeast)
{
    ssEvent event;
    ssTimer timer;
    const int64_t start = timer.GetTime();
    EXPECT_EQ(event.Wait(30), ssWaitTimedOut);
    EXPECT_GE(timer.GetTime() - start, 30);
}

TEST(ssEvent, SignalFromAnotherThreadWakesTheWaiter)
{
    ssEvent event;
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        event.Signal();
    });
    // Generous time: only a lost wake-up would run it out.
    EXPECT_EQ(event.Wait(60000), 0);
    signaller.join();
    EXPECT_EQ(event.GetCount(), 0);
}

TEST(ssEvent, DrainDropsPendingSignals)
{
    ssEvent event;
    for (int i = 0; i < 5; ++i)
        event.Signal();
    EXPECT_EQ(event.Drain(), 5);
    EXPECT_EQ(event.Wait(0), ssWaitTimedOut);
}

TEST(ssEvent, CountingSurvivesManySignallers)
{
    constexpr int kPerThread = 2000;
    ssEvent event;
    std::atomic<int> consumed{0};
    std::thread consumer([&] {
        while (consumed.load() < 4 * kPerThread) {
            if (event.Wait(1000) == 0)
                consumed.fetch_add(1);
        }
    });
    std::thread producers[4];
    for (auto& producer : producers)
        producer = std::thread([&] {
            for (int i = 0; i < kPerThread; ++i)
                event.Signal();
        });
    for (auto& producer : producers)
        producer.join();
    consumer.join();
    EXPECT_EQ(consumed.load(), 4 * kPerThread);
    EXPECT_EQ(event.GetCount(), 0);
}

// Wake-ups without a signal, on a clock the test steps: each one comes 40 ms after the last.
// The wait ends at the first wake-up past its one deadline, never a full period later per wake-up.
TEST(ssEvent, SpuriousWakeUpsDoNotStretchTheWait)
{
    long long nowMs = 5000;
    int wakeUps = 0;
    auto now = [&] { return timespec{static_cast<time_t>(nowMs / 1000), static_cast<long>(nowMs % 1000) * 1000000L}; };
    auto spurious = [&](const timespec& deadline) {
        const long long deadlineMs = static_cast<long long>(deadline.tv_sec) * 1000 + deadline.tv_nsec / 1000000;
        if (nowMs >= deadlineMs || ++wakeUps > 1000)
            return ssWaitTimedOut;
        nowMs += 40;
        return 0;
    };
    EXPECT_EQ(ssWaitWithin(100, now, [] { return false; }, spurious), ssWaitTimedOut);
    EXPECT_EQ(wakeUps, 3);
    EXPECT_LE(nowMs - 5000, 100 + 40);

    // A signal seen at a wake-up ends the wait at once; a deadline across a second boundary holds.
    nowMs = 5990;
    wakeUps = 0;
    EXPECT_EQ(ssWaitWithin(1500, now, [&] { return wakeUps == 2; }, spurious), 0);
    EXPECT_EQ(nowMs, 5990 + 80);
    const timespec deadline = ssDeadlineAfter(timespec{7, 999000000L}, 1001);
    EXPECT_EQ(deadline.tv_sec, 9);
    EXPECT_EQ(deadline.tv_nsec, 0);
}
