// 1080p frames through the card path: upload of the packed 4:2:2 picture, conversion to full
// resolution and back into the output raster, and read-back of the '2vuy' frame. Counter "fps"
// is frames per second per run; with two channels each channel renders on its own thread and
// context, and "fps" counts the frames of both.

#include "bench/support/BenchRun.h"
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
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

    Channel()
    {
        context = ssGLContext::CreateEngineContext();
        if (!context || !context->MakeCurrent())
            return;
        render = std::make_unique<ssMediaRender>(resources().c_str());
        ssRenderOutputMode mode;
        mode.width = 1920;
        mode.height = 1080;
        mode.frameRate = 25.0f;
        render->ConfigureOutput(mode);
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

void BM_Render1080Card(benchmark::State& state)
{
    const int channels = int(state.range(0));
    std::vector<std::unique_ptr<Channel>> set;
    for (int c = 0; c < channels; ++c) {
        set.push_back(std::make_unique<Channel>());
        if (!set.back()->ok) {
            state.SkipWithError("no GL context or renderer set-up failed");
            return;
        }
    }
    constexpr int kFramesPerIteration = 10;
    int64_t frames = 0;
    int offset = 0;
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
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["channels"] = channels;
}
BENCHMARK(BM_Render1080Card)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(benchsupport::minTime(3.0));

} // namespace

KLV_BENCHMARK_MAIN()
