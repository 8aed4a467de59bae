// The TCP communicator as server and client against plain Qt sockets on 127.0.0.1, ephemeral
// ports only.
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/core/TestParsers.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

using testsupport::waitUntil;

namespace {

struct TcpServerRig {
    std::shared_ptr<TcpRecorderParser> parser;
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp;

    explicit TcpServerRig(const std::function<void(TcpRecorderParser&)>& configure = {})
    {
        std::tie(parser, tcp) = makePair<TcpRecorderParser, QMTCPNetworkHardwareCommunicator>();
        if (configure)
            configure(*parser);
        tcp->setInterfaceString(QStringLiteral("lo"));
        tcp->setPortNum(0);
        tcp->setSocketMode(QMSocketModeListen);
        tcp->activate();
        EXPECT_TRUE(tcp->isActive());
        EXPECT_NE(tcp->localPort(), 0);
    }
    std::unique_ptr<QTcpSocket> connectPeer()
    {
        auto peer = std::make_unique<QTcpSocket>();
        peer->connectToHost(QHostAddress::LocalHost, tcp->localPort());
        EXPECT_TRUE(peer->waitForConnected(5000));
        return peer;
    }
    static QString id(const QTcpSocket& peer) { return QStringLiteral("127.0.0.1:%1").arg(peer.localPort()); }
};

QByteArray readFrom(QTcpSocket& peer, qsizetype count)
{
    QByteArray got;
    waitUntil([&] {
        got += peer.readAll();
        return got.size() >= count;
    });
    return got;
}

} // namespace

TEST(TcpCommunicator, ServerLabelsFollowConnectionsAndDelimitedFramesArrive)
{
    TcpServerRig rig([](TcpRecorderParser& p) { p.headerDelimiter = "\r\n"; });
    EXPECT_EQ(rig.tcp->activeStateLabel(), QStringLiteral("Listening"));
    EXPECT_TRUE(rig.parser->has(QStringLiteral("didStartAccepting")));

    auto peer = rig.connectPeer();
    const QString id = TcpServerRig::id(*peer);
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("accept ") + id); }));
    EXPECT_EQ(rig.tcp->activeStateLabel(), QStringLiteral("Connected"));

    peer->write("PLAY\r\nST");
    peer->flush();
    testsupport::pumpEvents(10);
    peer->write("OP\r\n");
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("header ") + id + QStringLiteral(" 53544f500d0a")); }));
    EXPECT_TRUE(rig.parser->has(QStringLiteral("header ") + id + QStringLiteral(" 504c41590d0a")));

    peer->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("closed ") + id); }));
    EXPECT_TRUE(waitUntil([&] { return rig.tcp->activeStateLabel() == QStringLiteral("Listening"); }));
    EXPECT_TRUE(rig.tcp->isActive());
}

TEST(TcpCommunicator, LengthHeadersThenDelimitedPayloadsAndAnswersOnTheConnection)
{
    TcpServerRig rig([](TcpRecorderParser& p) {
        p.headerLength = 2;
        p.payloadDelimiter = ";";
        p.withPayload = true;
        p.echo = true;
    });
    auto peer = rig.connectPeer();
    const QString id = TcpServerRig::id(*peer);
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("accept ")); }));
    peer->write("AB12345;CDx;");
    ASSERT_TRUE(waitUntil([&] {
        std::unique_lock l(rig.parser->mutex);
        return rig.parser->frames.size() >= 4;
    }));
    std::unique_lock lock(rig.parser->mutex);
    EXPECT_EQ(rig.parser->frames, (QList<QByteArray>{"AB", "12345;", "CD", "x;"}));
    lock.unlock();
    EXPECT_EQ(readFrom(*peer, 4), QByteArray("ABCD"));

    // Writing to a connection that does not exist sends nothing and raises nothing.
    rig.tcp->writeData("lost", QStringLiteral("10.9.9.9:1"), 1);
    testsupport::pumpEvents(20);
    EXPECT_TRUE(peer->readAll().isEmpty());
}

TEST(TcpCommunicator, WithoutFramingWhateverArrivesIsOneRead)
{
    TcpServerRig rig;
    auto peer = rig.connectPeer();
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("accept ")); }));
    peer->write("anything at all");
    ASSERT_TRUE(waitUntil([&] {
        std::unique_lock l(rig.parser->mutex);
        return rig.parser->frames.join().size() >= 15;
    }));
    std::unique_lock l(rig.parser->mutex);
    EXPECT_EQ(rig.parser->frames.join(), QByteArray("anything at all"));
}

TEST(TcpCommunicator, ReadTimeoutsAskTheParserWhichMayExtendOnce)
{
    TcpServerRig rig([](TcpRecorderParser& p) {
        p.headerDelimiter = "\n";
        p.readTimeout = 0.05;
        p.extension = 0.1;
    });
    auto peer = rig.connectPeer();
    const QString id = TcpServerRig::id(*peer);
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("closed ") + id); }));
    std::unique_lock l(rig.parser->mutex);
    EXPECT_EQ(rig.parser->timeoutQuestions, 2);
}

TEST(TcpCommunicator, DeactivatingClosesEveryAcceptedConnection)
{
    TcpServerRig rig([](TcpRecorderParser& p) { p.headerDelimiter = "\n"; });
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        peers.push_back(rig.connectPeer());
        ids << TcpServerRig::id(*peers.back());
    }
    ASSERT_TRUE(waitUntil([&] { return rig.tcp->connectionCount() == 3; }));
    rig.tcp->deactivate();
    EXPECT_FALSE(rig.tcp->isActive());
    EXPECT_EQ(rig.tcp->activeStateLabel(), QStringLiteral("Not Connected"));
    EXPECT_EQ(rig.tcp->connectionCount(), 0);
    for (auto& peer : peers)
        EXPECT_TRUE(waitUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; })) << "peer still connected";
    EXPECT_TRUE(rig.parser->has(QStringLiteral("didDisconnect")));
    // Asked of these peers only: a stranger on the machine may reach an ephemeral port too.
    for (const QString& id : ids)
        EXPECT_FALSE(rig.parser->has(QStringLiteral("closed ") + id));
    // Listening again works on a fresh set of connections.
    rig.tcp->activate();
    EXPECT_TRUE(rig.tcp->isActive());
    auto again = rig.connectPeer();
    EXPECT_TRUE(waitUntil([&] { return rig.tcp->connectionCount() == 1; }));
}

TEST(TcpCommunicator, AFailedListenStaysInactive)
{
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::LocalHost, 0));
    auto [parser, tcp] = makePair<TcpRecorderParser, QMTCPNetworkHardwareCommunicator>();
    tcp->setInterfaceString(QStringLiteral("127.0.0.1"));
    tcp->setPortNum(occupier.serverPort());
    tcp->setSocketMode(QMSocketModeListen);
    platform::LogCapture capture;
    tcp->activate();
    EXPECT_FALSE(tcp->isActive());
    EXPECT_EQ(tcp->activeStateLabel(), QStringLiteral("Not Connected"));
    EXPECT_TRUE(capture.contains(QStringLiteral("socket failed to accept to interface 127.0.0.1 port %1\nerror:").arg(occupier.serverPort()).toStdString()));
    EXPECT_FALSE(parser->has(QStringLiteral("didStartAccepting")));
}

TEST(TcpCommunicator, ClientIsToldItConnectedOnlyOnceItHas)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    auto [parser, tcp] = makePair<TcpRecorderParser, QMTCPNetworkHardwareCommunicator>();
    parser->headerDelimiter = "\n";
    tcp->setHostname(QStringLiteral("127.0.0.1"));
    tcp->setPortNum(server.serverPort());
    tcp->setSocketMode(QMSocketModeConnect);
    tcp->activate();
    EXPECT_TRUE(tcp->isActive());
    ASSERT_TRUE(waitUntil([&] { return parser->has(QStringLiteral("didConnect")); }));
    ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> accepted(server.nextPendingConnection());
    accepted->write("hi\n");
    ASSERT_TRUE(waitUntil([&] { return parser->has(QStringLiteral("header main 68690a")); }));
    tcp->writeData("yo", 1);
    EXPECT_EQ(readFrom(*accepted, 2), QByteArray("yo"));
    accepted->close();
    EXPECT_TRUE(waitUntil([&] { return !tcp->isActive(); }));

    // Nobody listening: never told it connected, and inactive again once the attempt fails.
    testsupport::RefusingTcpPort closed;
    ASSERT_NE(closed.port(), 0);
    auto [parser2, tcp2] = makePair<TcpRecorderParser, QMTCPNetworkHardwareCommunicator>();
    tcp2->setHostname(QStringLiteral("127.0.0.1"));
    tcp2->setPortNum(closed.port());
    tcp2->setSocketMode(QMSocketModeConnect);
    tcp2->activate();
    EXPECT_TRUE(waitUntil([&] { return !tcp2->isActive(); }));
    EXPECT_FALSE(parser2->has(QStringLiteral("didConnect")));
}

TEST(TcpCommunicator, NamesModesAndSavedElements)
{
    QMTCPNetworkHardwareCommunicator tcp;
    tcp.setPortNum(3811);
    tcp.updateDisplayName();
    EXPECT_EQ(tcp.displayName(), QStringLiteral("Any:3811"));
    tcp.setInterfaceString(QStringLiteral("en0"));
    tcp.updateDisplayName();
    EXPECT_EQ(tcp.displayName(), QStringLiteral("en0:3811"));
    tcp.setHostname(QStringLiteral("10.0.0.9"));
    EXPECT_EQ(tcp.displayName(), QStringLiteral("10.0.0.9:3811"));
    tcp.setSocketMode(QMSocketModeConnect);
    EXPECT_EQ(platform::writeXml(*tcp.serializedConnectionProperties(), {false, 0, false}),
              QByteArray("<QMTCPNetworkHardwareCommunicator interface=\"en0\" port=\"3811\" address=\"10.0.0.9\" mode=\"1\"/>"));
    tcp.actionMenuItemAction(QMSocketModeListen);
    EXPECT_TRUE(tcp.hostname().isEmpty());

    platform::LogCapture capture;
    QMTCPNetworkHardwareCommunicator unknown;
    unknown.activate();
    EXPECT_TRUE(capture.contains("Unknown action 0"));
    EXPECT_FALSE(unknown.isActive()) << "nothing was opened";
    EXPECT_EQ(unknown.activeStateLabel(), QStringLiteral("Not Connected"));
    EXPECT_EQ(unknown.failureReason(), QStringLiteral("Unknown action 0"));
}

TEST(TcpCommunicator, ARefusedConnectionNeverLeavesTheLinkActiveAndATryAfterItConnects)
{
    // A port that a test beside this one cannot be listening on, in this process or another.
    testsupport::RefusingTcpPort refusing;
    const quint16 port = refusing.port();
    ASSERT_NE(port, 0);

    // On loopback the refusal comes back at once, on the delegate queue, while the main thread
    // may still be in activate(): many links, many rounds, so the two meet in every order.
    constexpr int kRounds = 20;
    constexpr int kLinks = 8;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::pair<std::shared_ptr<TcpRecorderParser>, std::shared_ptr<QMTCPNetworkHardwareCommunicator>>> links;
        for (int i = 0; i < kLinks; ++i) {
            auto link = makePair<TcpRecorderParser, QMTCPNetworkHardwareCommunicator>();
            link.second->setHostname(QStringLiteral("127.0.0.1"));
            link.second->setPortNum(port);
            link.second->setSocketMode(QMSocketModeConnect);
            links.push_back(link);
        }
        for (auto& link : links)
            link.second->activate();
        for (auto& link : links) {
            ASSERT_TRUE(waitUntil([&] { return !link.second->isActive(); })) << "round " << round << ": a refused link stayed active";
            EXPECT_TRUE(link.second->failureReason().contains(QStringLiteral("refused"), Qt::CaseInsensitive))
                << link.second->failureReason().toStdString();
            EXPECT_FALSE(link.first->has(QStringLiteral("didConnect")));
        }
    }

    // Inactive, so a new attempt is made, and it connects once somebody listens.
    auto [parser, tcp] = makePair<TcpRecorderParser, QMTCPNetworkHardwareCommunicator>();
    tcp->setHostname(QStringLiteral("127.0.0.1"));
    tcp->setPortNum(port);
    tcp->setSocketMode(QMSocketModeConnect);
    tcp->activate();
    ASSERT_TRUE(waitUntil([&] { return !tcp->isActive(); }));
    refusing.release();
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    tcp->activate();
    ASSERT_TRUE(waitUntil([&] { return parser->has(QStringLiteral("didConnect")); }));
    EXPECT_TRUE(tcp->isActive());
    EXPECT_TRUE(tcp->failureReason().isEmpty());
}

TEST(TcpCommunicator, AFloodWithoutDelimitersAnd200ConnectionsLeaveItResponsive)
{
    TcpServerRig rig([](TcpRecorderParser& p) {
        p.headerDelimiter = "\n";
        p.echo = true;
    });
    auto flooder = rig.connectPeer();
    const QString floodId = TcpServerRig::id(*flooder);
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("accept ") + floodId); }));
    const QByteArray garbage(64 * 1024, '\x55');
    for (int i = 0; i < 16 && flooder->state() == QAbstractSocket::ConnectedState; ++i) {
        flooder->write(garbage);
        flooder->waitForBytesWritten(200);
    }
    ASSERT_TRUE(waitUntil([&] { return rig.parser->has(QStringLiteral("closed ") + floodId); }));

    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 200; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost(QHostAddress::LocalHost, rig.tcp->localPort());
    }
    ASSERT_TRUE(waitUntil([&] { return rig.tcp->connectionCount() == 200; }, 20000));
    // Still answers on a busy server.
    crowd.back()->write("ping\n");
    EXPECT_EQ(readFrom(*crowd.back(), 5), QByteArray("ping\n"));
    crowd.clear();
    EXPECT_TRUE(waitUntil([&] { return rig.tcp->connectionCount() == 0; }, 20000));
    EXPECT_EQ(rig.tcp->activeStateLabel(), QStringLiteral("Listening"));
}

namespace {

// Hands every header to the main thread and waits there, as the deck-control parsers do.
class MainThreadParser : public TcpRecorderParser {
public:
    std::atomic<bool> entered{false};
    std::atomic<bool> ranOnMain{false};
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray&, const QString&) override
    {
        entered = true;
        platform::dispatchMainSync([this] { ranOnMain = true; });
    }
};

} // namespace

TEST(TcpCommunicator, DeactivatingWhileACallbackWaitsForTheMainThreadDoesNotDeadlock)
{
    auto parser = std::make_shared<MainThreadParser>();
    parser->headerDelimiter = "\n";
    auto tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    parser->setHardwareCommunicator(tcp);
    tcp->setParser(parser);
    tcp->setInterfaceString(QStringLiteral("lo"));
    tcp->setSocketMode(QMSocketModeListen);
    tcp->activate();
    ASSERT_TRUE(tcp->isActive());
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, tcp->localPort());
    ASSERT_TRUE(peer.waitForConnected(5000));
    ASSERT_TRUE(waitUntil([&] { return tcp->connectionCount() == 1; }));
    peer.write("CUE\n");
    ASSERT_TRUE(peer.waitForBytesWritten(5000));
    // The main thread does not serve its events until the callback is waiting for it.
    for (int i = 0; i < 5000 && !parser->entered; ++i)
        QThread::usleep(1000);
    ASSERT_TRUE(parser->entered);
    tcp->deactivate();
    EXPECT_TRUE(parser->ranOnMain);
    EXPECT_FALSE(tcp->isActive());
}

namespace {

// Holds its first header until the test says, so the test can let go of everything meanwhile:
// the reference the communicator took for the callback is then the last.
class HoldingParser : public TcpRecorderParser {
public:
    std::atomic<bool> entered{false};
    std::shared_future<void> release;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* h, const QByteArray& header, const QString& id) override
    {
        entered = true;
        release.wait();
        TcpRecorderParser::networkHardwareReadHeaderFromConnection(h, header, id);
    }
};

} // namespace

TEST(TcpCommunicator, ItsLastOwnerLettingGoInsideOneOfItsCallbacksClosesTheLinkAndEndsItsThread)
{
    std::promise<void> letGo;
    auto parser = std::make_shared<HoldingParser>();
    parser->headerDelimiter = "\n";
    parser->release = letGo.get_future().share();
    auto tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    parser->setHardwareCommunicator(tcp);
    tcp->setParser(parser);
    tcp->setInterfaceString(QStringLiteral("lo"));
    tcp->setSocketMode(QMSocketModeListen);
    tcp->activate();
    ASSERT_TRUE(tcp->isActive());
    std::atomic<bool> threadGone{false};
    QObject::connect(tcp->delegateQueue().thread(), &QObject::destroyed, [&] { threadGone = true; });

    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, tcp->localPort());
    ASSERT_TRUE(peer.waitForConnected(5000));
    peer.write("CUE\nPLAY\n");
    ASSERT_TRUE(waitUntil([&] { return parser->entered.load(); }));
    parser.reset();
    tcp.reset();
    letGo.set_value();

    EXPECT_TRUE(waitUntil([&] { return peer.state() == QAbstractSocket::UnconnectedState; })) << "the accepted connection stayed open";
    EXPECT_TRUE(waitUntil([&] { return threadGone.load(); })) << "the queue's thread was never joined and deleted";
}
