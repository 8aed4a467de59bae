// VDCP over TCP on loopback, through the module controller and the application's command
// interpreter into four fake channels: commands per second (items_per_second) and the median
// time from a command leaving the controller to its acknowledgement arriving (median_us). The
// controller socket lives on the main thread, which also runs the parser and the interpreter,
// so the loop waits in the event loop the way the application does.
#include "bench/comm/protocols/VdcpLoopbackServer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace vdcpbench;

namespace {

// batch frames are sent in one write and all their replies awaited.
void runCommands(benchmark::State& state, const QByteArray& command, qsizetype replySize, int batch)
{
    Server server;
    if (!server.tcp->isActive()) {
        state.SkipWithError("cannot listen");
        return;
    }
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.tcp->localPort());
    if (!client.waitForConnected(5000)) {
        state.SkipWithError("cannot connect");
        return;
    }
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Open port 1: the commands address channel 1.
    client.write(frame(0x30, 0x01, QByteArray(1, 0x01)));
    if (!waitFor(client, 6)) {
        state.SkipWithError("no answer to Open Port");
        return;
    }
    client.readAll();
    const QByteArray payload = command.repeated(batch);
    std::vector<double> latencies;
    latencies.reserve(1 << 16);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        client.write(payload);
        client.flush();
        if (!waitFor(client, replySize * batch)) {
            state.SkipWithError("no answer");
            return;
        }
        client.read(replySize * batch);
        latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (latencies.size() % 4096 == 0)
            server.channels.channel(1).movie.calls.clear(); // the fake records every call
    }
    state.SetItemsProcessed(state.iterations() * batch);
    if (!latencies.empty()) {
        std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
        state.counters["median_us"] = latencies[latencies.size() / 2];
    }
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

BENCHMARK(BM_VdcpPlayToAck)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_VdcpPortStatusReply)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_VdcpTwoBackToBack)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_VdcpPlayPipelined64)->UseRealTime()->MinTime(1.0);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
