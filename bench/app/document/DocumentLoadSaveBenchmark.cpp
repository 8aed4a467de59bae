// Loading and saving a show-sized document: 4 channels of 2,500 cues each. Reports the time
// per load and per save, the file size and the peak resident memory of the process.
//
// Beside each, in the same run on the same file: a bare QXmlStreamReader pass over the file
// (read from disk, every name, attribute and text touched) and a QXmlStreamWriter pass writing
// the same elements, attributes and texts through a QSaveFile (temporary file, sync, rename, as
// our save does). vs_qxmlstreamreader / vs_qxmlstreamwriter are our times over theirs.

#include "bench/support/BenchRun.h"
#include "app/document/KLVDocumentClasses.h"
#include "app/document/KLVPlaylist.h"
#include "app/serialization/QMXMLDocument.h"
#include "platform/foundation/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <chrono>
#include <vector>

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

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The file's content as the writer peer replays it.
struct Token {
    QXmlStreamReader::TokenType type;
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
};

std::vector<Token> tokensOf(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader reader(&file);
    std::vector<Token> tokens;
    while (!reader.atEnd()) {
        const auto type = reader.readNext();
        if (type == QXmlStreamReader::StartElement)
            tokens.push_back({type, reader.qualifiedName().toString(), reader.attributes(), {}});
        else if (type == QXmlStreamReader::EndElement)
            tokens.push_back({type, {}, {}, {}});
        else if (type == QXmlStreamReader::Characters && !reader.isWhitespace())
            tokens.push_back({type, {}, {}, reader.text().toString()});
    }
    return tokens;
}

bool writerPass(const std::vector<Token>& tokens, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QXmlStreamWriter writer(&file);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(4);
    writer.writeStartDocument();
    for (const Token& t : tokens) {
        if (t.type == QXmlStreamReader::StartElement) {
            writer.writeStartElement(t.name);
            writer.writeAttributes(t.attributes);
        } else if (t.type == QXmlStreamReader::EndElement) {
            writer.writeEndElement();
        } else {
            writer.writeCharacters(t.text);
        }
    }
    writer.writeEndDocument();
    return file.commit();
}

qsizetype readerPass(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = file.readAll();
    QXmlStreamReader reader(data);
    qsizetype touched = 0;
    while (!reader.atEnd()) {
        const auto type = reader.readNext();
        if (type == QXmlStreamReader::StartElement) {
            touched += reader.name().size();
            for (const QXmlStreamAttribute& a : reader.attributes())
                touched += a.name().size() + a.value().size();
        } else if (type == QXmlStreamReader::Characters) {
            touched += reader.text().size();
        }
    }
    return reader.hasError() ? -1 : touched;
}

void BM_SaveDocument(benchmark::State& state)
{
    const auto show = makeShow();
    QMXMLDocument::writeFile(QMXMLValue(show), documentPath());
    const std::vector<Token> tokens = tokensOf(documentPath());
    const QString peerPath = workFolder().path() + "/peer.xml";
    double ours = 0, peer = 0;
    for (auto _ : state) {
        platform::Error error;
        auto start = Clock::now();
        if (!QMXMLDocument::writeFile(QMXMLValue(show), documentPath(), &error))
            state.SkipWithError(error.toString().toStdString().c_str());
        ours += secondsSince(start);
        start = Clock::now();
        if (!writerPass(tokens, peerPath))
            state.SkipWithError("QXmlStreamWriter pass failed");
        peer += secondsSince(start);
    }
    reportFile(state);
    state.counters["vs_qxmlstreamwriter"] = ours / peer;
}

void BM_LoadDocument(benchmark::State& state)
{
    QMXMLDocument::writeFile(QMXMLValue(makeShow()), documentPath());
    double ours = 0, peer = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        auto playlist = QMXMLDocument::readFile(documentPath()).objectAs<KLVPlaylist>();
        benchmark::DoNotOptimize(playlist);
        ours += secondsSince(start);
        playlist.reset(); // freeing the show is not part of either pass
        start = Clock::now();
        const qsizetype touched = readerPass(documentPath());
        benchmark::DoNotOptimize(touched);
        peer += secondsSince(start);
        if (touched < 0)
            state.SkipWithError("QXmlStreamReader pass failed");
    }
    reportFile(state);
    state.counters["vs_qxmlstreamreader"] = ours / peer;
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
