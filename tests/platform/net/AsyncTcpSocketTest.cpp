// The TCP socket layer against plain QTcpSocket peers on 127.0.0.1 (ephemeral ports).
#include "platform/net/AsyncTcpSocket.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <mutex>
#include <QTcpSocket>

#include <atomic>
#include <memory>
#include <vector>

using platform::net::AsyncTcpSocket;
using platform::net::DelegateQueue;
using testsupport::waitUntil;

namespace {

// Records every callback; sockets it is given are deleted with the queue.
class Recorder : public platform::net::AsyncTcpSocketDelegate {
public:
    struct Read {
        QByteArray data;
        long tag;
    };
    mutable std::mutex mutex;
    std::vector<AsyncTcpSocket*> accepted;
    std::vector<Read> reads;
    std::vector<QString> disconnects;
    int connects = 0;
    int readTimeouts = 0;
    double extension = 0;

    void socketDidAcceptNewSocket(AsyncTcpSocket*, AsyncTcpSocket* s) override
    {
        std::unique_lock l(mutex);
        accepted.push_back(s);
    }
    void socketDidConnectToHost(AsyncTcpSocket*, const QString&, quint16) override
    {
        std::unique_lock l(mutex);
        ++connects;
    }
    void socketDidReadData(AsyncTcpSocket*, const QByteArray& d, long tag) override
    {
        std::unique_lock l(mutex);
        reads.push_back({d, tag});
    }
    double socketShouldTimeoutReadWithTag(AsyncTcpSocket*, long, double, qsizetype) override
    {
        std::unique_lock l(mutex);
        ++readTimeouts;
        return readTimeouts == 1 ? extension : 0;
    }
    void socketDidDisconnect(AsyncTcpSocket*, const QString& error) override
    {
        std::unique_lock l(mutex);
        disconnects.push_back(error);
    }
    template <class F>
    auto with(F f) const
    {
        std::unique_lock l(mutex);
        return f();
    }
};

struct Server {
    DelegateQueue queue{QStringLiteral("test.tcp")};
    Recorder recorder;
    AsyncTcpSocket* listener = new AsyncTcpSocket(queue, &recorder);
    QTcpSocket peer;

    Server()
    {
        QString error;
        EXPECT_TRUE(listener->acceptOnInterface(QStringLiteral("127.0.0.1"), 0, &error)) << error.toStdString();
        EXPECT_NE(listener->localPort(), 0);
        peer.connectToHost(QHostAddress::LocalHost, listener->localPort());
        EXPECT_TRUE(peer.waitForConnected(5000));
        EXPECT_TRUE(waitUntil([&] { return recorder.with([&] { return recorder.accepted.size() == 1; }); }));
    }
    ~Server()
    {
        queue.shutdown([this] {
            for (AsyncTcpSocket* s : recorder.accepted)
                delete s;
            delete listener;
        });
    }
    AsyncTcpSocket* connection() { return recorder.with([&] { return recorder.accepted.front(); }); }
    std::vector<Recorder::Read> reads() { return recorder.with([&] { return recorder.reads; }); }
};

} // namespace

TEST(AsyncTcpSocket, ServesDelimiterLengthAndAnyReadsInOrder)
{
    Server s;
    AsyncTcpSocket* c = s.connection();
    EXPECT_TRUE(c->isConnected());
    EXPECT_EQ(c->connectedHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(c->connectedPort(), s.peer.localPort());
    c->readDataToData("\r\n", -1, 1);
    c->readDataToLength(3, -1, 2);
    c->readData(-1, 3);
    s.peer.write("hello\r");
    s.peer.flush();
    testsupport::pumpEvents(20);
    EXPECT_TRUE(s.reads().empty()); // the delimiter is not complete yet
    s.peer.write("\nabcdef");
    ASSERT_TRUE(waitUntil([&] { return s.reads().size() == 3; }));
    const auto reads = s.reads();
    EXPECT_EQ(reads[0].data, QByteArray("hello\r\n"));
    EXPECT_EQ(reads[0].tag, 1);
    EXPECT_EQ(reads[1].data, QByteArray("abc"));
    EXPECT_EQ(reads[2].data, QByteArray("def"));
}

TEST(AsyncTcpSocket, WritesReachThePeer)
{
    Server s;
    s.connection()->writeData("one", 5, 0);
    s.connection()->writeData("two", 5, 0);
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        got += s.peer.readAll();
        return got.size() >= 6;
    }));
    EXPECT_EQ(got, QByteArray("onetwo"));
}

TEST(AsyncTcpSocket, ADelimiterThatNeverComesClosesAtTheCap)
{
    Server s;
    s.connection()->readDataToData("\n", -1, 1);
    const QByteArray garbage(16 * 1024, 'x');
    for (int i = 0; i < 8 && s.peer.state() == QAbstractSocket::ConnectedState; ++i) {
        s.peer.write(garbage);
        s.peer.waitForBytesWritten(1000);
    }
    ASSERT_TRUE(waitUntil([&] { return s.recorder.with([&] { return !s.recorder.disconnects.empty(); }); }));
    EXPECT_TRUE(s.reads().empty());
    EXPECT_FALSE(s.recorder.with([&] { return s.recorder.disconnects.front(); }).isEmpty());
}

TEST(AsyncTcpSocket, ReadTimeoutAsksTheDelegateAndHonoursOneExtension)
{
    Server s;
    s.recorder.extension = 0.1;
    s.connection()->readDataToLength(4, 0.05, 2);
    ASSERT_TRUE(waitUntil([&] { return s.recorder.with([&] { return !s.recorder.disconnects.empty(); }); }));
    EXPECT_EQ(s.recorder.with([&] { return s.recorder.readTimeouts; }), 2);
    EXPECT_TRUE(waitUntil([&] { return s.peer.state() == QAbstractSocket::UnconnectedState || !s.peer.waitForReadyRead(50); }));
}

TEST(AsyncTcpSocket, BufferedBytesAreStillServedAfterThePeerCloses)
{
    Server s;
    s.peer.write("AB|CD|");
    s.peer.flush();
    s.peer.disconnectFromHost();
    testsupport::pumpEvents(50);
    s.connection()->readDataToData("|", -1, 1);
    s.connection()->readDataToData("|", -1, 1);
    ASSERT_TRUE(waitUntil([&] { return s.recorder.with([&] { return !s.recorder.disconnects.empty(); }); }));
    const auto reads = s.reads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[1].data, QByteArray("CD|"));
}

TEST(AsyncTcpSocket, ClientConnectsAndAListenFailureIsAnsweredAtOnce)
{
    Server s;
    DelegateQueue queue(QStringLiteral("test.client"));
    Recorder recorder;
    auto* client = new AsyncTcpSocket(queue, &recorder);
    QString error;
    ASSERT_TRUE(client->connectToHost(QStringLiteral("127.0.0.1"), s.listener->localPort(), QStringLiteral("lo"), 5, &error));
    ASSERT_TRUE(waitUntil([&] { return recorder.with([&] { return recorder.connects == 1; }); }));
    EXPECT_TRUE(client->isConnected());
    EXPECT_FALSE(client->connectToHost(QStringLiteral("127.0.0.1"), 1, QString(), 5, &error));

    auto* second = new AsyncTcpSocket(queue, &recorder);
    EXPECT_FALSE(second->acceptOnInterface(QStringLiteral("127.0.0.1"), s.listener->localPort(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(second->isDisconnected());
    EXPECT_FALSE(second->acceptOnInterface(QStringLiteral("no-such-if0"), 0, &error));

    client->disconnect();
    EXPECT_TRUE(client->isDisconnected());
    EXPECT_EQ(recorder.with([&] { return recorder.disconnects.size(); }), 1u);
    queue.shutdown([&] {
        delete client;
        delete second;
    });
}

namespace {

// Asks for its next read and answers from inside each read callback, as protocol parsers do.
class ChainingReader : public platform::net::AsyncTcpSocketDelegate {
public:
    std::atomic<int> frames{0};
    std::atomic<bool> inOrder{true};
    void socketDidAcceptNewSocket(AsyncTcpSocket*, AsyncTcpSocket* s) override
    {
        socket = s;
        s->readDataToLength(2, -1, 1);
    }
    void socketDidReadData(AsyncTcpSocket* s, const QByteArray& d, long tag) override
    {
        if (tag == 1) { // "#n" header: then the body up to the line end
            s->readDataToData("\n", -1, 2);
            return;
        }
        const int n = frames.load();
        if (d != QByteArray::number(n % 1000) + '\n')
            inOrder = false;
        frames = n + 1;
        s->writeData(QByteArray(1, char('a' + n % 26)), -1, 0);
        s->readDataToLength(2, -1, 1);
    }
    void socketDidDisconnect(AsyncTcpSocket*, const QString&) override {}
    AsyncTcpSocket* socket = nullptr;
};

} // namespace

TEST(AsyncTcpSocket, ReadsAndWritesAskedForInsideCallbacksKeepTheirOrderOverManyBufferedFrames)
{
    DelegateQueue queue{QStringLiteral("test.tcp.chain")};
    ChainingReader reader;
    auto* listener = new AsyncTcpSocket(queue, &reader);
    QString error;
    ASSERT_TRUE(listener->acceptOnInterface(QStringLiteral("127.0.0.1"), 0, &error)) << error.toStdString();
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, listener->localPort());
    ASSERT_TRUE(peer.waitForConnected(5000));
    // Thousands of frames in one write are all buffered at once: served in a loop, not by
    // nesting a call per frame.
    constexpr int kFrames = 20000;
    QByteArray all;
    QByteArray expected;
    for (int i = 0; i < kFrames; ++i) {
        all += "#:" + QByteArray::number(i % 1000) + '\n';
        expected += char('a' + i % 26);
    }
    peer.write(all);
    QByteArray replies;
    EXPECT_TRUE(waitUntil([&] {
        replies += peer.readAll();
        return replies.size() >= kFrames;
    }, 30000));
    EXPECT_EQ(reader.frames.load(), kFrames);
    EXPECT_TRUE(reader.inOrder.load());
    EXPECT_EQ(replies, expected);
    queue.shutdown([&] {
        delete reader.socket;
        delete listener;
    });
}
