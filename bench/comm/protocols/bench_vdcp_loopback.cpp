// VDCP over TCP on loopback, through the module controller and the application's command
// interpreter into four fake channels: commands per second (items_per_second) and the median
// time from a command leaving the controller to its acknowledgement arriving (median_us). The
// controller socket lives on the main thread, which also runs the parser and the interpreter,
// so the loop waits in the event loop the way the application does.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/QMNetworkHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/core/fakes/FakeChannels.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

QByteArray frame(std::uint8_t cmd1, std::uint8_t cmd2, const QByteArray& data = {})
{
    QByteArray body;
    body.append(char(cmd1)).append(char(cmd2)).append(data);
    std::uint8_t sum = 0;
    for (const char b : body)
        sum = std::uint8_t(sum + std::uint8_t(b));
    return QByteArray(1, 0x02) + QByteArray(1, char(body.size())) + body + QByteArray(1, char(std::uint8_t(0x100 - sum)));
}

struct Server {
    QTemporaryDir folder;
    FakeChannelProvider channels{4};
    QMCommunicationModuleController controller;
    std::shared_ptr<QMCommModuleConnectionManager> manager;
    std::shared_ptr<QMProtocolParserVDCP> parser = std::make_shared<QMProtocolParserVDCP>();
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();

    Server()
    {
        platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
        manager = std::make_shared<QMCommModuleConnectionManager>(folder.filePath(QStringLiteral("data")));
        manager->setDelegate(&channels);
        manager->setCommModuleController(&controller);
        controller.setCommandInterpreter(manager);
        parser->setDelegate(&controller);
        parser->setBehavior(QMProtocolBehaviorDevice);
        parser->setHardwareCommunicator(tcp);
        tcp->setParser(parser);
        tcp->setInterfaceString(QStringLiteral("lo"));
        tcp->setSocketMode(QMSocketModeListen);
        tcp->activate();
    }
    ~Server()
    {
        tcp->deactivate();
        parser->setDelegate(nullptr);
    }
};

bool waitFor(QTcpSocket& socket, qsizetype count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (socket.bytesAvailable() < count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
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
