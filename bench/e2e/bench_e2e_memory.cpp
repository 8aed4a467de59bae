// Resident memory of the whole program, read from /proc while it plays.
//   BM_ChannelMemory/N: the program with four channels on four 1080p29.97 virtual cards, nothing
//     loaded (each channel's first cue is an empty one). Idle is measured first: that is the peer.
//     Then N channels cue the 1080p ProRes clip over VDCP and loop it; VmRSS is sampled while they
//     play (peak: the largest of VmHWM and the samples; settled: the median of the second half).
//     Then each stops and cues its empty cue again, which unloads the clip as an automation
//     system would, and the settled RSS is read once more.
//     Counters: idle_mb, peak_mb, playing_mb, unloaded_mb, mb_per_channel (playing over idle per
//     playing channel), peak_mb_per_channel, mb_above_idle_after_unload.
// KLV_BENCH_PLAY_SECONDS sets the playing time (default 20). Needs an X display; the ProRes clip
// comes from `ctest -R media_fixture_large`.
#include "bench/support/BenchRun.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

constexpr int kChannels = 4;

bool unavailable(benchmark::State& state)
{
    const QString why = KalvantoProcess::unavailableReason();
    if (!why.isEmpty())
        state.SkipWithError(why.toStdString().c_str());
    return !why.isEmpty();
}

QByteArray cueId(const QString& name)
{
    return name.leftJustified(8).toLatin1();
}

Scene memoryScene(const std::vector<uint16_t>& ports, const QString& clip)
{
    Scene scene;
    for (int c = 1; c <= kChannels; ++c) {
        // The empty cue comes first, so the program starts with nothing loaded.
        scene.channels.push_back({{QStringLiteral("Black%1").arg(c), QString(), 29.97, 0},
                                  {QStringLiteral("Clip%1").arg(c), clip, 29.97, 3.0, -1, 1}});
        scene.devices << tcpDevice(QStringLiteral("Automation %1").arg(c), c, QStringLiteral("QMProtocolParserVDCP"),
                                   ports[size_t(c - 1)]);
        if (c > 1)
            scene.cardsJson += QStringLiteral(", ");
        scene.cardsJson += QStringLiteral("{\"name\": \"Out %1\", \"modes\": [\"HD 1080p 29.97\"]}").arg(c);
        scene.defaults << QStringLiteral("KLVShowSlate_%1=false").arg(c)
                       << QStringLiteral("KLVSelectedAudioOutput%1=1").arg(c);
    }
    return scene;
}

// VmRSS and VmHWM of a process, in MB (0 when it is gone).
struct Resident {
    double rssMb = 0;
    double peakMb = 0;
};

Resident resident(pid_t pid)
{
    Resident r;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return r;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2)
            continue;
        if (words[0] == "VmRSS:")
            r.rssMb = words[1].toDouble() / 1024.0;
        else if (words[0] == "VmHWM:")
            r.peakMb = words[1].toDouble() / 1024.0;
    }
    return r;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// VmRSS every 200 ms for a while: all samples, and the largest VmHWM seen.
struct Samples {
    std::vector<double> rss;
    double peak = 0;
    double settled() const { return median(std::vector<double>(rss.begin() + rss.size() / 2, rss.end())); }
    double largest() const { return std::max(peak, rss.empty() ? 0 : *std::max_element(rss.begin(), rss.end())); }
};

Samples sample(pid_t pid, std::chrono::milliseconds length)
{
    Samples s;
    const auto end = std::chrono::steady_clock::now() + length;
    do {
        const Resident r = resident(pid);
        s.rss.push_back(r.rssMb);
        s.peak = std::max(s.peak, r.peakMb);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    } while (std::chrono::steady_clock::now() < end);
    return s;
}

std::uint8_t stateByte(const Reply& r)
{
    return r.kind == Reply::Data && r.data.size() >= 2 ? std::uint8_t(r.data.at(1)) : 0;
}

bool cueDone(VdcpSession& vdcp)
{
    return (stateByte(vdcp.ask(frame(0x30, 0x05, QByteArray(1, 0x01)))) & 0x80) != 0;
}

// Whether each of the first `channels` cards shows a moving picture.
bool allMoving(KalvantoProcess& app, int channels)
{
    for (int c = 0; c < channels; ++c) {
        const auto log = readFrameLog(app.frameLogPath(c));
        bool moving = false;
        for (size_t i = 1; i < log.size() && !moving; ++i)
            moving = log[i].barcode >= 0 && log[i - 1].barcode >= 0 && log[i].barcode != log[i - 1].barcode;
        if (!moving)
            return false;
    }
    return true;
}

void BM_ChannelMemory(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const QString clip = testsupport::mediaPath("prores_1080p");
    if (!QFileInfo::exists(clip)) {
        state.SkipWithError("prores_1080p missing: run ctest -R media_fixture_large");
        return;
    }
    const int playing = int(state.range(0));
    const char* seconds = std::getenv("KLV_BENCH_PLAY_SECONDS");
    const int playSeconds = seconds && std::atoi(seconds) > 0 ? std::atoi(seconds) : (benchsupport::smokeRun() ? 1 : 20);
    const auto settle = std::chrono::seconds(benchsupport::smokeRun() ? 1 : 4);
    for (auto _ : state) {
        // A port of its own for each channel: the ones after a free port may be taken.
        std::vector<uint16_t> ports;
        for (int c = 0; c < kChannels; ++c)
            ports.push_back(testsupport::freeTcpPort());
        KalvantoProcess app(memoryScene(ports, clip));
        std::vector<std::unique_ptr<VdcpSession>> vdcp;
        bool ready = app.start();
        for (int c = 0; ready && c < kChannels; ++c) {
            vdcp.push_back(std::make_unique<VdcpSession>());
            ready = waitFor([&] { return tcpAccepts(ports[size_t(c)]); }, 90000) && vdcp.back()->connectTo(ports[size_t(c)])
                && vdcp.back()->ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81);
        }
        if (!ready) {
            state.SkipWithError("program not reachable");
            return;
        }
        // The window, the cards and the helper settle before idle is read.
        std::this_thread::sleep_for(settle);
        const double idle = sample(app.pid(), settle).settled();

        bool cued = true;
        for (int c = 0; c < playing; ++c)
            cued = cued && vdcp[size_t(c)]->ask(frame(0x20, 0x24, cueId(QStringLiteral("Clip%1").arg(c + 1))), 30000).kind == Reply::Ack
                && waitFor([&] { return cueDone(*vdcp[size_t(c)]); }, 30000);
        for (int c = 0; cued && c < playing; ++c)
            cued = vdcp[size_t(c)]->ask(frame(0x10, 0x01)).kind == Reply::Ack;
        if (!cued || !waitFor([&] { return allMoving(app, playing); }, 30000)) {
            state.SkipWithError("the channels did not play");
            return;
        }
        const Samples whilePlaying = sample(app.pid(), std::chrono::seconds(playSeconds));

        bool unloaded = true;
        for (int c = 0; c < playing; ++c)
            unloaded = unloaded && vdcp[size_t(c)]->ask(frame(0x10, 0x00)).kind == Reply::Ack
                && vdcp[size_t(c)]->ask(frame(0x20, 0x24, cueId(QStringLiteral("Black%1").arg(c + 1))), 30000).kind == Reply::Ack;
        if (!unloaded) {
            state.SkipWithError("the channels did not unload");
            return;
        }
        std::this_thread::sleep_for(settle);
        const double after = sample(app.pid(), settle).settled();
        app.terminate();

        const double settledPlaying = whilePlaying.settled();
        const double peak = whilePlaying.largest();
        state.counters["idle_mb"] = idle;
        state.counters["peak_mb"] = peak;
        state.counters["playing_mb"] = settledPlaying;
        state.counters["unloaded_mb"] = after;
        state.counters["mb_per_channel"] = playing > 0 ? (settledPlaying - idle) / playing : 0;
        state.counters["peak_mb_per_channel"] = playing > 0 ? (peak - idle) / playing : 0;
        state.counters["mb_above_idle_after_unload"] = after - idle;
    }
}

} // namespace

// A smoke run proves the path with one channel; the sweep is for measuring.
BENCHMARK(BM_ChannelMemory)->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond)->Apply([](benchmark::internal::Benchmark* b) {
    if (!benchsupport::smokeRun())
        b->Arg(0);
    b->Arg(1);
    if (!benchsupport::smokeRun())
        b->Arg(2)->Arg(4);
});

int main(int argc, char** argv)
{
    return benchsupport::runBenchmarks(argc, argv);
}
