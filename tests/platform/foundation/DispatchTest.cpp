#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;

namespace {

// Processes main-thread events until done() or a generous deadline.
template <class Pred>
bool spinUntil(Pred done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

TEST(Dispatch, MainThreadIsTheApplicationThread)
{
    EXPECT_TRUE(isMainThread());
    bool other = true;
    std::thread([&] { other = isMainThread(); }).join();
    EXPECT_FALSE(other);
}

TEST(Dispatch, DispatchMainRunsOnMainInCallOrder)
{
    std::mutex m;
    std::vector<int> order;
    std::atomic<bool> allOnMain {true};
    std::thread producer([&] {
        for (int i = 0; i < 200; ++i)
            dispatchMain([&, i] {
                allOnMain = allOnMain && isMainThread();
                std::lock_guard lock(m);
                order.push_back(i);
            });
    });
    producer.join();
    ASSERT_TRUE(spinUntil([&] {
        std::lock_guard lock(m);
        return order.size() == 200;
    }));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[std::size_t(i)], i);
}

TEST(Dispatch, DispatchMainWithContextIsDroppedWhenContextDies)
{
    auto context = std::make_unique<QObject>();
    bool ran = false;
    bool keptRan = false;
    QObject kept;
    dispatchMain(context.get(), [&] { ran = true; });
    dispatchMain(&kept, [&] { keptRan = true; });
    context.reset();
    ASSERT_TRUE(spinUntil([&] { return keptRan; }));
    EXPECT_FALSE(ran);
}

TEST(Dispatch, SyncRunsDirectlyOnMainAndWaitsFromOtherThreads)
{
    int value = 0;
    EXPECT_TRUE(dispatchMainSync([&] { value = 1; }));
    EXPECT_EQ(value, 1); // ran inline, no event loop turn needed

    std::atomic<bool> finished {false};
    std::atomic<bool> ranOnMain {false};
    bool returned = false;
    std::thread worker([&] {
        returned = dispatchMainSync([&] {
            ranOnMain = isMainThread();
            value = 2;
        });
        finished = true;
    });
    ASSERT_TRUE(spinUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(value, 2);
}

TEST(Dispatch, SyncRethrowsTheExceptionOnTheCallingThread)
{
    std::atomic<bool> finished {false};
    bool caught = false;
    std::thread worker([&] {
        try {
            dispatchMainSync([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            caught = std::string(e.what()) == "boom";
        }
        finished = true;
    });
    ASSERT_TRUE(spinUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(caught);
}

TEST(Dispatch, AfterRunsLaterAndIsCancelledWithItsContext)
{
    std::vector<int> order;
    QObject alive;
    auto doomed = std::make_unique<QObject>();
    dispatchMainAfter(30, &alive, [&] { order.push_back(30); });
    dispatchMainAfter(0, &alive, [&] { order.push_back(0); });
    dispatchMainAfter(10, nullptr, [&] { order.push_back(10); });
    dispatchMainAfter(5, doomed.get(), [&] { order.push_back(-1); });
    EXPECT_TRUE(order.empty()); // never inline
    doomed.reset();
    ASSERT_TRUE(spinUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int> {0, 10, 30}));

    // Requested from another thread, with the context dying before the timer fires.
    auto context = std::make_unique<QObject>();
    std::atomic<bool> ran {false};
    std::atomic<bool> marker {false};
    std::thread([&] {
        dispatchMainAfter(20, context.get(), [&] { ran = true; });
        dispatchMainAfter(60, nullptr, [&] { marker = true; });
    }).join();
    QCoreApplication::processEvents(); // timers start on main
    context.reset();
    ASSERT_TRUE(spinUntil([&] { return marker.load(); }));
    EXPECT_FALSE(ran);
}
