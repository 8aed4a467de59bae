#include "platform/foundation/Log.h"
#include "platform/foundation/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;

TEST(SerialQueue, RunsTasksInOrderOnOneThread)
{
    std::vector<int> order;
    std::thread::id runner;
    bool oneThread = true;
    {
        SerialQueue queue("com.quenmark.test.fifo");
        EXPECT_EQ(queue.label(), "com.quenmark.test.fifo");
        EXPECT_FALSE(queue.isCurrent());
        // Producers on several threads; each producer's own tasks must keep their order.
        std::vector<std::thread> producers;
        std::mutex m;
        std::vector<std::vector<int>> perProducer(4);
        for (int p = 0; p < 4; ++p)
            producers.emplace_back([&, p] {
                for (int i = 0; i < 500; ++i)
                    queue.async([&, p, i] {
                        if (runner == std::thread::id())
                            runner = std::this_thread::get_id();
                        oneThread = oneThread && runner == std::this_thread::get_id() && queue.isCurrent()
                            && SerialQueue::current() == &queue;
                        perProducer[std::size_t(p)].push_back(i);
                    });
            });
        for (auto& t : producers)
            t.join();
        for (int i = 0; i < 100; ++i)
            queue.async([&order, i] { order.push_back(i); });
        queue.sync([] {});
        for (const auto& list : perProducer) {
            ASSERT_EQ(list.size(), 500u);
            for (int i = 0; i < 500; ++i)
                EXPECT_EQ(list[std::size_t(i)], i);
        }
    }
    EXPECT_TRUE(oneThread);
    EXPECT_NE(runner, std::this_thread::get_id());
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[std::size_t(i)], i);
}

TEST(SerialQueue, SyncWaitsReturnsValuesAndRunsInlineWhenReentered)
{
    SerialQueue queue("sync");
    int value = 0;
    queue.async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        value = 1;
    });
    queue.sync([&] { value *= 10; });
    EXPECT_EQ(value, 10); // ran after the earlier async, and sync waited

    // sync from inside the queue would deadlock if it queued; it runs inline instead.
    std::vector<int> order;
    queue.sync([&] {
        order.push_back(1);
        queue.sync([&] { order.push_back(2); });
        order.push_back(3);
    });
    EXPECT_EQ(order, (std::vector<int> {1, 2, 3}));
    EXPECT_EQ(queue.syncResult([] { return 42; }), 42);
    EXPECT_EQ(queue.syncResult([] { return std::string("text"); }), "text");
}

TEST(SerialQueue, SyncRethrowsAndAsyncExceptionsAreLoggedNotFatal)
{
    LogCapture capture;
    SerialQueue queue("throwing");
    EXPECT_THROW(queue.sync([] { throw std::logic_error("bad"); }), std::logic_error);
    queue.async([] { throw std::runtime_error("lost task"); });
    int after = 0;
    queue.sync([&] { after = 1; });
    EXPECT_EQ(after, 1);
    EXPECT_TRUE(capture.contains("lost task", LogLevel::Error));
}

TEST(SerialQueue, AfterRunsDelayedTasksByDueTimeAndCanBeCancelled)
{
    SerialQueue queue("after");
    std::mutex m;
    std::condition_variable cv;
    std::vector<int> order;
    auto record = [&](int v) {
        std::lock_guard lock(m);
        order.push_back(v);
        cv.notify_all();
    };
    const auto start = std::chrono::steady_clock::now();
    queue.after(60, [&] { record(60); });
    queue.after(20, [&] { record(20); });
    const auto cancelled = queue.after(40, [&] { record(-1); });
    queue.async([&] { record(0); });
    EXPECT_TRUE(queue.cancelAfter(cancelled));
    EXPECT_FALSE(queue.cancelAfter(cancelled));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return order.size() == 3; }));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(order, (std::vector<int> {0, 20, 60}));
}

TEST(SerialQueue, DestructionDrainsOrCancels)
{
    std::atomic<int> ran {0};
    std::atomic<bool> delayedRan {false};
    {
        SerialQueue queue("drain", SerialQueue::OnDestroy::Drain);
        queue.async([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        for (int i = 0; i < 50; ++i)
            queue.async([&] { ++ran; });
        queue.after(10000, [&] { delayedRan = true; });
    }
    EXPECT_EQ(ran.load(), 50);
    EXPECT_FALSE(delayedRan.load());

    ran = 0;
    std::promise<void> started;
    std::promise<void> release;
    auto releaseFuture = release.get_future().share();
    std::thread releaser;
    {
        SerialQueue queue("cancel", SerialQueue::OnDestroy::Cancel);
        queue.async([&] {
            started.set_value();
            releaseFuture.wait();
            ++ran; // the running task finishes
        });
        for (int i = 0; i < 50; ++i)
            queue.async([&] { ++ran; });
        started.get_future().wait();
        // Released only while the destructor already waits, after cancelling the rest.
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            release.set_value();
        });
    }
    releaser.join();
    EXPECT_EQ(ran.load(), 1);
}

TEST(SerialQueue, SyncFromManyThreadsIsSerialized)
{
    SerialQueue queue("contended");
    long counter = 0; // only touched on the queue: TSan checks the hand-offs
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                if (i % 2)
                    queue.sync([&] { ++counter; });
                else
                    queue.async([&] { ++counter; });
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(queue.syncResult([&] { return counter; }), 1800);
}

TEST(SerialQueue, ATaskMayDestroyItsOwnQueue)
{
    auto* queue = new SerialQueue("self", SerialQueue::OnDestroy::Drain);
    std::promise<void> last;
    std::atomic<bool> currentCleared {false};
    std::promise<void> gate; // holds the queue until everything is queued
    auto gateFuture = gate.get_future();
    queue->async([&] { gateFuture.wait(); });
    queue->async([queue] { delete queue; });
    queue->async([&] {
        currentCleared = SerialQueue::current() == nullptr; // the object is gone
        last.set_value();
    });
    gate.set_value();
    ASSERT_EQ(last.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(currentCleared);
}
