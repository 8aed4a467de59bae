// The application object is created and destroyed inside the test, so this runs with a plain
// main() of its own.
#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace platform;

TEST(DispatchShutdown, SyncNeverHangsWhileOrAfterTheApplicationQuits)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QCoreApplication>(argc, argv);

    std::atomic<bool> ran {false};
    std::atomic<int> result {-1};
    std::thread worker;
    QTimer::singleShot(0, [&] {
        // The request arrives while the main thread is busy and then quits: it may run in the
        // last turn of the loop or not at all, but the caller must come back either way.
        worker = std::thread([&] { result = dispatchMainSync([&] { ran = true; }) ? 1 : 0; });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QCoreApplication::quit();
    });
    app->exec();
    worker.join();
    ASSERT_NE(result.load(), -1);
    EXPECT_EQ(ran.load(), result.load() == 1);

    // After aboutToQuit, nothing will serve the main queue again.
    bool late = true;
    std::thread([&] { late = dispatchMainSync([] {}); }).join();
    EXPECT_FALSE(late);
    EXPECT_TRUE(dispatchMainSync([] {})); // the main thread itself still runs inline

    app.reset();
    EXPECT_FALSE(isMainThread());
    bool orphan = true;
    std::thread([&] { orphan = dispatchMainSync([] {}); }).join();
    EXPECT_FALSE(orphan);
    bool dropped = false;
    dispatchMain([&] { dropped = true; });
    dispatchMainAfter(0, nullptr, [&] { dropped = true; });
    EXPECT_FALSE(dropped);

    // A new application object starts with an empty queue and no quit state.
    app = std::make_unique<QCoreApplication>(argc, argv);
    int order = 0;
    int first = 0;
    int second = 0;
    std::thread([&] {
        dispatchMain([&] { first = ++order; });
        dispatchMain([&] { second = ++order; });
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_FALSE(dropped);
    std::atomic<bool> served {false};
    std::atomic<bool> returned {false};
    std::thread again([&] { returned = dispatchMainSync([&] { served = true; }); });
    while (!returned)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    again.join();
    EXPECT_TRUE(served);
}
