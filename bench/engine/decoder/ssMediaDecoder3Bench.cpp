// 1080p H.264 and ProRes through the whole engine (reader, decoders, render thread, frame ring,
// presenting side), against `ffmpeg -threads 1 -f null` on the same file in the same run. The
// presenting side moves the audio clock on whenever the next frame is not yet due, so the engine
// runs as fast as it decodes. Counters: frames per second and frames per CPU-second (per decode
// thread), for both, and their ratio.

#include "bench/engine/decoder/ClipTools.h"
#include "bench/support/BenchRun.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"
#include "tests/support/Instrumented.h"
#include "tests/support/MediaFiles.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

platform::ManualClock& manualClock()
{
    static platform::ManualClock clock;
    return clock;
}

void EngineDecode(benchmark::State& state, const char* clipName)
{
    const benchclips::Clip clip = benchclips::clip(clipName);
    const std::string& path = clip.path;
    const auto& shared = testsupport::mediaClip(clipName);
    if (path.empty()) {
        state.SkipWithError("1080p clips missing: build the media_large target first");
        return;
    }
    platform::ManualClock& clock = manualClock();
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null, &clock);
    ssMediaDecoder3 engine(benchsupport::resourceBase().c_str(), nullptr);
    ssOutputFormat screen{1, 1920, 1080, 0, 60.0f};
    engine.SetOutputFormat(&screen);
    const double frameSeconds = double(shared.rateDen) / shared.rateNum;

    // A sanitizer build decodes 1080p H.264 at under a frame a second.
    constexpr auto kStallBound = std::chrono::seconds(10) * testsupport::kSlowdown;
    int64_t frames = 0;
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (engine.Open(path.c_str(), false) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        engine.Seek(0.0, 0);
        state.ResumeTiming();
        const double cpuStart = processCpu();
        const auto start = std::chrono::steady_clock::now();
        engine.Play();
        int shown = 0;
        auto lastProgress = start;
        while (shown < clip.frames - 3) {
            int32_t w, h, dw, dh, s;
            if (engine.GetFrameForOutput(&w, &h, &dw, &dh, &s) >= 0) {
                ++shown;
                lastProgress = std::chrono::steady_clock::now();
            } else if (engine.GetPlaybackClock() < engine.GetCurrentTime() + frameSeconds) {
                // The next frame is not due yet: move the clock on, never past it.
                clock.step(10'000'000, 1);
            } else if (std::chrono::steady_clock::now() - lastProgress > kStallBound) {
                state.SkipWithError("engine stalled");
                return;
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(100)); // decoding is behind
            }
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += processCpu() - cpuStart;
        frames += shown;
        engine.Pause();
    }
    // The ffmpeg tool decoding every video frame on one thread and throwing the pictures away.
    const benchclips::ToolRun tool = benchclips::runFfmpeg(
        {"-threads", "1", "-i", path, "-an", "-frames:v", std::to_string(clip.frames), "-f", "null", "-"});
    const double engineFps = frames / wall;
    const double enginePerCpu = frames / cpu;
    state.counters["engine_fps"] = engineFps;
    state.counters["engine_cpu_cores"] = cpu / wall;
    state.counters["engine_frames_per_cpu_s"] = enginePerCpu;
    if (tool.ok) {
        const double toolFps = clip.frames / tool.wall;
        const double toolPerCpu = clip.frames / tool.cpu;
        state.counters["ffmpeg_1thread_fps"] = toolFps;
        state.counters["ffmpeg_frames_per_cpu_s"] = toolPerCpu;
        // Efficiency per decode thread: the engine's frames per CPU-second against the tool's.
        state.counters["engine_vs_ffmpeg_per_thread"] = enginePerCpu / toolPerCpu;
    }
}

} // namespace

BENCHMARK_CAPTURE(EngineDecode, h264_1080p, "h264_1080p")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(3))->UseRealTime();
BENCHMARK_CAPTURE(EngineDecode, prores_1080p, "prores_1080p")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(3))->UseRealTime();

KLV_BENCHMARK_MAIN()
