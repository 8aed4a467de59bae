// The channel preview, drawn on the view's thread with a context that shares the engine's: the
// level meters of what the channel plays and the frame its output shows.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/audio/ssAudioMTosx.h"
#include "engine/base/ssChangeStamp.h"
#include "engine/base/ssHeapPolicy.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/render/ssMediaRender.h"

#include <algorithm>

int32_t ssMediaDecoder3::GatherPreviewLevels(double* levels)
{
    if (AudioOutputKind_.load() == 1) {
        const int32_t count = std::min(TotalAudioChannels_, ssRenderMeterChannels);
        for (int i = 0; i < count; ++i)
            levels[i] = Render_->Meters().GetDb(i);
        return count;
    }
    if (AudioOutput_) {
        float decibels[ssRenderMeterChannels] = {};
        const int32_t count = AudioOutput_->GetLevels(decibels, ssRenderMeterChannels);
        std::copy(decibels, decibels + count, levels);
        return count;
    }
    return 0;
}

int32_t ssMediaDecoder3::DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height)
{
    ssMediaRender& render = *Render_;
    ssPreviewInput input;
    double levels[ssRenderMeterChannels] = {};
    std::unique_lock present(PresentLock_);
    input.hasOutput = HasOutput_.load() ? 1 : 0;
    input.channelCount = GatherPreviewLevels(levels);
    input.levelsDb = levels;
    // The preview shows the frame the output shows (GetFrameForOutput keeps it), not the newest
    // one rendered: a cued or paused channel holds frames ahead of the one on air.
    if (const int32_t slot = PreviewSlot_.load(); slot >= 0 && !OutputChanged_.load()) {
        // The fence of the slot keeps the picture from being drawn before it is finished.
        input.frameTexture = render.AcquireFrameTexture(slot);
        render.GetPreviewSize(&input.frameWidth, &input.frameHeight);
        input.displayWidth = DisplayWidth_.load();
        input.displayHeight = DisplayHeight_.load();
    }
    // What was gathered stays drawable until the draw ends: whatever frees it waits for it.
    std::lock_guard preview(PreviewLock_);
    present.unlock();
    const int32_t drawn = render.DrawPreview(x, y, width, height, input);
    if (const uint32_t released = ReleaseSerial_.load(); PreviewSeenRelease_.exchange(released) != released)
        ssReturnFreedMemorySoon();
    return drawn;
}

uint64_t ssMediaDecoder3::PreviewStamp()
{
    double levels[ssRenderMeterChannels] = {};
    ssChangeStamp stamp;
    std::lock_guard present(PresentLock_);
    const int32_t channels = GatherPreviewLevels(levels);
    stamp.Add(HasOutput_.load() != 0).Add(channels).Add(Render_->PreviewShowsMeters());
    for (int32_t i = 0; i < channels; ++i)
        stamp.AddLevelDb(levels[i]);
    const int32_t slot = PreviewSlot_.load();
    const bool framed = slot >= 0 && !OutputChanged_.load();
    stamp.Add(framed);
    if (framed) {
        int32_t w = 0, h = 0;
        Render_->GetPreviewSize(&w, &h);
        stamp.Add(slot).Add(PreviewSerial_.load(std::memory_order_relaxed)).Add(w).Add(h);
        stamp.Add(DisplayWidth_.load()).Add(DisplayHeight_.load());
    }
    return stamp.Value();
}

int32_t ssMediaDecoder3::HasReference() const
{
    std::lock_guard playout(PlayoutLock_);
    return Playout_ && Playout_->ReferenceLocked() ? 1 : 0;
}
