// The lane an engine's slow work runs on: order, the latest of a run of seeks, and its end.
#include "app/moviecontroller/KLVEngineLane.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {
struct Journal {
    std::mutex lock;
    std::vector<int> entries;
    void add(int v)
    {
        std::lock_guard guard(lock);
        entries.push_back(v);
    }
    std::vector<int> taken()
    {
        std::lock_guard guard(lock);
        return entries;
    }
};

void waitIdle(const KLVEngineLane& lane)
{
    while (lane.busy())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
} // namespace

TEST(EngineLane, RunsInOrderOffTheCallerAndCoalescesWaitingSeeks)
{
    KLVEngineLane lane;
    Journal journal;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> elsewhere{false};
    const auto caller = std::this_thread::get_id();
    // The first job holds the lane, so the rest wait behind it.
    lane.post([&] {
        elsewhere = std::this_thread::get_id() != caller && lane.runsHere();
        released.wait();
        journal.add(0);
    });
    EXPECT_TRUE(lane.busy());
    EXPECT_FALSE(lane.runsHere());
    lane.post([&] { journal.add(1); }, KLVEngineLane::kSeek);
    lane.post([&] { journal.add(2); }, KLVEngineLane::kSeek); // replaces 1: not started yet
    lane.post([&] { journal.add(3); });
    lane.post([&] { journal.add(4); }, KLVEngineLane::kSeek); // after an ordinary job: kept
    release.set_value();
    waitIdle(lane);
    EXPECT_TRUE(elsewhere);
    EXPECT_EQ(journal.taken(), (std::vector<int>{0, 2, 3, 4}));
}

TEST(EngineLane, StopFinishesTheRunningJobAndDropsTheRest)
{
    Journal journal;
    std::promise<void> started;
    {
        KLVEngineLane lane;
        lane.post([&] {
            started.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            journal.add(0);
        });
        lane.post([&] { journal.add(1); });
        started.get_future().wait();
        lane.stop();
        EXPECT_FALSE(lane.busy());
        lane.post([&] { journal.add(2); }); // after the end: dropped
        EXPECT_FALSE(lane.busy());
    }
    EXPECT_EQ(journal.taken(), (std::vector<int>{0}));
}
