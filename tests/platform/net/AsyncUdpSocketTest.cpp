// The UDP socket layer on 127.0.0.1, the loopback broadcast address and a multicast group on lo.
#include "platform/net/AsyncUdpSocket.h"
#include "platform/net/NetworkInterfaces.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <mutex>
#include <QNetworkInterface>
#include <QUdpSocket>

using platform::net::AsyncUdpSocket;
using platform::net::DelegateQueue;
using testsupport::waitUntil;

namespace {

class Recorder : public platform::net::AsyncUdpSocketDelegate {
public:
    struct Datagram {
        QByteArray data;
        QHostAddress from;
        quint16 port;
    };
    mutable std::mutex mutex;
    std::vector<Datagram> datagrams;
    int connects = 0;
    int closes = 0;
    QStringList sendErrors;

    void udpSocketDidReceiveData(AsyncUdpSocket*, const QByteArray& d, const QHostAddress& from, quint16 port) override
    {
        std::unique_lock l(mutex);
        datagrams.push_back({d, from, port});
    }
    void udpSocketDidConnectToAddress(AsyncUdpSocket*, const QHostAddress&, quint16) override
    {
        std::unique_lock l(mutex);
        ++connects;
    }
    void udpSocketDidNotSendDataWithTag(AsyncUdpSocket*, long, const QString& error) override
    {
        std::unique_lock l(mutex);
        sendErrors << error;
    }
    void udpSocketDidClose(AsyncUdpSocket*, const QString&) override
    {
        std::unique_lock l(mutex);
        ++closes;
    }
    template <class F>
    auto with(F f) const
    {
        std::unique_lock l(mutex);
        return f();
    }
};

struct Udp {
    DelegateQueue queue{QStringLiteral("test.udp")};
    Recorder recorder;
    AsyncUdpSocket* socket = new AsyncUdpSocket(queue, &recorder);
    ~Udp()
    {
        queue.shutdown([this] { delete socket; });
    }
    size_t count() const { return recorder.with([&] { return recorder.datagrams.size(); }); }
};

QByteArray receiveOne(QUdpSocket& s)
{
    if (!waitUntil([&] { return s.hasPendingDatagrams(); }))
        return {};
    QByteArray d(int(s.pendingDatagramSize()), 0);
    s.readDatagram(d.data(), d.size());
    return d;
}

} // namespace

TEST(AsyncUdpSocket, ReceivesWithTheSenderAndAppliesTheFilter)
{
    Udp u;
    QString error;
    ASSERT_TRUE(u.socket->bindToPort(0, QStringLiteral("lo"), false, &error)) << error.toStdString();
    u.socket->setReceiveFilter([](const QByteArray& d, const QHostAddress&, quint16) { return !d.startsWith("drop"); });
    ASSERT_TRUE(u.socket->beginReceiving(&error));
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    peer.writeDatagram("drop me", QHostAddress::LocalHost, u.socket->localPort());
    peer.writeDatagram("keep", QHostAddress::LocalHost, u.socket->localPort());
    ASSERT_TRUE(waitUntil([&] { return u.count() == 1; }));
    const auto d = u.recorder.with([&] { return u.recorder.datagrams.front(); });
    EXPECT_EQ(d.data, QByteArray("keep"));
    EXPECT_EQ(d.from, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(d.port, peer.localPort());

    // A bound socket cannot be bound again; a connected send on an unconnected socket is refused.
    EXPECT_FALSE(u.socket->bindToPort(0, QString(), false, &error));
    u.socket->sendData("x", 1, 7);
    ASSERT_TRUE(waitUntil([&] { return u.recorder.with([&] { return !u.recorder.sendErrors.isEmpty(); }); }));

    u.socket->sendData("back", d.from, d.port, 1, 0);
    EXPECT_EQ(receiveOne(peer), QByteArray("back"));
    u.socket->close();
    EXPECT_TRUE(u.socket->isClosed());
    EXPECT_EQ(u.recorder.with([&] { return u.recorder.closes; }), 1);
}

TEST(AsyncUdpSocket, ConnectsAndSendsToItsPeer)
{
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    Udp u;
    QString error;
    ASSERT_TRUE(u.socket->connectToHost(QStringLiteral("127.0.0.1"), peer.localPort(), &error));
    ASSERT_TRUE(waitUntil([&] { return u.socket->isConnected(); }));
    EXPECT_FALSE(u.socket->connectToHost(QStringLiteral("127.0.0.1"), peer.localPort(), &error));
    u.socket->sendData("hi", 1, 0);
    EXPECT_EQ(receiveOne(peer), QByteArray("hi"));
}

TEST(AsyncUdpSocket, BroadcastsOnTheLoopbackNetwork)
{
    QUdpSocket receiver;
    if (!receiver.bind(QHostAddress(QStringLiteral("127.255.255.255")), 0)) {
        ASSERT_TRUE(receiver.bind(QHostAddress::AnyIPv4, 0));
    }
    Udp u;
    QString error;
    ASSERT_TRUE(u.socket->enableBroadcast(true, &error)) << error.toStdString();
    u.socket->sendData("all", QStringLiteral("127.255.255.255"), receiver.localPort(), 1, 0);
    EXPECT_EQ(receiveOne(receiver), QByteArray("all"));
}

TEST(AsyncUdpSocket, JoinsAndSendsToAMulticastGroupOnLoopback)
{
    const QHostAddress group(QStringLiteral("239.255.77.11"));
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(group, 0, QUdpSocket::ShareAddress));
    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    ASSERT_TRUE(receiver.joinMulticastGroup(group, lo));

    Udp u;
    QString error;
    ASSERT_TRUE(u.socket->bindToPort(0, QStringLiteral("lo"), true, &error)) << error.toStdString();
    ASSERT_TRUE(u.socket->joinMulticastGroup(group.toString(), QStringLiteral("lo"), &error)) << error.toStdString();
    EXPECT_FALSE(u.socket->joinMulticastGroup(QStringLiteral("10.1.1.1"), QStringLiteral("lo"), &error));
    u.socket->sendData("group", group, receiver.localPort(), 1, 0);
    EXPECT_EQ(receiveOne(receiver), QByteArray("group"));
}

TEST(NetworkInterfaces, LoopbackAndMappedAddresses)
{
    bool unknown = true;
    const auto lo = platform::net::interfaceAddress(QStringLiteral("lo"), &unknown);
    ASSERT_TRUE(lo);
    EXPECT_FALSE(unknown);
    EXPECT_EQ(lo->address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_FALSE(platform::net::interfaceAddress(QStringLiteral("nope9"), &unknown));
    EXPECT_TRUE(unknown);
    EXPECT_FALSE(platform::net::interfaceAddress(QString(), &unknown));
    EXPECT_FALSE(unknown);
    EXPECT_EQ(platform::net::addressText(QHostAddress(QStringLiteral("::ffff:127.0.0.1"))), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(platform::net::addressText(QHostAddress(QStringLiteral("::1"))), QStringLiteral("::1"));
}
