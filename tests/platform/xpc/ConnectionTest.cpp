// Two connection ends over a real socket pair.
#include "platform/xpc/XpcConnection.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

using platform::XpcConnection;
using platform::XpcEnvelope;
using platform::XpcKind;
using testsupport::waitUntil;

namespace {

struct Pair {
    int fds[2] = {-1, -1};
    Pair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
};

struct Received {
    std::vector<XpcEnvelope> envelopes;
    QString closedReason;
    bool closed = false;
    void watch(XpcConnection& c)
    {
        QObject::connect(&c, &XpcConnection::envelopeReceived, [this](const XpcEnvelope& e) { envelopes.push_back(e); });
        QObject::connect(&c, &XpcConnection::closed, [this](const QString& reason) {
            closed = true;
            closedReason = reason;
        });
    }
};

} // namespace

TEST(XpcConnection, CarriesLargeFramesFromAnotherThreadInOrder)
{
    Pair pair;
    XpcConnection a(pair.fds[0]);
    XpcConnection b(pair.fds[1]);
    Received got;
    got.watch(b);

    // Far more than the socket buffer holds: the rest waits in the queue until b reads.
    constexpr int kFrames = 40;
    std::thread sender([&] {
        for (int i = 0; i < kFrames; ++i) {
            QCborMap body;
            body.insert(QStringLiteral("n"), i);
            body.insert(QStringLiteral("payload"), QByteArray(512 * 1024, char('a' + i % 26)));
            ASSERT_TRUE(a.send(XpcEnvelope{i, XpcKind::Request, body}));
        }
    });
    sender.join();
    ASSERT_TRUE(waitUntil([&] { return got.envelopes.size() == kFrames; }, 60000));
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(got.envelopes[std::size_t(i)].id, i);
        EXPECT_EQ(got.envelopes[std::size_t(i)].body.value(QStringLiteral("payload")).toByteArray().at(100), char('a' + i % 26));
    }
    EXPECT_FALSE(got.closed);
}

TEST(XpcConnection, EndsOnPeerHangUpAndRefusesLaterSends)
{
    Pair pair;
    XpcConnection b(pair.fds[1]);
    Received got;
    got.watch(b);
    ::close(pair.fds[0]);
    ASSERT_TRUE(waitUntil([&] { return got.closed; }));
    EXPECT_EQ(got.closedReason, QStringLiteral("end of file"));
    EXPECT_FALSE(b.isOpen());
    EXPECT_FALSE(b.send(XpcEnvelope{1, XpcKind::Reply, {}}));
}

TEST(XpcConnection, MalformedInputEndsTheConnection)
{
    Pair pair;
    XpcConnection b(pair.fds[1]);
    Received got;
    got.watch(b);
    const QByteArray good = platform::encodeXpcFrame(XpcEnvelope{5, XpcKind::Message, {}});
    const QByteArray bytes = good + QByteArray::fromHex("7fffffff") + good;
    ASSERT_EQ(::write(pair.fds[0], bytes.constData(), std::size_t(bytes.size())), bytes.size());
    ASSERT_TRUE(waitUntil([&] { return got.closed; }));
    EXPECT_EQ(got.envelopes.size(), 1u); // the frame before the bad one, none after
    EXPECT_TRUE(got.closedReason.startsWith(QStringLiteral("malformed frame")));
    // Our end is closed too: the peer sees end of file.
    char byte;
    EXPECT_EQ(::read(pair.fds[0], &byte, 1), 0);
    ::close(pair.fds[0]);
}

TEST(XpcConnection, WritingToADeadPeerFailsQuietly)
{
    Pair pair;
    XpcConnection a(pair.fds[0]);
    Received got;
    got.watch(a);
    ::close(pair.fds[1]);
    // SIGPIPE is ignored: this must not kill the test.
    a.send(XpcEnvelope{1, XpcKind::Request, {}});
    ASSERT_TRUE(waitUntil([&] { return got.closed; }));
    EXPECT_FALSE(a.isOpen());
}
