// Loading and saving a show-sized document: 4 channels of 2,500 cues each. Reports the time
// per load and per save, the file size and the peak resident memory of the process.

#include "bench/support/BenchRun.h"
#include "app/document/KLVDocumentClasses.h"
#include "app/document/KLVPlaylist.h"
#include "app/serialization/QMXMLDocument.h"
#include "platform/foundation/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

constexpr int kChannels = 4;
constexpr int kCuesPerChannel = 2500;

QTemporaryDir& workFolder()
{
    static QTemporaryDir dir;
    return dir;
}

QString documentPath()
{
    return workFolder().path() + "/Kalvanto.klv3";
}

std::shared_ptr<KLVPlaylist> makeShow()
{
    auto playlist = KLVPlaylist::createForNumberOfOutputs(kChannels);
    for (const auto& channel : playlist->playlistChannels()) {
        KLVChannel::NodeList cues;
        cues.reserve(kCuesPerChannel);
        for (int i = 0; i < kCuesPerChannel; ++i) {
            auto cue = KLVPlaylistNode::create();
            cue->setPlnName(QString("Clip %1-%2").arg(channel->channelNumber()).arg(i));
            cue->setPlnSourcePath(QString("/media/show/channel%1/clip_%2.mov").arg(channel->channelNumber()).arg(i));
            cue->setFps(29.97);
            cue->setInPoint(i * 0.5);
            cue->setOutPoint(i * 0.5 + 30.25);
            cue->setOffset(-0.5);
            cue->setPlaybackBehavior(i % 3);
            cue->setNotes(QString("Notes for cue %1").arg(i));
            cue->setSizeString(QString("1920x1080"));
            cue->setFormatString(QString("Apple ProRes 422"));
            cues.push_back(cue);
        }
        channel->setPlaylistItems(cues);
    }
    return playlist;
}

double peakResidentMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void reportFile(benchmark::State& state)
{
    state.counters["cues"] = kChannels * kCuesPerChannel;
    state.counters["file_KiB"] = double(QFileInfo(documentPath()).size()) / 1024.0;
    state.counters["peak_rss_MiB"] = peakResidentMiB();
}

void BM_SaveDocument(benchmark::State& state)
{
    const auto show = makeShow();
    for (auto _ : state) {
        platform::Error error;
        if (!QMXMLDocument::writeFile(QMXMLValue(show), documentPath(), &error))
            state.SkipWithError(error.toString().toStdString().c_str());
    }
    reportFile(state);
}

void BM_LoadDocument(benchmark::State& state)
{
    QMXMLDocument::writeFile(QMXMLValue(makeShow()), documentPath());
    for (auto _ : state) {
        auto playlist = QMXMLDocument::readFile(documentPath()).objectAs<KLVPlaylist>();
        benchmark::DoNotOptimize(playlist);
    }
    reportFile(state);
}

BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchsupport::setEnvironment();
    QCoreApplication app(argc, argv);
    // Keep cached-picture lookups and settings inside the benchmark's own folder.
    qputenv("XDG_DATA_HOME", (workFolder().path() + "/data").toUtf8());
    platform::UserDefaults::setSharedFilePath(workFolder().path() + "/settings.conf");
    KLVDocumentClasses::registerClasses();

    return benchsupport::runBenchmarks(argc, argv);
}
