// What an operator waits for, seen from outside the program:
//   BM_StartupToWindow: exec → the main window viewable on the X display, against the smallest
//     Qt program showing a window (bench_window_peer) started in the same iteration
//     (`vs_minimal_qt`).
//   BM_ImportThumbnails: four clips dropped into a smart channel's folder of the running program;
//     from the import (the document first lists the four cues) to the first and to the fourth
//     thumbnail file in the cache, against the ffmpeg tool making the same four thumbnails one
//     after the other in the same iteration (`vs_ffmpeg_first`, `vs_ffmpeg_all`). The folder
//     watch's own gathering of changes (3 s) is `drop_to_import_ms`.
// The clips are 12 s of 1080p ProRes and H.264 (the fixture's 1080p clips looped), dropped as
// symbolic links so they appear at once. Needs an X display; KLV_BINARY_DIR selects the build
// whose program is measured.
#include "bench/e2e/XWindowWatch.h"
#include "bench/support/BenchRun.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace e2e;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool unavailable(benchmark::State& state)
{
    const QString why = KalvantoProcess::unavailableReason();
    if (!why.isEmpty())
        state.SkipWithError(why.toStdString().c_str());
    return !why.isEmpty();
}

// Milliseconds from exec of the peer program to its window being viewable; < 0 on failure.
double peerWindowMs(XWindowWatch& watch)
{
    std::string program = std::string(KLV_BENCH_BINARY_DIR) + "/bench/bin/bench_window_peer";
    char* argv[] = {program.data(), nullptr};
    // On the display, as the program is (benchmarks default to the offscreen platform).
    std::vector<std::string> environment{"QT_QPA_PLATFORM=xcb"};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0)
            environment.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const Clock::time_point start = Clock::now();
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return -1;
    const bool shown = waitFor([&] { return watch.hasViewableWindow(pid, QStringLiteral("Window peer")); }, 60000);
    const double ms = msSince(start);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return shown ? ms : -1;
}

void BM_StartupToWindow(benchmark::State& state)
{
    if (unavailable(state))
        return;
    XWindowWatch watch;
    if (!watch.connected()) {
        state.SkipWithError("no X connection");
        return;
    }
    double ours = 0, peer = 0;
    int runs = 0;
    for (auto _ : state) {
        const double peerMs = peerWindowMs(watch);
        Scene scene;
        scene.channels = {{}, {}, {}, {}};
        scene.cardsJson = cardJson(QStringLiteral("Out 1"), 320, 240, 25);
        KalvantoProcess app(scene);
        const Clock::time_point start = Clock::now();
        if (!app.start()
            || !waitFor([&] { return watch.hasViewableWindow(app.pid(), QStringLiteral("Kalvanto")); }, 60000)
            || peerMs < 0) {
            state.SkipWithError("no window appeared");
            return;
        }
        ours += msSince(start);
        peer += peerMs;
        ++runs;
        app.terminate();
    }
    state.counters["window_ms"] = ours / runs;
    state.counters["peer_ms"] = peer / runs;
    state.counters["vs_minimal_qt"] = ours / peer;
}

// The four clips, made once: each fixture clip looped to 12 s, copied without re-encoding.
QStringList importClips(QString* error)
{
    const QString folder = qEnvironmentVariable("KLV_TEST_DATA") + QStringLiteral("/bench");
    QDir().mkpath(folder);
    QStringList clips;
    for (const char* name : {"prores_1080p", "h264_1080p"}) {
        const QString source = testsupport::mediaPath(name);
        const QString looped = QStringLiteral("%1/startup_%2.mov").arg(folder, QLatin1String(name));
        if (!QFileInfo::exists(looped)) {
            if (!QFileInfo::exists(source)) {
                *error = QStringLiteral("%1 missing: run cmake --build <build> --target media_large").arg(source);
                return {};
            }
            const QString partial = looped + QStringLiteral(".part.mov");
            const auto made = testsupport::runTool(testsupport::ffmpegProgram(),
                                                   {"-v", "error", "-y", "-stream_loop", "3", "-i", source, "-c",
                                                    "copy", "-map", "0", partial});
            if (!made.ok() || !QFile::rename(partial, looped)) {
                *error = QStringLiteral("could not make %1: %2").arg(looped, QString::fromLocal8Bit(made.errors));
                return {};
            }
        }
        clips << looped << looped;
    }
    return clips;
}

int thumbnailsIn(const QString& folder)
{
    return int(QDir(folder).entryList({QStringLiteral("*_thumb.png")}, QDir::Files).size());
}

int cuesListed(const QString& document, const QByteArray& dropFolder)
{
    QFile file(document);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count(dropFolder + "/clip")) : 0;
}

struct PeerThumbnails {
    double firstMs = -1;
    double allMs = -1;
};

// The ffmpeg tool's thumbnail of each clip at 3 s, scaled to the table's width, one after the other.
PeerThumbnails ffmpegThumbnails(const QStringList& clips, const QString& outFolder)
{
    PeerThumbnails peer;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < clips.size(); ++i) {
        const auto made = testsupport::runTool(
            testsupport::ffmpegProgram(), {"-v", "error", "-y", "-ss", "3", "-i", clips[i], "-frames:v", "1", "-vf",
                                           "scale=114:-2", QStringLiteral("%1/peer%2.png").arg(outFolder).arg(i)});
        if (!made.ok())
            return {};
        if (i == 0)
            peer.firstMs = msSince(start);
    }
    peer.allMs = msSince(start);
    return peer;
}

void BM_ImportThumbnails(benchmark::State& state)
{
    if (unavailable(state))
        return;
    XWindowWatch watch;
    QString error;
    const QStringList clips = importClips(&error);
    if (clips.isEmpty() || !watch.connected()) {
        state.SkipWithError(clips.isEmpty() ? error.toStdString().c_str() : "no X connection");
        return;
    }
    double first = 0, all = 0, peerFirst = 0, peerAll = 0, dropToImport = 0;
    int runs = 0;
    for (auto _ : state) {
        testsupport::TempFolder scratch;
        const PeerThumbnails peer = ffmpegThumbnails(clips, scratch.path());
        if (peer.allMs < 0) {
            state.SkipWithError("the ffmpeg tool made no thumbnail");
            return;
        }
        testsupport::TempFolder drop;
        Scene scene;
        scene.channels = {{}};
        scene.smartDirectories = {drop.path()};
        scene.cardsJson = cardJson(QStringLiteral("Out 1"), 320, 240, 25);
        KalvantoProcess app(scene);
        const QString thumbnails = app.home().filePath(QStringLiteral(".local/share/Quenmark/Kalvanto/Thumbnails"));
        if (!app.start()
            || !waitFor([&] { return watch.hasViewableWindow(app.pid(), QStringLiteral("Kalvanto")); }, 60000)) {
            state.SkipWithError("program did not start");
            return;
        }
        // Settled as an operator would find it before dropping files in.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const Clock::time_point dropped = Clock::now();
        for (int i = 0; i < clips.size(); ++i)
            QFile::link(clips[i], QStringLiteral("%1/clip%2.mov").arg(drop.path()).arg(i + 1));
        const QByteArray folder = drop.path().toUtf8();
        Clock::time_point imported{};
        Clock::time_point firstShown{};
        const bool done = waitFor(
            [&] {
                if (imported == Clock::time_point{} && cuesListed(app.documentPath(), folder) == clips.size())
                    imported = Clock::now();
                const int made = thumbnailsIn(thumbnails);
                if (made >= 1 && firstShown == Clock::time_point{})
                    firstShown = Clock::now();
                return imported != Clock::time_point{} && made >= clips.size();
            },
            60000);
        const Clock::time_point allShown = Clock::now();
        if (!done) {
            state.SkipWithError("the thumbnails did not all come");
            return;
        }
        using ms = std::chrono::duration<double, std::milli>;
        // A thumbnail written before the document was saved counts from the import all the same.
        first += std::max(0.0, ms(firstShown - imported).count());
        all += ms(allShown - imported).count();
        dropToImport += ms(imported - dropped).count();
        peerFirst += peer.firstMs;
        peerAll += peer.allMs;
        ++runs;
        app.terminate();
    }
    state.counters["first_thumb_ms"] = first / runs;
    state.counters["all_thumbs_ms"] = all / runs;
    state.counters["drop_to_import_ms"] = dropToImport / runs;
    state.counters["ffmpeg_first_ms"] = peerFirst / runs;
    state.counters["ffmpeg_all_ms"] = peerAll / runs;
    state.counters["vs_ffmpeg_first"] = first / peerFirst;
    state.counters["vs_ffmpeg_all"] = all / peerAll;
}

} // namespace

BENCHMARK(BM_StartupToWindow)->UseRealTime()->Iterations(benchsupport::iterations(5))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportThumbnails)->UseRealTime()->Iterations(benchsupport::iterations(3))->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QCoreApplication app(argc, argv);
    return benchsupport::runBenchmarks(argc, argv); // KLV_BINARY_DIR: this build unless set
}
