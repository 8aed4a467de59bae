// The delegate queue's lifetime: an owner may let it go on any thread, the queue's own included.
#include "platform/net/DelegateQueue.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <future>
#include <memory>

using platform::net::DelegateQueue;
using testsupport::waitUntil;

namespace {

// Owns a queue and ends it in its destructor, as the communicators do.
struct Owner {
    std::unique_ptr<DelegateQueue> queue = std::make_unique<DelegateQueue>(QStringLiteral("test.owner"));
    std::atomic<bool>* lastRanOnQueue;
    explicit Owner(std::atomic<bool>* flag) : lastRanOnQueue(flag) {}
    ~Owner()
    {
        queue->shutdown([this] { lastRanOnQueue->store(queue->isCurrent()); });
    }
};

// Set (on whichever thread deletes it) once the thread object is gone.
void watchDeletion(QThread* thread, std::atomic<bool>* gone)
{
    QObject::connect(thread, &QObject::destroyed, [gone] { gone->store(true); });
}

} // namespace

TEST(DelegateQueue, ALastOwnerLettingGoOnTheQueuesOwnThreadEndsItWithoutRunningWhatWasLeft)
{
    std::atomic<bool> lastRanOnQueue{false};
    auto* owner = new Owner(&lastRanOnQueue);
    QThread* thread = owner->queue->thread();
    std::atomic<bool> threadGone{false};
    watchDeletion(thread, &threadGone);

    std::promise<void> queued;
    std::atomic<bool> ownerDeleted{false};
    std::atomic<bool> leftOverRan{false};
    owner->queue->async([&, owner, ready = queued.get_future().share()] {
        ready.wait(); // the next item is queued behind this one
        delete owner;
        ownerDeleted = true;
    });
    owner->queue->async([&] { leftOverRan = true; });
    queued.set_value();

    ASSERT_TRUE(waitUntil([&] { return threadGone.load(); })) << "the thread was never joined and deleted";
    EXPECT_TRUE(ownerDeleted.load());
    EXPECT_TRUE(lastRanOnQueue.load()) << "the owner's last work ran on the queue, inside the call";
    EXPECT_FALSE(leftOverRan.load()) << "work queued by an owner that has gone ran after it";
}

TEST(DelegateQueue, ShutDownOnItsOwnThreadThenDestroyedOnAnotherItIsJoinedThere)
{
    auto queue = std::make_unique<DelegateQueue>(QStringLiteral("test.shutdown"));
    QThread* thread = queue->thread();
    std::atomic<bool> threadGone{false};
    watchDeletion(thread, &threadGone);
    std::atomic<bool> lastRan{false};
    queue->async([&] { queue->shutdown([&] { lastRan = true; }); });
    ASSERT_TRUE(waitUntil([&] { return thread->isFinished(); }));
    EXPECT_TRUE(lastRan.load());
    EXPECT_FALSE(queue->sync([] {})) << "a stopped queue takes no work";
    queue.reset();
    EXPECT_TRUE(threadGone.load()) << "deleted at once, by the thread that let it go";
}
