// A 1080i29.97 ProRes HQ recording of the virtual card's input on the real clock, alone (0) and
// while other channels play the 1080p29.97 ProRes HQ clip in a loop to their own virtual cards
// (2). The preview is polled as a visible record column draws it. Counters per run:
//   repeated        frames the encoder wrote again for a missing input period (0 wanted)
//   dropped         input frames missing from the file (its barcodes skip them; 0 wanted)
//   doubled         frames whose barcode the file holds more than once (0 wanted)
//   file_frames     frames ffprobe counts; expected_frames the duration limit's
//   input_skipped   periods the card itself did not deliver (a true input stall)
//   queue_high      most captured frames waiting for the encoder at once (sampled every 2 ms),
//                   of queue_slots
//   cpu_cores       the process's CPU over the wall time of the run
// KLV_BENCH_RECORD_SECONDS sets the recording's length (60; 2 in a smoke run). The machine's other
// load counts: read it beside the run. Needs the 1080p clips: cmake --build <build> --target media_large
#include "bench/support/BenchRun.h"
#include "engine/capture/ssDeckLinkInput.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "engine/output/ssOutputFinder.h"
#include "engine/record/ssRecordEncoder.h"
#include "tests/engine/output/CardsForOutputs.h"
#include "tests/support/MediaFiles.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kRate = 30000.0 / 1001;
constexpr int kProResHQ = 1;

std::string cardsJson(int players)
{
    std::string json = R"({"cards": [)";
    for (int i = 0; i < players; ++i)
        json += R"({"name": "Out )" + std::to_string(i + 1) + R"(", "modes": ["HD 1080p 29.97"]},)";
    return json + R"({"name": "Recorder", "output": false, "startTimecode": "01:00:00:00",
                      "modes": ["HD 1080i 29.97"]}]})";
}

double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int recordSeconds()
{
    const char* seconds = std::getenv("KLV_BENCH_RECORD_SECONDS");
    if (seconds && std::atoi(seconds) > 0)
        return std::atoi(seconds);
    return benchsupport::smokeRun() ? 2 : 60;
}

// Runs `work` every `period` on its own thread until destroyed.
class Ticker {
public:
    Ticker(std::chrono::milliseconds period, std::function<void()> work)
        : thread_([this, period, work = std::move(work)] {
              while (!stop_.load()) {
                  work();
                  std::this_thread::sleep_for(period);
              }
          })
    {
    }
    ~Ticker()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct FileCount {
    int frames = -1; // ffprobe's count
    int dropped = 0;
    int doubled = 0;
    bool readable = false;
};

FileCount countFile(const QString& path)
{
    FileCount count;
    const QJsonObject probe = testsupport::probeMedia(path, {QStringLiteral("-select_streams"), QStringLiteral("v:0")});
    const QJsonArray streams = probe.value(QStringLiteral("streams")).toArray();
    if (!streams.isEmpty())
        count.frames = streams.first().toObject().value(QStringLiteral("nb_frames")).toString().toInt();
    const auto decoded = testsupport::decodeBarcodes(path, platform::BarcodePixels::Uyvy422);
    if (!decoded.ok || decoded.indices.empty())
        return count;
    count.readable = true;
    std::map<uint32_t, int> seen;
    for (const auto& index : decoded.indices) {
        if (!index) {
            count.readable = false;
            continue;
        }
        ++seen[*index];
    }
    if (seen.empty())
        return count;
    for (const auto& [index, times] : seen)
        count.doubled += times - 1;
    const int64_t span = int64_t(seen.rbegin()->first) - int64_t(seen.begin()->first) + 1;
    count.dropped = int(span - int64_t(seen.size()));
    return count;
}

void BM_RecordWhilePlaying(benchmark::State& state)
{
    const int players = int(state.range(0));
    const QString clip = testsupport::mediaPath("prores_1080p");
    if (access(clip.toUtf8().constData(), R_OK) != 0) {
        state.SkipWithError("1080p clips missing: build the media_large target first");
        return;
    }
    const int seconds = recordSeconds();
    const int expected = int(std::lround(seconds * kRate)); // the movie writer's frame limit
    QTemporaryDir folder;
    double repeated = 0, dropped = 0, doubled = 0, fileFrames = 0, skipped = 0, high = 0, queueSlots = 0, cores = 0;
    bool unreadable = false;
    for (auto _ : state) {
        const std::string path = QDir(folder.path()).filePath(QStringLiteral("record.mov")).toStdString();
        QFile::remove(QString::fromStdString(path));
        testsupport::VirtualCards cards(cardsJson(players), false);
        int64_t cardSkippedBefore = 0;
        {
            ssOutputFinder finder;
            finder.FindOutputs();
            std::vector<std::unique_ptr<ssMediaDecoder3>> engines;
            for (int i = 0; i < players; ++i) {
                ssBaseOutput* card = finder.GetOutput(i);
                auto engine = std::make_unique<ssMediaDecoder3>(benchsupport::resourceBase().c_str(), nullptr);
                engine->SetShowSlate(0);
                engine->SetAudioOutput(1);
                engine->SetPlaybackBehavior(1);
                if (!card || engine->SetOutputDevice(card, 0) != 0 || engine->Open(clip.toUtf8().constData(), false) != 0) {
                    state.SkipWithError("a channel would not play to its card");
                    return;
                }
                engines.push_back(std::move(engine));
            }
            const auto ready = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            for (auto& engine : engines)
                while (!engine->BuffersReady() && std::chrono::steady_clock::now() < ready)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            for (auto& engine : engines)
                engine->Play();

            auto recorderCard = cards.card(players);
            ssDeckLinkInput input;
            auto encoder = std::make_unique<ssRecordEncoder>(benchsupport::resourceBase().c_str());
            encoder->Input_ = &input;
            int width = 0, height = 0, interlaced = 0;
            double rate = 0;
            if (!recorderCard || input.Open(recorderCard.get(), 0, 2) != 0) {
                state.SkipWithError("the record input would not open");
                return;
            }
            input.GetInputFormat(&width, &height, &interlaced, &rate);
            encoder->SetFilePath(path.c_str());
            if (encoder->Open(width, height, interlaced, 2, double(seconds), rate, kProResHQ) != 0) {
                state.SkipWithError("the encoder would not open");
                return;
            }
            encoder->SetInputBuffer(input.FrameBuffer_);
            encoder->Start();
            input.ResetBuffer();
            input.Start();
            queueSlots = input.FrameBuffer_->GetSlotCount();
            // A second of playing and capturing before the recording starts, as an operator would.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            cardSkippedBefore = cards.control().GetInputStats(players).framesSkipped;

            std::atomic<int> highWater{0};
            {
                // The record column's preview draws at the display's rate.
                Ticker preview(std::chrono::milliseconds(16), [&] { encoder->PollPreview(); });
                Ticker sampler(std::chrono::milliseconds(2), [&] {
                    const int unread = input.FrameBuffer_->Unread(0);
                    if (unread > highWater.load())
                        highWater.store(unread);
                });
                const double cpuStart = processCpu();
                const auto start = std::chrono::steady_clock::now();
                encoder->StartRecording();
                const auto deadline = start + std::chrono::seconds(seconds * 3 + 30);
                while (encoder->IsRecording() && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    repeated += encoder->GetRepeatedFrameCount();
                }
                repeated += encoder->GetRepeatedFrameCount();
                const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                cores = wall > 0 ? (processCpu() - cpuStart) / wall : 0;
            }
            high = std::max(high, double(highWater.load()));
            skipped += double(cards.control().GetInputStats(players).framesSkipped - cardSkippedBefore);
            input.Stop();
            encoder.reset(); // finishes the file
            for (auto& engine : engines)
                engine->SetOutputDevice(nullptr, 0);
        }
        const FileCount count = countFile(QString::fromStdString(path));
        QFile::remove(QString::fromStdString(path));
        unreadable = unreadable || !count.readable;
        dropped += count.dropped;
        doubled += count.doubled;
        fileFrames = count.frames;
    }
    if (unreadable)
        state.SkipWithError("the recording did not decode with a barcode on every frame");
    state.counters["repeated"] = repeated;
    state.counters["dropped"] = dropped;
    state.counters["doubled"] = doubled;
    state.counters["file_frames"] = fileFrames;
    state.counters["expected_frames"] = expected;
    state.counters["input_skipped"] = skipped;
    state.counters["queue_high"] = high;
    state.counters["queue_slots"] = queueSlots;
    state.counters["cpu_cores"] = cores;
}
// The recording alone is the peer of the recording beside two playing channels.
BENCHMARK(BM_RecordWhilePlaying)->Arg(0)->Arg(2)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    // The file checks run the ffmpeg tools through QProcess.
    QCoreApplication app(argc, argv);
    return benchsupport::runBenchmarks(argc, argv);
}
