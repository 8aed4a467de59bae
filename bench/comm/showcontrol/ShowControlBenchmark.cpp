// Receive paths of the show-control inputs: MIDI bytes assembled into messages (running status
// with clock bytes between), and a scoreboard stream cut into frames. The Art-Net and sACN receive
// paths are in DmxReceiveBenchmark.cpp.
#include "bench/support/BenchRun.h"
#include "comm/showcontrol/feeds/QMFeedFraming.h"
#include "comm/showcontrol/midi/QMMidiByteParser.h"
#include "platform/foundation/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <vector>

namespace {

void BM_MidiByteParser(benchmark::State& state)
{
    std::vector<std::uint8_t> stream{0x90};
    for (int i = 0; i < 1000; ++i) {
        stream.push_back(std::uint8_t(i & 0x7F));
        stream.push_back(0xF8); // a clock tick inside the message
        stream.push_back(std::uint8_t(1 + (i & 0x3F)));
    }
    QMMidiByteParser parser;
    std::vector<QMMidiMessage> out;
    out.reserve(1024);
    for (auto _ : state) {
        out.clear();
        parser.beginDelivery();
        for (const std::uint8_t byte : stream)
            parser.parse(byte, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(stream.size()));
}
BENCHMARK(BM_MidiByteParser);

void BM_FeedFraming(benchmark::State& state)
{
    QByteArray chunk;
    for (int i = 0; i < 64; ++i)
        chunk += QByteArray("\x01" "HOME 12 GUEST 07 Q4 00:31" "\x04");
    const QMFeedFraming framing{QMFeedFraming::Kind::StartEnd, 0x01, 0x04};
    QByteArray buffer;
    QList<QByteArray> frames;
    for (auto _ : state) {
        buffer += chunk;
        frames.clear();
        QMCutFeedFrames(buffer, framing, frames);
        benchmark::DoNotOptimize(frames.size());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * chunk.size());
}
BENCHMARK(BM_FeedFraming);

} // namespace

int main(int argc, char** argv)
{
    benchsupport::setEnvironment();
    QCoreApplication app(argc, argv);
    // The sACN identity lives in the user defaults: keep them inside the run's own folder.
    QTemporaryDir folder;
    platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
    return benchsupport::runBenchmarks(argc, argv);
}
