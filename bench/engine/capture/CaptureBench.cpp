// Cost of the capture path per frame: the ring's publish/read round trip, and one captured
// 1080 frame with its 16-channel audio taken into a slot (the copy the capture thread makes).

#include "bench/support/BenchRun.h"
#include "engine/capture/ssDeckLinkInput.h"
#include "engine/capture/ssSEBuffer.h"
#include "tests/engine/capture/CaptureSources.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_SEBufferRoundTrip(benchmark::State& state)
{
    const int readers = int(state.range(0));
    std::vector<int> records(12);
    ssSEBuffer ring(12, 1);
    for (int i = 0; i < 12; ++i)
        ring.RegisterSlot(&records[size_t(i)], i);
    for (int r = 1; r < readers; ++r)
        ring.AddReader();
    for (auto _ : state) {
        int* slot = nullptr;
        ring.AcquireWrite(&slot, 0);
        ring.Commit(0);
        for (int r = 0; r < readers; ++r)
            ring.Read(r, &slot, 0);
        benchmark::DoNotOptimize(slot);
    }
}
BENCHMARK(BM_SEBufferRoundTrip)->Arg(1)->Arg(2)->Arg(16);

// A minimal card that only lists one 1080 mode, so the input can be opened without a plugin.
struct OneModeCard : testsupport::Owned<platform::decklink::IDeckLink> {
    struct Mode : testsupport::Owned<platform::decklink::IDeckLinkDisplayMode> {
        platform::decklink::DisplayModeId GetDisplayMode() override { return 1; }
        platform::decklink::Result GetName(std::string* n) override { *n = "1080"; return 0; }
        long GetWidth() override { return 1920; }
        long GetHeight() override { return 1080; }
        platform::decklink::Result GetFrameRate(platform::decklink::TimeValue* d, platform::decklink::TimeScale* s) override
        {
            *d = 1001;
            *s = 30000;
            return 0;
        }
        platform::decklink::FieldDominance GetFieldDominance() override
        {
            return platform::decklink::FieldDominance::UpperFieldFirst;
        }
    } mode;
    struct Modes : testsupport::Owned<platform::decklink::IDeckLinkDisplayModeIterator> {
        Mode* mode = nullptr;
        bool done = false;
        platform::decklink::Result Next(platform::decklink::IDeckLinkDisplayMode** m) override
        {
            *m = done ? nullptr : mode;
            const bool first = !done;
            done = true;
            return first ? 0 : 1;
        }
    } modes;
    struct Input : testsupport::Owned<platform::decklink::IDeckLinkInput> {
        Modes* modes = nullptr;
        platform::decklink::Result GetDisplayModeIterator(platform::decklink::IDeckLinkDisplayModeIterator** it) override
        {
            *it = modes;
            return 0;
        }
        platform::decklink::Result DoesSupportVideoMode(platform::decklink::DisplayModeId, platform::decklink::PixelFormat,
                                                        platform::decklink::VideoInputFlags, bool* s) override
        {
            *s = true;
            return 0;
        }
        platform::decklink::Result EnableVideoInput(platform::decklink::DisplayModeId, platform::decklink::PixelFormat,
                                                    platform::decklink::VideoInputFlags) override { return 0; }
        platform::decklink::Result DisableVideoInput() override { return 0; }
        platform::decklink::Result EnableAudioInput(uint32_t, platform::decklink::AudioSampleType, uint32_t) override { return 0; }
        platform::decklink::Result DisableAudioInput() override { return 0; }
        platform::decklink::Result SetCallback(platform::decklink::IDeckLinkInputCallback* cb) override
        {
            if (cb)
                cb->AddRef();
            if (callback)
                callback->Release();
            callback = cb;
            return 0;
        }
        platform::decklink::Result StartStreams() override { return 0; }
        platform::decklink::Result StopStreams() override { return 0; }
        platform::decklink::IDeckLinkInputCallback* callback = nullptr;
    } input;

    OneModeCard()
    {
        modes.mode = &mode;
        input.modes = &modes;
    }
    platform::decklink::Result GetDisplayName(std::string* n) override { *n = "bench"; return 0; }
    platform::decklink::Result QueryOutput(platform::decklink::IDeckLinkOutput** o) override
    {
        *o = nullptr;
        return platform::decklink::kNoInterface;
    }
    platform::decklink::Result QueryInput(platform::decklink::IDeckLinkInput** i) override
    {
        *i = &input;
        return 0;
    }
};

void BM_CaptureFrame1080(benchmark::State& state)
{
    OneModeCard card;
    ssDeckLinkInput input;
    if (input.Open(&card, 0, int(state.range(0))) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    testsupport::Frame frame(1920, 1080, 1);
    testsupport::Packet packet(1602);
    for (auto _ : state) {
        input.VideoInputFrameArrived(&frame, &packet);
        ssCaptureFrame* slot = nullptr;
        input.FrameBuffer_->Read(0, &slot, 0);
        benchmark::DoNotOptimize(slot);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 1920 * 1080 * 2);
}
BENCHMARK(BM_CaptureFrame1080)->Arg(2)->Arg(16);

} // namespace

KLV_BENCHMARK_MAIN()
