// Sockets the main thread sets up in a queued job after it has started a service program, as the
// application does once its media helper runs. Every hand-off from the main thread to a socket's
// queue must stay ordered for a thread checker too: a checked build fails these tests on any
// report.
#include "platform/foundation/Dispatch.h"
#include "platform/net/AsyncTcpSocket.h"
#include "platform/net/AsyncUdpSocket.h"
#include "platform/xpc/XpcSpawn.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpSocket>
#include <QUdpSocket>

#include <atomic>
#include <mutex>
#include <vector>

#include <unistd.h>

using platform::net::AsyncTcpSocket;
using platform::net::AsyncUdpSocket;
using platform::net::DelegateQueue;
using testsupport::waitUntil;

namespace {

// A service program that starts and ends at once.
void runServiceProgram()
{
    QObject owner;
    QString error;
    const platform::XpcSpawned spawned = platform::spawnXpcService(QStringLiteral("/bin/true"), {}, &owner, &error);
    ASSERT_NE(spawned.process, nullptr) << error.toStdString();
    EXPECT_TRUE(spawned.process->waitForFinished(10000));
    EXPECT_EQ(spawned.process->exitCode(), 0);
    ::close(spawned.fd);
}

class Datagrams : public platform::net::AsyncUdpSocketDelegate {
public:
    std::atomic<int> received{0};
    void udpSocketDidReceiveData(AsyncUdpSocket*, const QByteArray&, const QHostAddress&, quint16) override { ++received; }
};

class Connections : public platform::net::AsyncTcpSocketDelegate {
public:
    std::mutex mutex;
    std::vector<AsyncTcpSocket*> accepted;
    std::vector<QByteArray> reads;

    void socketDidAcceptNewSocket(AsyncTcpSocket*, AsyncTcpSocket* socket) override
    {
        {
            std::lock_guard lock(mutex);
            accepted.push_back(socket);
        }
        socket->readDataToData("\r\n", -1, 1);
    }
    void socketDidReadData(AsyncTcpSocket*, const QByteArray& data, long) override
    {
        std::lock_guard lock(mutex);
        reads.push_back(data);
    }
    void socketDidDisconnect(AsyncTcpSocket*, const QString&) override {}
    size_t readCount()
    {
        std::lock_guard lock(mutex);
        return reads.size();
    }
};

} // namespace

TEST(SocketsAfterAChildProcess, AUdpSocketMadeInAMainThreadJobReceives)
{
    runServiceProgram();
    DelegateQueue queue{QStringLiteral("test.udp.after")};
    Datagrams delegate;
    std::atomic<AsyncUdpSocket*> socket{nullptr};
    std::atomic<quint16> port{0};
    platform::dispatchMain([&] {
        auto* s = new AsyncUdpSocket(queue, &delegate);
        QString error;
        if (s->bindToPort(0, QStringLiteral("lo"), false, &error) && s->beginReceiving(&error))
            port = s->localPort();
        socket = s;
    });
    ASSERT_TRUE(waitUntil([&] { return socket.load() != nullptr; }));
    ASSERT_NE(port.load(), 0);

    QUdpSocket peer;
    peer.writeDatagram("cue", QHostAddress::LocalHost, port.load());
    EXPECT_TRUE(waitUntil([&] { return delegate.received.load() == 1; }));
    queue.shutdown([&] { delete socket.load(); });
}

TEST(SocketsAfterAChildProcess, ATcpListenerMadeInAMainThreadJobAcceptsAndReads)
{
    runServiceProgram();
    DelegateQueue queue{QStringLiteral("test.tcp.after")};
    Connections delegate;
    std::atomic<AsyncTcpSocket*> listener{nullptr};
    std::atomic<quint16> port{0};
    platform::dispatchMain([&] {
        auto* s = new AsyncTcpSocket(queue, &delegate);
        QString error;
        if (s->acceptOnInterface(QStringLiteral("127.0.0.1"), 0, &error))
            port = s->localPort();
        listener = s;
    });
    ASSERT_TRUE(waitUntil([&] { return listener.load() != nullptr; }));
    ASSERT_NE(port.load(), 0);

    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, port.load());
    ASSERT_TRUE(peer.waitForConnected(5000));
    peer.write("PLAY\r\n");
    EXPECT_TRUE(waitUntil([&] { return delegate.readCount() == 1; }));
    queue.shutdown([&] {
        for (AsyncTcpSocket* s : delegate.accepted)
            delete s;
        delete listener.load();
    });
}
