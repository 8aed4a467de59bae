// 1080p frames through the card path: upload of the packed 4:2:2 picture, conversion to full
// resolution and back into the output raster, and read-back of the '2vuy' frame. Counter "fps"
// is frames per second per run; with two channels each channel renders on its own thread and
// context, and "fps" counts the frames of both. "cpu_ms_per_frame" is the process's CPU time
// (the software GL's own threads included) per frame.
//
// Per card frame: one upload, the conversion pass to full resolution, the preview copy (only
// with a preview: the second argument), the pass into the output raster and one read-back. A
// screen frame (BM_Render1080Screen) is the upload and the conversion pass, with no read-back.
// BM_Render1080Card draws every frame; BM_Render1080CardDirect compares a frame that needs no
// drawing, copied straight into the card raster, with the same frame drawn.

#include "bench/support/BenchRun.h"
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <string>
#include <thread>
#include <vector>

namespace {

// The built resources, found the way the engines find them.
std::string resources()
{
    return benchsupport::resourceBase() + "/Contents/Resources";
}

// One channel: its own context and renderer, set up for 1080p in and out.
struct Channel {
    std::unique_ptr<ssGLContext> context;
    std::unique_ptr<ssMediaRender> render;
    bool ok = false;

    explicit Channel(bool screen, bool preview, ssCardFrameWay way = ssCardFrameWay::ThroughGL)
    {
        context = ssGLContext::CreateEngineContext();
        if (!context || !context->MakeCurrent())
            return;
        render = std::make_unique<ssMediaRender>(resources().c_str());
        ssRenderOutputMode mode;
        mode.width = 1920;
        mode.height = 1080;
        mode.frameRate = 25.0f;
        mode.textureOutput = screen ? 1 : 0;
        render->ConfigureOutput(mode);
        render->SetPreviewCopies(preview);
        render->SetCardFrameWay(way);
        render->SetFrameDuration(1.0 / 25.0);
        render->SetDisplaySize(1920, 1080);
        ok = render->LoadShaders() == 0 && render->CreateUploadTextures(1920, 1080) == 0
            && render->CreateFrameTargets(1920, 1080) == 0;
        for (int i = 0; ok && i < ssRenderUploadCount; ++i) {
            ssRenderFrame* frame = render->GetUploadFrame(i);
            for (int32_t b = 0; b < frame->rowBytes * frame->height; ++b)
                frame->pixels[b] = uint8_t(b * 7 + i);
        }
        context->DoneCurrent();
    }
    ~Channel()
    {
        if (context && context->MakeCurrent()) {
            render.reset();
            context->DoneCurrent();
        }
    }
    // Renders n frames with the context current on the calling thread.
    int Run(int n, int offset)
    {
        ssGLCurrent current(*context);
        int made = 0;
        for (int i = 0; i < n; ++i) {
            ssRenderFrame* frame = render->GetUploadFrame((i + offset) % ssRenderUploadCount);
            frame->time = double(i + offset) / 25.0;
            made += render->RenderFrame(frame, render->GetSlot((i + offset) % ssRenderSlotCount)) == 0 ? 1 : 0;
        }
        return made;
    }
};

double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void renderChannels(benchmark::State& state, int channels, bool screen, bool preview)
{
    std::vector<std::unique_ptr<Channel>> set;
    for (int c = 0; c < channels; ++c) {
        set.push_back(std::make_unique<Channel>(screen, preview));
        if (!set.back()->ok) {
            state.SkipWithError("no GL context or renderer set-up failed");
            return;
        }
    }
    constexpr int kFramesPerIteration = 10;
    int64_t frames = 0;
    int offset = 0;
    const double cpuStart = processCpu();
    for (auto _ : state) {
        std::atomic<int> made{0};
        std::vector<std::thread> threads;
        for (auto& channel : set)
            threads.emplace_back([&, ch = channel.get()] { made += ch->Run(kFramesPerIteration, offset); });
        for (auto& t : threads)
            t.join();
        offset += kFramesPerIteration;
        frames += made.load();
    }
    const double cpu = processCpu() - cpuStart;
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["channels"] = channels;
    state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu * 1000.0 / double(frames) : 0.0;
}

// Arguments: channels, preview copies (1 with a channel preview, 0 without).
void BM_Render1080Card(benchmark::State& state)
{
    renderChannels(state, int(state.range(0)), false, state.range(1) != 0);
}
BENCHMARK(BM_Render1080Card)->Args({1, 1})->Args({1, 0})->Args({2, 1})->Args({2, 0})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(benchsupport::minTime(3.0));

// A card frame that needs no drawing, copied straight into the card raster (with its preview taken
// from the same bytes when the argument is 1), against the same frame drawn through GL in the
// same run: "direct_vs_gl" is the ratio of their CPU per frame.
void BM_Render1080CardDirect(benchmark::State& state)
{
    const bool preview = state.range(0) != 0;
    Channel drawn(false, preview, ssCardFrameWay::ThroughGL);
    Channel direct(false, preview, ssCardFrameWay::Direct);
    if (!drawn.ok || !direct.ok) {
        state.SkipWithError("no GL context or renderer set-up failed");
        return;
    }
    constexpr int kFramesPerIteration = 10;
    double drawnCpu = 0.0, directCpu = 0.0;
    int64_t drawnFrames = 0, directFrames = 0;
    int offset = 0;
    for (auto _ : state) {
        double start = processCpu();
        directFrames += direct.Run(kFramesPerIteration, offset);
        directCpu += processCpu() - start;
        state.PauseTiming();
        start = processCpu();
        drawnFrames += drawn.Run(kFramesPerIteration, offset);
        drawnCpu += processCpu() - start;
        state.ResumeTiming();
        offset += kFramesPerIteration;
    }
    const double directMs = directFrames > 0 ? directCpu * 1000.0 / double(directFrames) : 0.0;
    const double drawnMs = drawnFrames > 0 ? drawnCpu * 1000.0 / double(drawnFrames) : 0.0;
    state.counters["fps"] = benchmark::Counter(double(directFrames), benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = directMs;
    state.counters["gl_cpu_ms_per_frame"] = drawnMs;
    state.counters["direct_vs_gl"] = drawnMs > 0.0 ? directMs / drawnMs : 0.0;
}
BENCHMARK(BM_Render1080CardDirect)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(benchsupport::minTime(3.0));

void BM_Render1080Screen(benchmark::State& state)
{
    renderChannels(state, 1, true, true);
}
BENCHMARK(BM_Render1080Screen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(benchsupport::minTime(3.0));

} // namespace

KLV_BENCHMARK_MAIN()
