// One program per document, between guards of one process standing in for two programs (the
// newcomer runs on its own thread: the holder answers from the event loop of this one).
#include "shell/KLVInstanceGuard.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Claims on a thread of its own while this thread serves the holder.
KLVInstanceGuard::Claim claimElsewhere(const QString& path, const QStringList& documents)
{
    std::atomic<bool> done{false};
    KLVInstanceGuard::Claim result = KLVInstanceGuard::Claim::Busy;
    std::thread newcomer([&] {
        KLVInstanceGuard guard;
        result = guard.claim(path, documents);
        done = true;
    });
    testsupport::waitUntil([&] { return done.load(); }, 20000);
    newcomer.join();
    return result;
}

} // namespace

TEST(InstanceGuard, TheSecondClaimHandsItsDocumentsToTheHolder)
{
    testsupport::TempFolder home;
    const QString document = home.filePath(QStringLiteral("show.klv3"));
    KLVInstanceGuard holder;
    std::vector<QStringList> handed;
    QObject::connect(&holder, &KLVInstanceGuard::documentsReceived,
                     [&handed](const QStringList& documents) { handed.push_back(documents); });
    ASSERT_EQ(holder.claim(document), KLVInstanceGuard::Claim::Held);
    EXPECT_EQ(holder.claim(document), KLVInstanceGuard::Claim::Held); // again: still ours

    const QString other = home.filePath(QStringLiteral("other.klv3"));
    EXPECT_EQ(claimElsewhere(document, {other}), KLVInstanceGuard::Claim::HandedOver);
    ASSERT_TRUE(testsupport::waitUntil([&] { return handed.size() == 1; }));
    EXPECT_EQ(handed.at(0), QStringList{other});
    // A start without documents is turned away all the same, and hands over nothing.
    EXPECT_EQ(claimElsewhere(document, {}), KLVInstanceGuard::Claim::HandedOver);
    testsupport::pumpEvents(50);
    EXPECT_EQ(handed.size(), 1u);

    // The same file by another spelling is the same document.
    EXPECT_EQ(claimElsewhere(home.path() + QStringLiteral("/./show.klv3"), {}), KLVInstanceGuard::Claim::HandedOver);

    // Once the holder lets go, the next one takes it.
    holder.release(document);
    KLVInstanceGuard next;
    EXPECT_EQ(next.claim(document), KLVInstanceGuard::Claim::Held);
}

TEST(InstanceGuard, AcquiringADocumentAnotherHoldsFails)
{
    testsupport::TempFolder home;
    const QString first = home.filePath(QStringLiteral("first.klv3"));
    const QString second = home.filePath(QStringLiteral("second.klv3"));
    KLVInstanceGuard a;
    KLVInstanceGuard b;
    ASSERT_EQ(a.claim(first), KLVInstanceGuard::Claim::Held);
    ASSERT_EQ(b.claim(second), KLVInstanceGuard::Claim::Held);
    EXPECT_FALSE(a.acquire(second));
    EXPECT_FALSE(a.holds(second));
    EXPECT_TRUE(a.holds(first));
    b.release(second);
    EXPECT_TRUE(a.acquire(second));
    EXPECT_TRUE(a.holds(first) && a.holds(second));
}

TEST(InstanceGuard, AHolderThatDoesNotAnswerStillKeepsTheNewcomerOut)
{
    testsupport::TempFolder home;
    const QString document = home.filePath(QStringLiteral("show.klv3"));
    QLocalServer mute;
    mute.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    ASSERT_TRUE(mute.listen(KLVInstanceGuard::serverName(document)));
    // It takes the connection and hangs up without an answer.
    QObject::connect(&mute, &QLocalServer::newConnection, [&mute] {
        while (QLocalSocket* socket = mute.nextPendingConnection())
            socket->abort();
    });
    EXPECT_EQ(claimElsewhere(document, {}), KLVInstanceGuard::Claim::Busy);
}
