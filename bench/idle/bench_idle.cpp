// An idle program rests: the real program as a child process on the X display, its CPU read from
// /proc/<pid>/stat (user + system time of all its threads) over KLV_BENCH_IDLE_SECONDS (default
// 10), in these states:
//   BM_IdleProgram/0  four channels stopped with a cue each (two on virtual cards, one on the
//                     hidden screen output, as the program assigns them on a first start), outputs
//                     hidden;
//   BM_IdleProgram/1  the same with channel 1 in record mode (its card's input captured and
//                     previewed, nothing recorded), as the program starts when the channel was
//                     left in record mode;
//   BM_IdleProgram/2  four channels, each on a virtual card of its own with its clip cued over
//                     VDCP and shown, nothing playing.
// The peer, measured over the same seconds, is a plain Qt window shown on the same display with
// nothing to do (this binary started again with KLV_BENCH_IDLE_PEER=1).
// Counters: program_pct and peer_pct (% of one core), and ratio (program / peer).
// KLV_BINARY_DIR selects the build whose program runs. Needs an X display.
#include "bench/support/BenchRun.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/OnAirProgram.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QLabel>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace e2e;

namespace {

// User plus system time of the whole process (every thread), in clock ticks.
int64_t processTicks(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // The command name may hold spaces: the fields are counted from its closing parenthesis.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() < 13)
        return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

int seconds(const char* variable, int normal, int smoke)
{
    const char* value = std::getenv(variable);
    if (value && std::atoi(value) > 0)
        return std::atoi(value);
    return benchsupport::smokeRun() ? smoke : normal;
}

// This binary again, as the idle peer.
class IdlePeer {
public:
    IdlePeer()
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        env.emplace_back("KLV_BENCH_IDLE_PEER=1");
        env.emplace_back("QT_QPA_PLATFORM=xcb");
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char self[] = "/proc/self/exe";
        char* argv[] = {self, nullptr};
        if (::posix_spawn(&pid_, self, nullptr, nullptr, argv, envp.data()) != 0)
            pid_ = -1;
    }
    ~IdlePeer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

Scene idleScene(uint16_t port, bool recordMode)
{
    Scene scene;
    const QString clip = testsupport::mediaPath("mjpeg");
    for (int c = 1; c <= 4; ++c)
        scene.channels.push_back({{QStringLiteral("Clip%1").arg(c), clip, 25, 3.0}});
    // A listening port tells when the program has started.
    scene.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    scene.cardsJson = QStringLiteral("{\"name\": \"Out 1\", \"modes\": [\"HD 1080p 29.97\"]}, "
                                     "{\"name\": \"Out 2\", \"modes\": [\"HD 1080p 29.97\"]}");
    if (recordMode)
        scene.defaults << QStringLiteral("KLVSelectedOperationMode1=1") << QStringLiteral("KLVSelectedDeviceName1=Out 1")
                       << QStringLiteral("KLVSelectedModeIndex1=0");
    return scene;
}

enum IdleState { kStopped = 0, kRecordMode = 1, kCued = 2 };

// The program in the state measured: started, and its cues cued when that is the state.
class IdleProgram {
public:
    explicit IdleProgram(int state)
    {
        if (state == kCued) {
            std::vector<std::vector<Cue>> channels;
            for (int c = 1; c <= 4; ++c)
                channels.push_back({{QStringLiteral("CLIP%1").arg(c), testsupport::mediaPath("mjpeg"), 25, 2.0}});
            cued_ = std::make_unique<OnAirProgram>(channels, ntscMode());
        } else {
            port_ = testsupport::freeTcpPort();
            plain_ = std::make_unique<KalvantoProcess>(idleScene(port_, state == kRecordMode));
        }
    }
    KalvantoProcess& app() { return cued_ ? cued_->app() : *plain_; }
    bool start()
    {
        if (!cued_)
            return plain_->start() && waitFor([&] { return tcpAccepts(port_); }, 60000);
        QString why;
        if (!cued_->start(&why))
            return false;
        for (int c = 0; c < cued_->channels(); ++c)
            if (!cued_->cue(c, QStringLiteral("CLIP%1").arg(c + 1)) || !cued_->waitForOnAir(c, 0))
                return false;
        return true;
    }

private:
    uint16_t port_ = 0;
    std::unique_ptr<KalvantoProcess> plain_;
    std::unique_ptr<OnAirProgram> cued_;
};

void BM_IdleProgram(benchmark::State& state)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty()) {
        state.SkipWithError(why.toStdString().c_str());
        return;
    }
    const int settle = seconds("KLV_BENCH_IDLE_SETTLE", 5, 2);
    const int measure = seconds("KLV_BENCH_IDLE_SECONDS", 10, 1);
    const double ticksPerSecond = double(::sysconf(_SC_CLK_TCK));
    for (auto _ : state) {
        IdleProgram program(int(state.range(0)));
        IdlePeer peer;
        if (!program.start() || peer.pid() <= 0) {
            state.SkipWithError("the program did not start");
            return;
        }
        KalvantoProcess& app = program.app();
        // The first cues load, the media helper answers, the window settles.
        std::this_thread::sleep_for(std::chrono::seconds(settle));
        const int64_t app0 = processTicks(app.pid()), peer0 = processTicks(peer.pid());
        std::this_thread::sleep_for(std::chrono::seconds(measure));
        const int64_t app1 = processTicks(app.pid()), peer1 = processTicks(peer.pid());
        if (app0 < 0 || app1 < 0 || peer0 < 0 || peer1 < 0 || !app.running()) {
            state.SkipWithError("a process ended while it was measured");
            return;
        }
        const double appPct = 100.0 * double(app1 - app0) / ticksPerSecond / measure;
        const double peerPct = 100.0 * double(peer1 - peer0) / ticksPerSecond / measure;
        state.counters["program_pct"] = appPct;
        state.counters["peer_pct"] = peerPct;
        // A peer that used no tick at all counts as one, so the ratio stays finite.
        state.counters["ratio"] = appPct / std::max(peerPct, 100.0 / ticksPerSecond / measure);
        state.counters["seconds"] = measure;
        app.terminate();
    }
}

int runPeer(int argc, char** argv)
{
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("idle"));
    window.resize(640, 480);
    window.show();
    return application.exec();
}

} // namespace

BENCHMARK(BM_IdleProgram)->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond)->Arg(kStopped)->Arg(kRecordMode)->Arg(kCued);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("KLV_BENCH_IDLE_PEER"))
        return runPeer(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QCoreApplication app(argc, argv);
    return benchsupport::runBenchmarks(argc, argv);
}
