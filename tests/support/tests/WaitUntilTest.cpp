#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>

using testsupport::pumpEvents;
using testsupport::waitUntil;

TEST(WaitUntil, RunsTimersAndQueuedCallsUntilThePredicateHolds)
{
    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    EXPECT_TRUE(waitUntil([&] { return fired; }));

    std::atomic<bool> delivered{false};
    QObject receiver;
    QThread* thread = QThread::create([&] {
        QMetaObject::invokeMethod(&receiver, [&] { delivered = QThread::currentThread() == qApp->thread(); },
                                  Qt::QueuedConnection);
    });
    thread->start();
    EXPECT_TRUE(waitUntil([&] { return delivered.load(); }));
    thread->wait();
    delete thread;
}

TEST(WaitUntil, GivesUpWithFalseAndDeletesLaterObjects)
{
    EXPECT_FALSE(waitUntil([] { return false; }, 50));
    QPointer<QObject> doomed = new QObject;
    doomed->deleteLater();
    pumpEvents(20);
    EXPECT_TRUE(doomed.isNull());
}
