// VDCP over TCP on loopback, through the module controller and the application's command
// interpreter into four fake channels: commands per second (items_per_second) and the median
// time from a command leaving the controller to its acknowledgement arriving (median_us). The
// controller socket lives on the main thread, which also runs the parser and the interpreter,
// so the loop waits in the event loop the way the application does.
//
// Beside each, in the same run and with the same client, a plain echo peer (a Qt socket on its
// own thread answering every command-sized frame with a reply-sized one, the same bytes on the
// wire as the VDCP exchange): echo_median_us, echo_items_per_second, and the ratios vs_echo_median and
// vs_echo_rate (VDCP over echo; the goal is at most 3 for the round trip).
#include "bench/comm/protocols/VdcpLoopbackServer.h"
#include "bench/support/BenchRun.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

using namespace vdcpbench;

namespace {

// The echo peer: a listening socket on its own thread; every complete frame of frameBytes is
// answered with replyBytes as soon as it arrives.
class EchoPeer {
public:
    EchoPeer(qsizetype frameBytes, qsizetype replyBytes)
    {
        server_.moveToThread(&thread_);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this, frameBytes, replyBytes] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QObject::connect(s, &QTcpSocket::readyRead, s, [s, frameBytes, replyBytes] {
                    const qsizetype frames = s->bytesAvailable() / frameBytes;
                    if (frames > 0) {
                        s->read(frames * frameBytes);
                        s->write(QByteArray(frames * replyBytes, 0x04));
                    }
                });
            }
        });
        thread_.start();
        QMetaObject::invokeMethod(&server_, [this] { server_.listen(QHostAddress::LocalHost, 0); }, Qt::BlockingQueuedConnection);
    }
    ~EchoPeer()
    {
        QMetaObject::invokeMethod(&server_, [this] { server_.close(); qDeleteAll(server_.children()); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    quint16 port() const { return server_.serverPort(); }

private:
    QThread thread_;
    QTcpServer server_;
};

struct Figures {
    double medianUs = 0;
    double perSecond = 0;
};

bool connectClient(benchmark::State& state, QTcpSocket& client, quint16 port)
{
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000)) {
        state.SkipWithError("cannot connect");
        return false;
    }
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

// Sends the payload (commands frames) and awaits replyBytes, rounds times (each turn of the
// benchmark's loop when rounds is 0); `between` runs after each round.
bool exchange(benchmark::State& state, QTcpSocket& client, const QByteArray& payload, int commands, qsizetype replyBytes,
              int64_t rounds, Figures& figures, const std::function<void(size_t)>& between = {})
{
    std::vector<double> latencies;
    latencies.reserve(1 << 16);
    double total = 0;
    auto one = [&] {
        const auto start = std::chrono::steady_clock::now();
        client.write(payload);
        client.flush();
        if (!waitFor(client, replyBytes))
            return false;
        client.read(replyBytes);
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        latencies.push_back(us);
        total += us;
        if (between)
            between(latencies.size());
        return true;
    };
    if (rounds == 0) {
        for (auto _ : state)
            if (!one()) {
                state.SkipWithError("no answer");
                return false;
            }
    } else {
        for (int64_t i = 0; i < rounds; ++i)
            if (!one()) {
                state.SkipWithError("no answer from the echo peer");
                return false;
            }
    }
    if (latencies.empty())
        return false;
    std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
    figures.medianUs = latencies[latencies.size() / 2];
    figures.perSecond = double(latencies.size()) * commands / (total / 1e6);
    return true;
}

// batch frames are sent in one write and all their replies awaited.
void runCommands(benchmark::State& state, const QByteArray& command, qsizetype replySize, int batch)
{
    Server server;
    if (!server.tcp->isActive()) {
        state.SkipWithError("cannot listen");
        return;
    }
    QTcpSocket client;
    if (!connectClient(state, client, server.tcp->localPort()))
        return;
    // Open port 1: the commands address channel 1.
    client.write(frame(0x30, 0x01, QByteArray(1, 0x01)));
    if (!waitFor(client, 6)) {
        state.SkipWithError("no answer to Open Port");
        return;
    }
    client.readAll();
    const QByteArray payload = command.repeated(batch);
    Figures vdcp;
    const bool ran = exchange(state, client, payload, batch, replySize * batch, 0, vdcp, [&](size_t done) {
        if (done % 4096 == 0)
            server.channels.channel(1).movie.calls.clear(); // the fake records every call
    });
    state.SetItemsProcessed(state.iterations() * batch);
    if (!ran)
        return;
    state.counters["median_us"] = vdcp.medianUs;

    EchoPeer peer(command.size(), replySize);
    QTcpSocket echoClient;
    Figures echo;
    if (!connectClient(state, echoClient, peer.port())
        || !exchange(state, echoClient, payload, batch, replySize * batch, std::min<int64_t>(int64_t(state.iterations()), 20000), echo))
        return;
    state.counters["echo_median_us"] = echo.medianUs;
    state.counters["echo_items_per_second"] = echo.perSecond;
    state.counters["vs_echo_median"] = vdcp.medianUs / echo.medianUs;
    state.counters["vs_echo_rate"] = vdcp.perSecond / echo.perSecond;
}

void BM_VdcpPlayToAck(benchmark::State& state)
{
    runCommands(state, frame(0x10, 0x01), 1, 1);
}

void BM_VdcpPortStatusReply(benchmark::State& state)
{
    // Asks channel 1's state and answers a framed reply of three data bytes.
    runCommands(state, frame(0x30, 0x05, QByteArray(1, 0x01)), 8, 1);
}

// Two commands in one write, as automation sends a cue and its play.
void BM_VdcpTwoBackToBack(benchmark::State& state)
{
    runCommands(state, frame(0x10, 0x01), 1, 2);
}

void BM_VdcpPlayPipelined64(benchmark::State& state)
{
    runCommands(state, frame(0x10, 0x01), 1, 64);
}

BENCHMARK(BM_VdcpPlayToAck)->UseRealTime()->MinTime(benchsupport::minTime(1.0));
BENCHMARK(BM_VdcpPortStatusReply)->UseRealTime()->MinTime(benchsupport::minTime(1.0));
BENCHMARK(BM_VdcpTwoBackToBack)->UseRealTime()->MinTime(benchsupport::minTime(1.0));
BENCHMARK(BM_VdcpPlayPipelined64)->UseRealTime()->MinTime(benchsupport::minTime(1.0));

} // namespace

int main(int argc, char** argv)
{
    benchsupport::setEnvironment();
    QCoreApplication app(argc, argv);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    return benchsupport::runBenchmarks(argc, argv);
}
