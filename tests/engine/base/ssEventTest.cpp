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
