#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

using testsupport::pumpEvents;
using testsupport::waitUntil;

TEST(WaitUntil, RunsTimersAndQueuedCallsUntilThePredicateHolds)
{
    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    EXPECT_TRUE(waitUntil([&] { return fired; }));

    std::atomic<bool> delivered{false};
    QObject receiver;
    // std::thread rather than QThread: ThreadSanitizer cannot see inside the uninstrumented QtCore
    // and reports its joins as races.
    std::thread sender([&] {
        QMetaObject::invokeMethod(&receiver, [&] { delivered = QThread::currentThread() == qApp->thread(); },
                                  Qt::QueuedConnection);
    });
    EXPECT_TRUE(waitUntil([&] { return delivered.load(); }));
    sender.join();
}

TEST(WaitUntil, GivesUpWithFalseAndDeletesLaterObjects)
{
    EXPECT_FALSE(waitUntil([] { return false; }, 50));
    QPointer<QObject> doomed = new QObject;
    doomed->deleteLater();
    pumpEvents(20);
    EXPECT_TRUE(doomed.isNull());
}
