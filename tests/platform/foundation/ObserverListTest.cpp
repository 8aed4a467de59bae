#include "platform/foundation/ObserverList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

using namespace platform;

TEST(ObserverList, NotifiesInOrderUntilUnsubscribed)
{
    ObserverList<int, const std::string&> list;
    std::vector<std::string> calls;
    Subscription first = list.subscribe([&](int n, const std::string& s) { calls.push_back("1:" + std::to_string(n) + s); });
    const auto second = list.add([&](int n, const std::string& s) { calls.push_back("2:" + std::to_string(n) + s); });
    list.notify(7, "x");
    EXPECT_EQ(calls, (std::vector<std::string> {"1:7x", "2:7x"}));
    first.reset();
    EXPECT_FALSE(first.isActive());
    EXPECT_TRUE(list.unsubscribe(second));
    EXPECT_FALSE(list.unsubscribe(second));
    list.notify(8, "y");
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(list.empty());
}

TEST(ObserverList, CallbacksMayChangeTheListWhileNotified)
{
    ObserverList<> list;
    int selfRemoving = 0;
    int added = 0;
    std::optional<Subscription> self;
    std::vector<Subscription> more;
    self = list.subscribe([&] {
        ++selfRemoving;
        self.reset(); // destroys the running callback's own subscription
    });
    Subscription adder = list.subscribe([&] { more.push_back(list.subscribe([&] { ++added; })); });
    list.notify();
    EXPECT_EQ(selfRemoving, 1);
    EXPECT_EQ(added, 0); // subscribed during notify: not part of it
    list.notify();
    EXPECT_EQ(selfRemoving, 1);
    EXPECT_EQ(added, 1);
}

TEST(ObserverList, UnsubscribeWaitsForACallInProgressOnAnotherThread)
{
    ObserverList<int> list;
    std::atomic<bool> inside {false};
    std::atomic<bool> finished {false};
    auto owned = std::make_unique<int>(0);
    Subscription s = list.subscribe([&](int v) {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        *owned += v; // must never run after the owner let go
        finished = true;
    });
    std::thread notifier([&] { list.notify(1); });
    while (!inside)
        std::this_thread::yield();
    s.reset();
    EXPECT_TRUE(finished);
    owned.reset();
    notifier.join();
    list.notify(2); // nothing left to call
}

TEST(ObserverList, SubscriptionMayOutliveTheList)
{
    Subscription s;
    {
        ObserverList<> list;
        s = list.subscribe([] {});
        EXPECT_TRUE(s.isActive());
    }
    EXPECT_FALSE(s.isActive());
    s.reset();
}
