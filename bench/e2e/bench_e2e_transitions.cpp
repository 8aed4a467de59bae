// The moments between clips, through the whole program on virtual cards, read from the frame log.
//   BM_NextCue: ten cues of a 2 s barcoded clip, each ending in the next; counts the periods
//     between the last frame of one cue and the first of the next that showed no clip frame
//     (black) or a frame again (repeated), and the frames of either cue that never aired
//     (skipped).
//   BM_LoopSeam: one cue looping ten times; at each seam the frames repeated (frozen) or skipped.
//   Both with argument 0 over the whole clip, with 1 over frames 10 to 39 (in 0.4 s, out 1.6 s).
//   BM_PlayToAir: a cued clip whose frame is on air is played over VDCP; the card periods from the
//     one the command was sent in to the first with a new frame (median and most over ten plays).
//   BM_CueToAck: a VDCP Play Cue of a 1080p ProRes or H.264 clip (alternately, so every cue opens
//     a file) to its ACK, while a second connection asks for the port status without pause: the
//     longest status round trip during the cue is the longest the main thread stalled. The peer
//     is the status round trip of the idle program (median), measured in the same run.
// Needs an X display; the 1080p clips come from `ctest -R media_fixture_large`.
#include "bench/support/BenchRun.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

constexpr int64_t kClipFrames = 50; // mjpeg: 2 s at 25 fps, every frame barcoded

bool unavailable(benchmark::State& state)
{
    const QString why = KalvantoProcess::unavailableReason();
    if (!why.isEmpty())
        state.SkipWithError(why.toStdString().c_str());
    return !why.isEmpty();
}

Scene cardScene(uint16_t port, std::vector<Cue> cues)
{
    Scene scene;
    scene.channels = {std::move(cues)};
    scene.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    scene.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    scene.defaults << QStringLiteral("KLVShowSlate_1=false") << QStringLiteral("KLVSelectedAudioOutput1=1");
    return scene;
}

bool ready(KalvantoProcess& app, uint16_t port, VdcpSession& vdcp)
{
    return app.start() && waitFor([&] { return tcpAccepts(port); }, 60000) && vdcp.connectTo(port)
        && vdcp.ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81);
}

// The first status byte of a port status reply (0 without one).
std::uint8_t stateByte(const Reply& r)
{
    return r.kind == Reply::Data && r.data.size() >= 2 ? std::uint8_t(r.data.at(1)) : 0;
}

bool cueDone(VdcpSession& vdcp)
{
    return (stateByte(vdcp.ask(frame(0x30, 0x05, QByteArray(1, 0x01)))) & 0x80) != 0;
}

// Runs of one barcode: (code, periods).
std::vector<std::pair<int64_t, int64_t>> runs(const std::vector<int64_t>& codes)
{
    std::vector<std::pair<int64_t, int64_t>> out;
    for (int64_t c : codes) {
        if (!out.empty() && out.back().first == c)
            ++out.back().second;
        else
            out.push_back({c, 1});
    }
    return out;
}

struct SeamCount {
    int64_t seams = 0;
    int64_t black = 0;    // periods without a clip frame between two frames of the clips
    int64_t repeated = 0; // extra periods of a frame at a seam (a freeze)
    int64_t skipped = 0;  // frames around a seam that never aired
};

// Seams are where the barcode goes back (the clip starts again); the frames of the ten periods
// around a seam are looked at, as the card shows them one period each when all is well.
SeamCount countSeams(const std::vector<int64_t>& codes, int64_t lastFrame, int64_t firstFrame)
{
    SeamCount count;
    const auto r = runs(codes);
    for (size_t i = 1; i < r.size(); ++i) {
        // The previous clip frame before this run, across black runs.
        size_t prev = i - 1;
        int64_t blackHere = 0;
        while (prev > 0 && r[prev].first < 0) {
            blackHere += r[prev].second;
            --prev;
        }
        if (r[i].first < 0 || r[prev].first < 0 || r[i].first >= r[prev].first)
            continue;
        ++count.seams;
        count.black += blackHere;
        count.skipped += (lastFrame - r[prev].first) + (r[i].first - firstFrame);
        // A freeze: the last frame before or the first after held longer than one period, and
        // the frames that follow within the next few, skipped or held.
        count.repeated += r[prev].second - 1 + r[i].second - 1;
        for (size_t k = i + 1; k < r.size() && k < i + 5 && r[k].first >= 0; ++k) {
            count.repeated += r[k].second - 1;
            count.skipped += std::max<int64_t>(0, r[k].first - r[k - 1].first - 1);
        }
    }
    return count;
}

// What aired ("NxK" runs), printed with KLV_BENCH_TRANSITION_RUNS=1.
void printRuns(const std::vector<int64_t>& codes)
{
    if (qEnvironmentVariableIntValue("KLV_BENCH_TRANSITION_RUNS"))
        std::fprintf(stderr, "%s\n", testsupport::describeRuns(codes).c_str());
}

void report(benchmark::State& state, const SeamCount& c)
{
    state.counters["seams"] = double(c.seams);
    state.counters["black_periods"] = double(c.black);
    state.counters["repeated_periods"] = double(c.repeated);
    state.counters["skipped_frames"] = double(c.skipped);
}

int seamsWanted()
{
    return benchsupport::smokeRun() ? 1 : 10;
}

// A cue of the clip over its whole length, or (ranged) over frames 10 to 39.
constexpr int64_t kRangeFirst = 10;
constexpr int64_t kRangeLast = 39;
Cue rangedCue(const QString& name, const QString& clip, int behaviour, bool ranged)
{
    Cue cue{name, clip, 25, 2.0, -1, behaviour};
    if (ranged) {
        cue.inPoint = kRangeFirst / 25.0;
        cue.outPoint = (kRangeLast + 1) / 25.0;
    }
    return cue;
}
int64_t firstOf(const benchmark::State& state)
{
    return state.range(0) != 0 ? kRangeFirst : 0;
}
int64_t lastOf(const benchmark::State& state)
{
    return state.range(0) != 0 ? kRangeLast : kClipFrames - 1;
}

void BM_NextCue(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const QString clip = testsupport::mediaPath("mjpeg");
    for (auto _ : state) {
        const uint16_t port = testsupport::freeTcpPort();
        std::vector<Cue> cues;
        for (int i = 0; i <= seamsWanted(); ++i)
            cues.push_back(rangedCue(QStringLiteral("Cue%1").arg(i), clip, 2, state.range(0) != 0));
        KalvantoProcess app(cardScene(port, cues));
        VdcpSession vdcp;
        if (!ready(app, port, vdcp)) {
            state.SkipWithError("program not reachable");
            return;
        }
        vdcp.ask(frame(0x20, 0x24, QByteArray("Cue0    ")), 30000);
        waitFor([&] { return cueDone(vdcp); }, 30000);
        const int64_t from = int64_t(readFrameLog(app.frameLogPath(0)).size());
        vdcp.ask(frame(0x10, 0x01));
        SeamCount count;
        waitFor([&] {
            count = countSeams(barcodesFrom(readFrameLog(app.frameLogPath(0)), from), lastOf(state), firstOf(state));
            return count.seams >= seamsWanted();
        }, 10000 + 4000 * seamsWanted());
        printRuns(barcodesFrom(readFrameLog(app.frameLogPath(0)), from));
        app.terminate();
        report(state, count);
    }
}

void BM_LoopSeam(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const QString clip = testsupport::mediaPath("mjpeg");
    for (auto _ : state) {
        const uint16_t port = testsupport::freeTcpPort();
        KalvantoProcess app(cardScene(port, {rangedCue(QStringLiteral("Loop"), clip, 1, state.range(0) != 0)}));
        VdcpSession vdcp;
        if (!ready(app, port, vdcp)) {
            state.SkipWithError("program not reachable");
            return;
        }
        vdcp.ask(frame(0x20, 0x24, QByteArray("Loop    ")), 30000);
        waitFor([&] { return cueDone(vdcp); }, 30000);
        const int64_t from = int64_t(readFrameLog(app.frameLogPath(0)).size());
        vdcp.ask(frame(0x10, 0x01));
        SeamCount count;
        waitFor([&] {
            count = countSeams(barcodesFrom(readFrameLog(app.frameLogPath(0)), from), lastOf(state), firstOf(state));
            return count.seams >= seamsWanted();
        }, 10000 + 4000 * seamsWanted());
        printRuns(barcodesFrom(readFrameLog(app.frameLogPath(0)), from));
        app.terminate();
        report(state, count);
    }
}

double median(std::vector<double> v);

// The card period (25p, on the reference every virtual card counts from) a moment falls in.
int64_t cardPeriodAt(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count() / 40'000'000;
}

void BM_PlayToAir(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const QString clip = testsupport::mediaPath("mjpeg");
    const uint16_t port = testsupport::freeTcpPort();
    KalvantoProcess app(cardScene(port, {{QStringLiteral("Clip"), clip, 25, 2.0, -1, 0}}));
    VdcpSession vdcp;
    if (!ready(app, port, vdcp)) {
        state.SkipWithError("program not reachable");
        return;
    }
    std::vector<double> periods;
    for (auto _ : state) {
        vdcp.ask(frame(0x20, 0x24, QByteArray("Clip    ")), 30000);
        waitFor([&] { return cueDone(vdcp); }, 30000);
        // The cued frame on air for a few periods.
        waitFor([&] {
            const auto codes = barcodesFrom(readFrameLog(app.frameLogPath(0)), 0);
            return codes.size() >= 5 && std::all_of(codes.end() - 5, codes.end(), [](int64_t c) { return c == 0; });
        }, 30000);
        const auto sent = std::chrono::steady_clock::now();
        vdcp.ask(frame(0x10, 0x01));
        const int64_t sentPeriod = cardPeriodAt(sent);
        int64_t aired = -1;
        waitFor([&] {
            for (const auto& r : readFrameLog(app.frameLogPath(0)))
                if (r.tick > sentPeriod && r.barcode > 0) {
                    aired = r.tick;
                    return true;
                }
            return false;
        }, 30000);
        if (aired < 0) {
            state.SkipWithError("the play never aired");
            break;
        }
        periods.push_back(double(aired - sentPeriod));
        vdcp.ask(frame(0x10, 0x00)); // stop
    }
    app.terminate();
    state.counters["periods_median"] = median(periods);
    state.counters["periods_max"] = periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_CueToAck(benchmark::State& state)
{
    if (unavailable(state))
        return;
    const QString prores = testsupport::mediaPath("prores_1080p");
    const QString h264 = testsupport::mediaPath("h264_1080p");
    if (!QFileInfo::exists(prores) || !QFileInfo::exists(h264)) {
        state.SkipWithError("1080p clips missing: run ctest -R media_fixture_large");
        return;
    }
    const uint16_t port = testsupport::freeTcpPort();
    Scene scene = cardScene(port, {{QStringLiteral("ProRes"), prores, 29.97, 3.0}, {QStringLiteral("H264"), h264, 29.97, 3.0}});
    KalvantoProcess app(scene);
    VdcpSession automation, monitor;
    if (!ready(app, port, automation) || !monitor.connectTo(port)
        || !monitor.ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81)) {
        state.SkipWithError("program not reachable");
        return;
    }
    const QByteArray status = frame(0x30, 0x05, QByteArray(1, 0x01));
    waitFor([&] { return cueDone(monitor); }, 30000);
    // The peer: the status round trip of the idle program.
    std::vector<double> idle;
    for (int i = 0; i < 50; ++i) {
        const auto start = std::chrono::steady_clock::now();
        monitor.ask(status);
        idle.push_back(msSince(start));
    }
    std::vector<double> acks;
    double longestStall = 0;
    int n = 0;
    for (auto _ : state) {
        const QByteArray id = (n++ % 2 == 0) ? QByteArray("ProRes  ") : QByteArray("H264    ");
        std::atomic<bool> cueing{true};
        double stall = 0;
        std::thread poller([&] {
            while (cueing.load()) {
                const auto start = std::chrono::steady_clock::now();
                const Reply r = monitor.ask(status);
                stall = std::max(stall, msSince(start));
                if ((stateByte(r) & 0x80) && !cueing.load())
                    break;
            }
        });
        const auto start = std::chrono::steady_clock::now();
        const Reply ack = automation.ask(frame(0x20, 0x24, id), 30000);
        acks.push_back(msSince(start));
        // Until the cue is done, as automation polls for it.
        waitFor([&] { return cueDone(automation); }, 30000);
        cueing = false;
        poller.join();
        longestStall = std::max(longestStall, stall);
        if (ack.kind != Reply::Ack) {
            state.SkipWithError("cue not acknowledged");
            break;
        }
    }
    app.terminate();
    const double idleMedian = median(idle);
    state.counters["ack_median_ms"] = median(acks);
    state.counters["ack_max_ms"] = acks.empty() ? 0 : *std::max_element(acks.begin(), acks.end());
    state.counters["longest_stall_ms"] = longestStall;
    state.counters["idle_status_ms"] = idleMedian;
    state.counters["stall_vs_idle"] = idleMedian > 0 ? longestStall / idleMedian : 0;
}

} // namespace

BENCHMARK(BM_NextCue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_LoopSeam)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlayToAir)->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(10))->UseRealTime();
BENCHMARK(BM_CueToAck)->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(10))->UseRealTime();

int main(int argc, char** argv)
{
    return benchsupport::runBenchmarks(argc, argv);
}
