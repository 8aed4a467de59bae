// The whole program as a child process against its libraries in this process.
//   BM_LibraryVdcpPlayToAck / BM_ApplicationVdcpPlayToAck: one VDCP Play and its ACK over
//     loopback TCP from the same blocking client, to the module controller over fake channels
//     in a thread of this process, and to the running program (parser, interpreter, channel).
//   BM_LibraryListening / BM_StartupToListeningVdcp: until a VDCP port accepts connections.
//   BM_ProResChannels/N: N channels looping a 1080p29.97 ProRes clip to N virtual cards for
//     KLV_BENCH_PLAY_SECONDS (default 60); late counts periods a card repeated a frame or
//     reported one late or dropped once every channel was moving. The program has four channels;
//     bench_engine_channels measures more engines without it.
// Needs an X display; the ProRes clip comes from `ctest -R media_fixture_large`.
#include "bench/comm/protocols/VdcpLoopbackServer.h"
#include "bench/support/BenchRun.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace e2e;
using vdcppeer::frame;

namespace {

const QByteArray kPlay = frame(0x10, 0x01);
const QByteArray kOpenPort1 = frame(0x30, 0x01, QByteArray(1, char(0x01)));

bool isAck(const QByteArray& b)
{
    return !b.isEmpty();
}

// Waits for a reply while this thread's event loop runs: the in-process server's parser and
// interpreter live on it, as they do on the program's main thread.
QByteArray awaitReply(TcpPeer& peer, qsizetype size, int timeoutMs)
{
    QByteArray got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < size && std::chrono::steady_clock::now() < deadline) {
        got += peer.receive([](const QByteArray& b) { return !b.isEmpty(); }, 0);
        if (got.size() < size)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return got;
}

void playToAck(benchmark::State& state, TcpPeer& peer)
{
    std::vector<double> latencies;
    latencies.reserve(1 << 16);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!peer.send(kPlay) || !isAck(awaitReply(peer, 1, 5000))) {
            state.SkipWithError("no answer");
            return;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
    state.counters["median_us"] = latencies.empty() ? 0 : latencies[latencies.size() / 2];
}

bool openPort(TcpPeer& peer)
{
    return peer.send(kOpenPort1) && awaitReply(peer, 6, 10000).size() >= 6;
}

Scene vdcpScene(uint16_t port, int channels, const QString& clip, const QString& mode)
{
    Scene scene;
    for (int c = 1; c <= channels; ++c) {
        scene.channels.push_back({{QStringLiteral("Clip%1").arg(c), clip, mode.isEmpty() ? 25 : 29.97, 3.0, -1,
                                   mode.isEmpty() ? 0 : 1}});
        scene.devices << tcpDevice(QStringLiteral("Automation %1").arg(c), c, QStringLiteral("QMProtocolParserVDCP"),
                                   uint16_t(port + c - 1));
        if (c > 1)
            scene.cardsJson += QStringLiteral(", ");
        scene.cardsJson += mode.isEmpty() ? cardJson(QStringLiteral("Out %1").arg(c), 320, 240, 25)
                                          : QStringLiteral("{\"name\": \"Out %1\", \"modes\": [\"%2\"]}").arg(c).arg(mode);
        scene.defaults << QStringLiteral("KLVShowSlate_%1=false").arg(c)
                       << QStringLiteral("KLVSelectedAudioOutput%1=1").arg(c);
    }
    return scene;
}

bool unavailable(benchmark::State& state)
{
    const QString why = KalvantoProcess::unavailableReason();
    if (!why.isEmpty())
        state.SkipWithError(why.toStdString().c_str());
    return !why.isEmpty();
}

void BM_LibraryVdcpPlayToAck(benchmark::State& state)
{
    vdcpbench::Server server;
    TcpPeer peer;
    if (!server.tcp->isActive() || !peer.connectTo(server.tcp->localPort()) || !openPort(peer)) {
        state.SkipWithError("library server not reachable");
        return;
    }
    playToAck(state, peer);
}

void BM_ApplicationVdcpPlayToAck(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const uint16_t port = testsupport::freeTcpPort();
    KalvantoProcess app(vdcpScene(port, 1, testsupport::mediaPath("mjpeg"), {}));
    TcpPeer peer;
    if (!app.start() || !waitFor([&] { return tcpAccepts(port); }, 30000) || !peer.connectTo(port) || !openPort(peer)) {
        state.SkipWithError("program not reachable");
        return;
    }
    playToAck(state, peer);
    app.terminate();
}

void BM_LibraryListening(benchmark::State& state)
{
    for (auto _ : state) {
        vdcpbench::Server server;
        if (!server.tcp->isActive() || !tcpAccepts(server.tcp->localPort()))
            state.SkipWithError("library server not listening");
    }
}

void BM_StartupToListeningVdcp(benchmark::State& state)
{
    if (unavailable(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        const uint16_t port = testsupport::freeTcpPort();
        auto app = std::make_unique<KalvantoProcess>(vdcpScene(port, 1, testsupport::mediaPath("mjpeg"), {}));
        state.ResumeTiming();
        if (!app->start() || !waitFor([&] { return tcpAccepts(port); }, 60000)) {
            state.SkipWithError("port never listened");
            return;
        }
        state.PauseTiming();
        app->terminate();
        app.reset();
        state.ResumeTiming();
    }
}

void BM_ProResChannels(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const QString clip = testsupport::mediaPath("prores_1080p");
    if (!QFileInfo::exists(clip)) {
        state.SkipWithError("prores_1080p missing: run ctest -R media_fixture_large");
        return;
    }
    const int channels = int(state.range(0));
    const char* seconds = std::getenv("KLV_BENCH_PLAY_SECONDS");
    const int playSeconds = seconds && std::atoi(seconds) > 0 ? std::atoi(seconds) : (benchsupport::smokeRun() ? 1 : 60);
    for (auto _ : state) {
        const uint16_t port = testsupport::freeTcpPort();
        KalvantoProcess app(vdcpScene(port, channels, clip, QStringLiteral("HD 1080p 29.97")));
        std::vector<std::unique_ptr<TcpPeer>> peers;
        for (int c = 0; c < channels; ++c)
            peers.push_back(std::make_unique<TcpPeer>());
        bool ready = app.start();
        for (int c = 0; ready && c < channels; ++c)
            ready = waitFor([&] { return tcpAccepts(uint16_t(port + c)); }, 60000)
                && peers[size_t(c)]->connectTo(uint16_t(port + c)) && openPort(*peers[size_t(c)]);
        if (!ready) {
            state.SkipWithError("program not reachable");
            return;
        }
        for (int c = 0; c < channels; ++c) {
            peers[size_t(c)]->send(frame(0x20, 0x24, QStringLiteral("Clip%1").arg(c + 1).leftJustified(8).toLatin1()));
            peers[size_t(c)]->receive([](const QByteArray& b) { return !b.isEmpty(); }, 30000);
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        for (auto& peer : peers) {
            peer->send(kPlay);
            peer->receive([](const QByteArray& b) { return !b.isEmpty(); }, 5000);
        }
        // From the first period every card shows a moving picture.
        std::vector<int64_t> fromTick(size_t(channels), -1);
        waitFor([&] {
            bool all = true;
            for (int c = 0; c < channels; ++c) {
                if (fromTick[size_t(c)] >= 0)
                    continue;
                const auto log = readFrameLog(app.frameLogPath(c));
                for (size_t i = 1; i < log.size(); ++i)
                    if (log[i].barcode >= 0 && log[i - 1].barcode >= 0 && log[i].barcode != log[i - 1].barcode) {
                        fromTick[size_t(c)] = log[i].tick + 30; // past the scheduled lead
                        break;
                    }
                all = all && fromTick[size_t(c)] >= 0;
            }
            return all;
        }, 20000);
        std::this_thread::sleep_for(std::chrono::seconds(playSeconds));
        int64_t late = 0, periods = 0;
        for (int c = 0; c < channels; ++c) {
            if (fromTick[size_t(c)] < 0) {
                late += 1 << 20; // never moved
                continue;
            }
            for (const FrameLogRecord& r : readFrameLog(app.frameLogPath(c))) {
                if (r.tick < fromTick[size_t(c)])
                    continue;
                ++periods;
                if (r.repeated || r.result != 0)
                    ++late;
            }
        }
        state.counters["late"] = double(late);
        state.counters["periods"] = double(periods);
        state.counters["seconds"] = playSeconds;
        app.terminate();
    }
}

} // namespace

BENCHMARK(BM_LibraryVdcpPlayToAck)->UseRealTime()->MinTime(benchsupport::minTime(2.0));
BENCHMARK(BM_ApplicationVdcpPlayToAck)->UseRealTime()->MinTime(benchsupport::minTime(2.0));
BENCHMARK(BM_LibraryListening)->UseRealTime()->Iterations(benchsupport::iterations(20))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupToListeningVdcp)->UseRealTime()->Iterations(benchsupport::iterations(3))->Unit(benchmark::kMillisecond);
// A smoke run proves the path with one channel; the full sweep, up to the program's four
// channels, is for measuring.
BENCHMARK(BM_ProResChannels)->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond)->Apply([](benchmark::internal::Benchmark* b) {
    b->Arg(1);
    if (!benchsupport::smokeRun())
        b->Arg(2)->Arg(4);
});

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("KLV_BINARY_DIR"))
        qputenv("KLV_BINARY_DIR", KLV_BENCH_BINARY_DIR);
    if (!qEnvironmentVariableIsSet("KLV_TEST_DATA"))
        qputenv("KLV_TEST_DATA", KLV_BENCH_BINARY_DIR "/test-data");
    return benchsupport::runBenchmarks(argc, argv);
}
