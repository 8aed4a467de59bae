// Heap allocations per frame on the engine's decode path (demux, decode on one thread, conversion
// to '2vuy', as bench_engine_decoder's DecodeConvert) beside the ffmpeg tool's per frame for the
// same file (`-threads 1 -vf format=uyvy422 -f null`, counted by the same counter preloaded into
// it). Both leave out set-up: ours counts after the first picture, the tool's is its run on every
// frame less its run on the first only. Counters: allocs_per_frame, ffmpeg_allocs_per_frame and
// their ratio vs_ffmpeg (no more than the tool's wanted; none that a pool could avoid).
#include "bench/engine/allocations/AllocationCounter.h"
#include "bench/engine/decoder/ClipTools.h"
#include "bench/support/BenchRun.h"
#include "engine/decoder/ssMediaDecoder3.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The tool's whole-run allocation count, from its preloaded counter.
bool toolAllocations(const std::string& path, int frames, double* count)
{
    const std::string file = "/tmp/klv_bench_allocations_" + std::to_string(getpid());
    std::remove(file.c_str());
    setenv("LD_PRELOAD", KLV_ALLOCATION_COUNTER_LIBRARY, 1);
    setenv("KLV_ALLOCATION_COUNT_FILE", file.c_str(), 1);
    const benchclips::ToolRun run = benchclips::runFfmpegToUyvy(path, frames);
    unsetenv("LD_PRELOAD");
    unsetenv("KLV_ALLOCATION_COUNT_FILE");
    unsigned long long value = 0;
    bool read = false;
    if (FILE* in = std::fopen(file.c_str(), "r")) {
        read = std::fscanf(in, "%llu", &value) == 1;
        std::fclose(in);
    }
    std::remove(file.c_str());
    *count = double(value);
    return run.ok && read;
}

void DecodeAllocations(benchmark::State& state, const char* clipName)
{
    const benchclips::Clip clip = benchclips::clip(clipName);
    if (clip.path.empty() || clip.frames < 2) {
        state.SkipWithError(("clip missing: " + std::string(clipName) + " (build media_large)").c_str());
        return;
    }
    ssMediaDecoder3 engine(benchsupport::resourceBase().c_str(), nullptr);
    double allocations = 0, frames = 0;
    for (auto _ : state) {
        const benchclips::DecodeRun run = benchclips::decodeAndConvert(engine, clip.path, clip.frames, klvAllocationCount);
        if (!run.ok || run.frames < 2) {
            state.SkipWithError("decode failed");
            return;
        }
        allocations += double(run.steadyAllocations);
        frames += run.frames - 1;
    }
    double all = 0, first = 0;
    if (!toolAllocations(clip.path, clip.frames, &all) || !toolAllocations(clip.path, 1, &first)) {
        state.SkipWithError("ffmpeg tool with the allocation counter failed");
        return;
    }
    const double ours = allocations / frames;
    const double tool = (all - first) / double(clip.frames - 1);
    state.counters["allocs_per_frame"] = ours;
    state.counters["ffmpeg_allocs_per_frame"] = tool;
    state.counters["vs_ffmpeg"] = tool > 0 ? ours / tool : 0.0;
}

} // namespace

BENCHMARK_CAPTURE(DecodeAllocations, h264_1080p, "h264_1080p")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(DecodeAllocations, prores_hq_1080p, "prores_1080p")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(DecodeAllocations, prores_4444_1080p, "prores4444_1080p")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(DecodeAllocations, dnxhd_1080p, "dnxhd_1080p")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(DecodeAllocations, mpeg2_422_1080i, "mpeg2_422_1080i")->Unit(benchmark::kMillisecond)->Iterations(1);

KLV_BENCHMARK_MAIN()
