// Decode plus conversion to '2vuy', without GL, on one thread: the engine's converter after
// libavcodec, beside `ffmpeg -threads 1 -vf format=uyvy422 -f null` on the same file in the same
// run. Counters: frames per CPU-second for both and their ratio (vs_ffmpeg_per_cpu_s, the goal is
// at least 0.9), and the share of our CPU spent converting. The tool's start-up is taken out by
// also timing it on the first frame only. Clips beyond the shared 1080p fixtures (ProRes 4444,
// DNxHD, MPEG-2 4:2:2) are made once by the ffmpeg tool into <test data>/bench.
#include "bench/engine/decoder/ClipTools.h"
#include "bench/support/BenchRun.h"
#include "engine/decoder/ssMediaDecoder3.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void DecodeConvert(benchmark::State& state, const char* clipName)
{
    const benchclips::Clip clip = benchclips::clip(clipName);
    if (clip.path.empty()) {
        state.SkipWithError(("clip missing: " + std::string(clipName) + " (build media_large)").c_str());
        return;
    }
    ssMediaDecoder3 engine(benchsupport::resourceBase().c_str(), nullptr);
    int frames = 0;
    double cpu = 0, convert = 0;
    for (auto _ : state) {
        const benchclips::DecodeRun run = benchclips::decodeAndConvert(engine, clip.path, clip.frames);
        if (!run.ok) {
            state.SkipWithError("decode failed");
            return;
        }
        frames += run.frames;
        cpu += run.cpu;
        convert += run.convertCpu;
    }
    const benchclips::ToolRun all = benchclips::runFfmpegToUyvy(clip.path, clip.frames);
    const benchclips::ToolRun first = benchclips::runFfmpegToUyvy(clip.path, 1);
    if (!all.ok || !first.ok) {
        state.SkipWithError("ffmpeg tool failed");
        return;
    }
    const double ours = frames / cpu;
    const double tool = (clip.frames - 1) / std::max(all.cpu - first.cpu, 1e-6);
    state.counters["frames_per_cpu_s"] = ours;
    state.counters["convert_share"] = convert / cpu;
    state.counters["ffmpeg_frames_per_cpu_s"] = tool;
    state.counters["vs_ffmpeg_per_cpu_s"] = ours / tool;
}

} // namespace

BENCHMARK_CAPTURE(DecodeConvert, prores_hq_1080p, "prores_1080p")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(2));
BENCHMARK_CAPTURE(DecodeConvert, prores_4444_1080p, "prores4444_1080p")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(2));
BENCHMARK_CAPTURE(DecodeConvert, h264_1080p, "h264_1080p")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(2));
BENCHMARK_CAPTURE(DecodeConvert, dnxhd_1080p, "dnxhd_1080p")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(2));
BENCHMARK_CAPTURE(DecodeConvert, mpeg2_422_1080i, "mpeg2_422_1080i")->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(2));
