// What goes on air, frame by frame, when automation drives the real program over VDCP on TCP to
// virtual cards (their frame logs read back). Each scenario runs on 1 and on 4 channels at once (or on
// the number it names) and reports, summed over the channels:
//   skipped   clip frames of the expected run that never aired (and steps backward)
//   repeated  periods a frame stayed on air beyond the clip's cadence on the card
//   black     periods without a clip frame while the clip should have been on air
//   apart     (linked start) periods where a slave's frame differed from its master's
//   slate_at  (late slate) the latest clip frame on air when every channel's slate had come
// Goal on an idle machine: 0 in every counter (slate_at: below the clip's last frame, 89). Adding a scenario is one entry in kScenarios.
// Needs an X display (scripts/test starts Xvfb).
#include "bench/support/BenchRun.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/HeldMediaHelper.h"
#include "tests/e2e/support/OnAirProgram.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>

#include <functional>
#include <map>
#include <thread>

using namespace e2e;
using testsupport::OnAirAccuracy;

namespace {

constexpr int64_t kClipFrames = 90; // prores_2997
constexpr double kStep = 1001.0 / 30000.0;
// Steps start at this frame of prores_5994: the next ones cross frames whose times fall a hair
// below their frame's start when divided by the frame duration.
constexpr int64_t kStepCued = 18;
constexpr double kStep5994 = 1001.0 / 60000.0;
constexpr int64_t kHdClipFrames = 180; // h264_720p5994

struct Figures {
    OnAirAccuracy accuracy;
    int64_t apart = 0;
    // (late slate) the latest clip frame on air once every slate had arrived; -1: none came
    int64_t slateAt = -1;
    // What aired in each judged run ("NxK" runs), printed with KLV_BENCH_ONAIR_RUNS=1.
    void add(const OnAirAccuracy& a, const std::vector<int64_t>& codes)
    {
        if (qEnvironmentVariableIntValue("KLV_BENCH_ONAIR_RUNS"))
            std::fprintf(stderr, "%s\n", testsupport::describeRuns(codes).c_str());
        add(a);
    }
    void add(const OnAirAccuracy& a)
    {
        accuracy.skipped += a.skipped;
        accuracy.repeated += a.repeated;
        accuracy.black += a.black;
        accuracy.periods += a.periods;
    }
};

struct Scenario {
    const char* name;
    CardMode (*mode)();
    double inPoint; // seconds, < 0: none
    bool linked;    // channels 2..N follow channel 1
    // Drives every channel of a started program and judges what aired; false when the program
    // did not do what it was told at all.
    bool (*run)(OnAirProgram& program, Figures& figures);
    const char* media = "prores_2997"; // the clip every channel cues
    double fps = 29.97;
    int64_t frames = kClipFrames;
    int masterBehaviour = 0; // End of channel 1's cue (1: loop)
    // Changes the prepared program before it starts (null: as prepared).
    void (*prepare)(Scene& scene) = nullptr;
    // The cue ends at frame 29 with End = Next Cue, and a cue of frames 30 to 59 follows it.
    bool shortNextCue = false;
    // Channels the scenario runs with (0: 1 and 4).
    int channels = 0;
};

bool cueAll(OnAirProgram& program, int64_t cued)
{
    for (int c = 0; c < program.channels(); ++c)
        if (!program.cue(c, QStringLiteral("CLIP")) || !program.waitForCueDone(c) || !program.waitForOnAir(c, cued))
            return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForHold(c, 5))
            return false;
    return true;
}

std::vector<size_t> marks(OnAirProgram& program)
{
    std::vector<size_t> at;
    for (int c = 0; c < program.channels(); ++c)
        at.push_back(program.logMark(c));
    return at;
}

// Cue, play to the end and judge from the frame after the cued one to the clip's last (-1: a
// slate stands for the cued position, the play starts with frame 0). whilePlaying, when given,
// runs once every channel plays.
bool playThrough(OnAirProgram& program, Figures& figures, int64_t cued, double clipPerPeriod,
                 const std::function<bool()>& whilePlaying = {})
{
    if (!cueAll(program, cued))
        return false;
    const std::vector<size_t> from = marks(program);
    for (int c = 0; c < program.channels(); ++c)
        if (!program.play(c))
            return false;
    if (whilePlaying && !whilePlaying())
        return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForOnAir(c, kClipFrames - 1, 30000) || !program.waitForHold(c, 10))
            return false;
    for (int c = 0; c < program.channels(); ++c)
    {
        const std::vector<int64_t> codes = program.onAirSince(c, from[size_t(c)]);
        figures.add(testsupport::judgeOnAir(codes, cued + 1, kClipFrames - 1, clipPerPeriod), codes);
    }
    return true;
}

bool start(OnAirProgram& program, Figures& figures)
{
    return playThrough(program, figures, 0, 1.0);
}

bool inPoint(OnAirProgram& program, Figures& figures)
{
    return playThrough(program, figures, 30, 1.0);
}

bool cadence(OnAirProgram& program, Figures& figures)
{
    return playThrough(program, figures, 0, 0.5);
}

bool recue(OnAirProgram& program, Figures& figures)
{
    const int cycles = benchsupport::smokeRun() ? 1 : 3;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (!cueAll(program, 0))
            return false;
        const std::vector<size_t> from = marks(program);
        for (int c = 0; c < program.channels(); ++c)
            if (!program.play(c))
                return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        for (int c = 0; c < program.channels(); ++c)
            if (!program.still(c))
                return false;
        for (int c = 0; c < program.channels(); ++c) {
            if (!program.waitForHold(c, 5))
                return false;
            const std::vector<int64_t> codes = program.onAirSince(c, from[size_t(c)]);
            if (codes.empty())
                return false;
            figures.add(testsupport::judgeOnAir(codes, 1, codes.back(), 1.0), codes);
        }
    }
    return true;
}

bool linkedStart(OnAirProgram& program, Figures& figures)
{
    // The master's cue and play move its slaves with it.
    if (!program.cue(0, QStringLiteral("CLIP")))
        return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForOnAir(c, 0) || !program.waitForHold(c, 5))
            return false;
    const std::vector<size_t> from = marks(program);
    if (!program.play(0))
        return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForOnAir(c, kClipFrames - 1, 30000) || !program.waitForHold(c, 10))
            return false;
    std::map<int64_t, int64_t> master;
    const std::vector<int64_t> masterPeriods = program.periodsSince(0, from[0]);
    const std::vector<int64_t> masterCodes = program.onAirSince(0, from[0]);
    for (size_t i = 0; i < masterPeriods.size() && i < masterCodes.size(); ++i)
        master[masterPeriods[i]] = masterCodes[i];
    for (int c = 0; c < program.channels(); ++c) {
        const std::vector<int64_t> codes = program.onAirSince(c, from[size_t(c)]);
        figures.add(testsupport::judgeOnAir(codes, 1, kClipFrames - 1, 1.0), codes);
        const std::vector<int64_t> periods = program.periodsSince(c, from[size_t(c)]);
        for (size_t i = 0; c > 0 && i < periods.size() && i < codes.size(); ++i) {
            const auto it = master.find(periods[i]);
            if (it != master.end() && it->second != codes[i])
                ++figures.apart;
        }
    }
    return true;
}

// The frame a card shows now.
int64_t onAirNow(OnAirProgram& program, int channel)
{
    const std::vector<int64_t> codes = program.onAirSince(channel, 0);
    return codes.empty() ? -1 : codes.back();
}

// Steps from a still at the cue's in point, one frame each: a step that moved by anything but one
// frame counts the frames it passed over (or the one it did not reach).
bool stepFromStill(OnAirProgram& program, Figures& figures)
{
    const int steps = benchsupport::smokeRun() ? 5 : 40;
    if (!cueAll(program, kStepCued))
        return false;
    std::vector<int64_t> previous(size_t(program.channels()), kStepCued);
    for (int s = 0; s < steps; ++s) {
        for (int c = 0; c < program.channels(); ++c)
            if (!program.step(c))
                return false;
        for (int c = 0; c < program.channels(); ++c) {
            // A step that goes elsewhere is seen once the picture settles.
            program.waitForOnAir(c, previous[size_t(c)] + 1, 3000);
            if (!program.waitForHold(c, 5))
                return false;
            const int64_t now = onAirNow(program, c);
            const int64_t moved = now - previous[size_t(c)];
            OnAirAccuracy step;
            step.skipped = moved > 1 ? moved - 1 : 1 - moved;
            step.periods = 1;
            figures.add(step, {previous[size_t(c)], now});
            previous[size_t(c)] = now;
        }
    }
    return true;
}

// The master loops on a clip of `frames` frames; its slaves pass each seam with it. Judged on the
// slaves, their passes laid end to end, until the master's stop.
bool linkedLoopOf(OnAirProgram& program, Figures& figures, int64_t frames)
{
    const int seams = benchsupport::smokeRun() ? 1 : 4;
    if (!program.cue(0, QStringLiteral("CLIP")))
        return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForOnAir(c, 0) || !program.waitForHold(c, 5))
            return false;
    const std::vector<size_t> from = marks(program);
    if (!program.play(0))
        return false;
    // Late in each pass, then early in the next: the seam lies between.
    for (int seam = 0; seam < seams; ++seam)
        if (!program.waitForOnAir(0, frames * 2 / 3) || !program.waitForOnAir(0, frames * 2 / 9))
            return false;
    if (!program.waitForOnAir(0, frames * 4 / 9) || !program.stop(0))
        return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForOnAir(c, -1) || !program.waitForHold(c, 5))
            return false;
    std::map<int64_t, int64_t> master;
    const std::vector<int64_t> masterPeriods = program.periodsSince(0, from[0]);
    const std::vector<int64_t> masterCodes = program.onAirSince(0, from[0]);
    for (size_t i = 0; i < masterPeriods.size() && i < masterCodes.size(); ++i)
        master[masterPeriods[i]] = masterCodes[i];
    for (int c = 1; c < program.channels(); ++c) {
        std::vector<int64_t> codes = program.onAirSince(c, from[size_t(c)]);
        const std::vector<int64_t> periods = program.periodsSince(c, from[size_t(c)]);
        for (size_t i = 0; i < periods.size() && i < codes.size(); ++i) {
            const auto it = master.find(periods[i]);
            if (it != master.end() && it->second >= 0 && codes[i] >= 0 && it->second != codes[i])
                ++figures.apart;
        }
        while (!codes.empty() && codes.back() == -1)
            codes.pop_back();
        const std::vector<int64_t> unwrapped = testsupport::unwrapLoop(codes, 0, frames - 1);
        if (unwrapped.empty())
            return false;
        figures.add(testsupport::judgeOnAir(unwrapped, 1, unwrapped.back(), 1.0), codes);
    }
    return true;
}

bool linkedLoop(OnAirProgram& program, Figures& figures)
{
    return linkedLoopOf(program, figures, kClipFrames);
}

bool linkedLoopHd5994(OnAirProgram& program, Figures& figures)
{
    return linkedLoopOf(program, figures, kHdClipFrames);
}

// A short cue waiting at its out point for the cue after it, played: its frames, then the next
// cue's, one straight run of 1 to 59.
bool shortNextCue(OnAirProgram& program, Figures& figures)
{
    if (!cueAll(program, 0))
        return false;
    const std::vector<size_t> from = marks(program);
    for (int c = 0; c < program.channels(); ++c)
        if (!program.play(c))
            return false;
    for (int c = 0; c < program.channels(); ++c)
        if (!program.waitForOnAir(c, 59, 30000) || !program.waitForHold(c, 10))
            return false;
    for (int c = 0; c < program.channels(); ++c) {
        const std::vector<int64_t> codes = program.onAirSince(c, from[size_t(c)]);
        figures.add(testsupport::judgeOnAir(codes, 1, 59, 1.0), codes);
    }
    return true;
}

// Replies of the media helper to the channels' slate requests so far.
int slatesArrived(OnAirProgram& program)
{
    return int(program.app().output().count("that was missing it's slate"));
}

// The clip's slate does not exist when it is cued and played: the media helper is held from
// before the cue until every channel has played into the clip, then makes the slates, which
// arrive while the clips play. Judged as a start from frame 0 (the cued channel showed the slate).
bool lateSlate(OnAirProgram& program, Figures& figures)
{
    constexpr int64_t kReleaseAt = 10;
    const int channels = program.channels();
    HeldMediaHelper helper(program.app());
    if (!helper.held())
        return false;
    return playThrough(program, figures, -1, 1.0, [&] {
        bool playing = true;
        for (int c = 0; c < channels; ++c)
            playing = playing && waitFor([&] { return onAirNow(program, c) >= kReleaseAt; }, 20000);
        helper.release();
        if (!playing || !waitFor([&] { return slatesArrived(program) >= channels; }, 30000))
            return false;
        for (int c = 0; c < channels; ++c)
            figures.slateAt = std::max(figures.slateAt, onAirNow(program, c));
        return true;
    });
}

// The channels show their cues' slates.
void showSlates(Scene& scene)
{
    for (QString& line : scene.defaults)
        if (line.startsWith(QLatin1String("KLVShowSlate_")))
            line = line.section(QLatin1Char('='), 0, 0) + QStringLiteral("=true");
}

// The disk of the document is full: every save fails, the first one during start-up, and its
// alert stays up (nobody answers it) while automation cues and plays. A spare channel's cues make
// the document larger than a file may grow; the cards' frame logs stay well below that.
void fullDisk(Scene& scene)
{
    std::vector<Cue> spares;
    for (int i = 0; i < 200; ++i)
        spares.push_back({QStringLiteral("Spare %1").arg(i), testsupport::mediaPath("prores_2997"), 29.97, kClipFrames * kStep});
    scene.channels.push_back(spares);
    scene.defaults << QStringLiteral("KLVDataFile=~/Shows/show.klv3");
    scene.fileSizeLimit = 48 * 1024;
}

const Scenario kScenarios[] = {
    {"Start", ntscMode, -1, false, start},
    {"InPoint", ntscMode, 30 * kStep, false, inPoint},
    {"Recue3", ntscMode, -1, false, recue},
    {"Cadence2997On5994", ntscDoubleMode, -1, false, cadence},
    {"LinkedStart", ntscMode, -1, true, linkedStart},
    {"Step5994", ntscDoubleMode, kStepCued * kStep5994, false, stepFromStill, "prores_5994", 59.94, 120},
    {"LinkedLoopSeam", ntscMode, -1, true, linkedLoop, "prores_2997", 29.97, kClipFrames, 1},
    // A pair at the fast rate: the slave's seam must fit in a 16.7 ms period as its master's does.
    {"LinkedLoopSeamHd5994", hd720DoubleMode, -1, true, linkedLoopHd5994, "h264_720p5994", 59.94, kHdClipFrames, 1,
     nullptr, false, 2},
    {"StartWithFullDisk", ntscMode, -1, false, start, "prores_2997", 29.97, kClipFrames, 0, fullDisk},
    {"ShortNextCue", ntscMode, -1, false, shortNextCue, "prores_2997", 29.97, kClipFrames, 0, nullptr, true},
    {"LateSlate", ntscMode, -1, false, lateSlate, "prores_2997", 29.97, kClipFrames, 0, showSlates},
};

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1.0;
}

void runScenario(benchmark::State& state, const Scenario& scenario)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty()) {
        state.SkipWithError(why.toStdString().c_str());
        return;
    }
    const int channels = int(state.range(0));
    Figures figures;
    for (auto _ : state) {
        Cue cue{QStringLiteral("CLIP"), testsupport::mediaPath(scenario.media), scenario.fps,
                double(scenario.frames) / scenario.fps};
        cue.inPoint = scenario.inPoint;
        std::vector<Cue> cues{cue};
        if (scenario.shortNextCue) {
            cues[0].outPoint = 30 * kStep;
            cues[0].playbackBehavior = 2;
            Cue next = cue;
            next.name = QStringLiteral("NEXT");
            next.inPoint = 30 * kStep;
            next.outPoint = 60 * kStep;
            cues.push_back(next);
        }
        std::vector<int> linkedTo;
        for (int c = 0; c < channels; ++c)
            linkedTo.push_back(scenario.linked && c > 0 ? 1 : 0);
        std::vector<std::vector<Cue>> perChannel(size_t(channels), cues);
        perChannel[0][0].playbackBehavior = scenario.shortNextCue ? 2 : scenario.masterBehaviour;
        OnAirProgram program(perChannel, scenario.mode(), linkedTo, scenario.prepare);
        QString why;
        if (!program.start(&why)) {
            state.SkipWithError(why.toStdString().c_str());
            return;
        }
        if (!scenario.run(program, figures)) {
            state.SkipWithError("the program did not cue or play as told");
            return;
        }
        program.app().terminate();
    }
    state.counters["skipped"] = double(figures.accuracy.skipped);
    state.counters["repeated"] = double(figures.accuracy.repeated);
    state.counters["black"] = double(figures.accuracy.black);
    state.counters["periods"] = double(figures.accuracy.periods);
    if (scenario.linked)
        state.counters["apart"] = double(figures.apart);
    if (scenario.run == lateSlate)
        state.counters["slate_at"] = double(figures.slateAt);
    state.counters["load1"] = loadAverage();
}

void registerScenarios()
{
    for (const Scenario& scenario : kScenarios) {
        auto* b = benchmark::RegisterBenchmark((std::string("BM_OnAir/") + scenario.name).c_str(),
                                               [&scenario](benchmark::State& state) { runScenario(state, scenario); });
        b->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond);
        if (scenario.channels > 0) {
            b->Arg(scenario.channels);
            continue;
        }
        b->Arg(1);
        if (!benchsupport::smokeRun())
            b->Arg(4);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("KLV_BINARY_DIR"))
        qputenv("KLV_BINARY_DIR", KLV_BENCH_BINARY_DIR);
    if (!qEnvironmentVariableIsSet("KLV_TEST_DATA"))
        qputenv("KLV_TEST_DATA", KLV_BENCH_BINARY_DIR "/test-data");
    registerScenarios();
    return benchsupport::runBenchmarks(argc, argv);
}
