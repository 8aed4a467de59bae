// N channels at once: N engines, each playing the 1080p29.97 ProRes HQ clip to its own virtual
// card on the real clock (the card times the frames, as a real one would). Counters per run:
// late_frames, the periods in which a card's picture (read from the frame's barcode) did not move
// on from the last period while the clip played (summed over the cards; 0 wanted), periods (watched, all cards), late_share, and the process's
// CPU cores in use. The machine's other load counts: read it beside the run.
#include "bench/support/BenchRun.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "engine/output/ssOutputFinder.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/engine/output/CardsForOutputs.h"
#include "tests/support/MediaFiles.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace platform::decklink;

namespace {

std::string cardsJson(int count)
{
    std::string json = R"({"cards": [)";
    for (int i = 0; i < count; ++i)
        json += std::string(i ? "," : "") + R"({"name": "Out )" + std::to_string(i + 1) + R"(", "modes": ["HD 1080p 29.97"]})";
    return json + "]}";
}

// Periods whose picture moved on and those whose did not, counted from the first picture after
// the cued one for `watch` periods.
struct LateTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        void* bytes = nullptr;
        std::lock_guard lock(mutex);
        if (!playing || !shown.frame || watched >= watch || shown.frame->GetBytes(&bytes) != kOk)
            return;
        const auto read = platform::FrameBarcode::read(static_cast<const uint8_t*>(bytes), 1920, 1080, 1920 * 2,
                                                       platform::BarcodePixels::Uyvy422);
        const int64_t index = read ? int64_t(*read) : -1;
        if (!started) {
            if (last < 0 || index == last) {
                last = index;
                return;
            }
            started = true;
        }
        ++watched;
        late += index == last ? 1 : 0;
        unreadable += index < 0 ? 1 : 0;
        last = index;
    }
    void audioConsumed(const ConsumedAudio&) override {}
    void start(int periods)
    {
        std::lock_guard lock(mutex);
        playing = true;
        watch = periods;
    }
    bool done()
    {
        std::lock_guard lock(mutex);
        return watched >= watch;
    }
    std::mutex mutex;
    bool playing = false;
    bool started = false;
    int watch = 0;
    int watched = 0;
    int late = 0;
    int unreadable = 0;
    int64_t last = -1;
};

double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_ChannelsToCards(benchmark::State& state)
{
    const int channels = int(state.range(0));
    const auto& clip = testsupport::mediaClip("prores_1080p");
    const std::string path = testsupport::mediaPath(clip).toStdString();
    if (access(path.c_str(), R_OK) != 0) {
        state.SkipWithError("1080p clips missing: build the media_large target first");
        return;
    }
    const int watch = benchsupport::smokeRun() ? 10 : clip.frames - 20; // the clip's end is not watched
    int late = 0, periods = 0, unreadable = 0;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        testsupport::VirtualCards cards(cardsJson(channels), false);
        std::vector<LateTap> taps{size_t(channels)};
        {
            ssOutputFinder finder;
            finder.FindOutputs();
            std::vector<std::unique_ptr<ssMediaDecoder3>> engines;
            for (int i = 0; i < channels; ++i) {
                ssBaseOutput* card = finder.GetOutput(i);
                if (!card) {
                    state.SkipWithError("no virtual card");
                    return;
                }
                cards.control().SetOutputTap(i, &taps[size_t(i)]);
                auto engine = std::make_unique<ssMediaDecoder3>(benchsupport::resourceBase().c_str(), nullptr);
                engine->SetShowSlate(0);
                engine->SetAudioOutput(1);
                if (engine->SetOutputDevice(card, 0) != 0 || engine->Open(path.c_str(), false) != 0) {
                    state.SkipWithError("the engine would not play to its card");
                    return;
                }
                engines.push_back(std::move(engine));
            }
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            for (auto& engine : engines)
                while (!engine->BuffersReady() && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const double cpuStart = processCpu();
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < channels; ++i) {
                taps[size_t(i)].start(watch);
                engines[size_t(i)]->Play();
            }
            for (LateTap& tap : taps)
                while (!tap.done() && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            cpu += processCpu() - cpuStart;
            for (int i = 0; i < channels; ++i) {
                engines[size_t(i)]->SetOutputDevice(nullptr, 0);
                cards.control().SetOutputTap(i, nullptr);
            }
        }
        for (LateTap& tap : taps) {
            late += tap.late;
            unreadable += tap.unreadable;
            periods += tap.watched;
        }
    }
    state.counters["late_frames"] = late;
    state.counters["periods"] = periods;
    state.counters["unreadable"] = unreadable; // pictures whose barcode did not read (should be 0)
    state.counters["late_share"] = periods > 0 ? double(late) / periods : 0.0;
    state.counters["cpu_cores"] = wall > 0 ? cpu / wall : 0.0;
}
// 1, 2, 4, 6 and 8 channels (a smoke run: 1 and 2).
BENCHMARK(BM_ChannelsToCards)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (const int channels : {1, 2, 4, 6, 8})
            if (channels <= 2 || !benchsupport::smokeRun())
                b->Arg(channels);
    })
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

KLV_BENCHMARK_MAIN()
