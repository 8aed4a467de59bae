// Round trip of a small framed command on loopback: through a TCP communicator and a trivial
// parser that answers on the connection, beside a plain Qt socket echo on its own thread.
// Reports messages per second (items_per_second) and the median round trip in microseconds.
#include "bench/support/BenchRun.h"
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

namespace {

const QByteArray kCommand("PLAY 0001\r\n");

class EchoParser : public QMProtocolParser, public QMTCPNetworkProtocolParser {
public:
    static const QMProtocolParserClass& theClass()
    {
        static const QMProtocolParserClassOf<EchoParser> c(QStringLiteral("QMProtocolParserBenchEcho"));
        return c;
    }
    const QMProtocolParserClass& parserClass() const override { return theClass(); }
    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.headerDelimiter = "\r\n"}; }
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* h, const QString& id) override { h->readHeaderOnConnection(id, -1); }
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* h, const QByteArray& header, const QString& id) override
    {
        h->writeData(header, id, 5);
        h->readHeaderOnConnection(id, -1);
    }
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray&, const QString&) override {}
};

// A line echo server on its own thread, the plain-socket reference.
class EchoServer : public QObject {
public:
    QTcpServer server;
    EchoServer()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    while (s->canReadLine())
                        s->write(s->readLine());
                });
            }
        });
    }
};

void runRoundTrips(benchmark::State& state, quint16 port)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000)) {
        state.SkipWithError("cannot connect");
        return;
    }
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    std::vector<double> latencies;
    latencies.reserve(1 << 16);
    QByteArray reply;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        client.write(kCommand);
        client.flush();
        reply.clear();
        while (reply.size() < kCommand.size()) {
            if (!client.waitForReadyRead(5000)) {
                state.SkipWithError("no answer");
                return;
            }
            reply += client.readAll();
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetItemsProcessed(state.iterations());
    if (!latencies.empty()) {
        std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
        state.counters["median_us"] = latencies[latencies.size() / 2];
    }
}

void BM_CommunicatorRoundTrip(benchmark::State& state)
{
    auto parser = std::make_shared<EchoParser>();
    auto tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    parser->setHardwareCommunicator(tcp);
    tcp->setParser(parser);
    tcp->setInterfaceString(QStringLiteral("lo"));
    tcp->setSocketMode(QMSocketModeListen);
    tcp->activate();
    if (!tcp->isActive()) {
        state.SkipWithError("cannot listen");
        return;
    }
    runRoundTrips(state, tcp->localPort());
    tcp->deactivate();
}

void BM_PlainQtSocketEcho(benchmark::State& state)
{
    QThread thread;
    auto* echo = new EchoServer;
    echo->moveToThread(&thread);
    echo->server.moveToThread(&thread);
    // Handed back through an atomic made before the thread starts: the blocking call waits inside
    // Qt, where a thread checker cannot see that the port was written before the call returned.
    std::atomic<quint16> port{0};
    thread.start();
    QMetaObject::invokeMethod(echo, [&] {
        echo->server.listen(QHostAddress::LocalHost, 0);
        port.store(echo->server.serverPort(), std::memory_order_release);
    }, Qt::BlockingQueuedConnection);
    runRoundTrips(state, port.load(std::memory_order_acquire));
    QMetaObject::invokeMethod(echo, [echo] { delete echo; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

BENCHMARK(BM_CommunicatorRoundTrip)->UseRealTime()->MinTime(benchsupport::minTime(1.0));
BENCHMARK(BM_PlainQtSocketEcho)->UseRealTime()->MinTime(benchsupport::minTime(1.0));

} // namespace

int main(int argc, char** argv)
{
    benchsupport::setEnvironment();
    QCoreApplication app(argc, argv);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    return benchsupport::runBenchmarks(argc, argv);
}
