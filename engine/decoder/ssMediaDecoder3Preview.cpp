// The channel preview, drawn on the view's thread with a context that shares the engine's: the
// level meters of what the channel plays and its newest frame.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/render/ssMediaRender.h"

#include <algorithm>

namespace {
// The preview waits this long for a newer frame.
constexpr int kPreviewWaitMs = 5;
} // namespace

int32_t ssMediaDecoder3::DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height)
{
    ssMediaRender& render = *Render_;
    ssPreviewInput input;
    double levels[ssRenderMeterChannels] = {};
    std::lock_guard present(PresentLock_);
    input.hasOutput = HasOutput_.load() ? 1 : 0;
    if (AudioOutputKind_.load() == 1) {
        input.channelCount = std::min(TotalAudioChannels_, ssRenderMeterChannels);
        for (int i = 0; i < input.channelCount; ++i)
            levels[i] = render.Meters().GetDb(i);
    } else if (AudioOutput_) {
        float decibels[ssRenderMeterChannels] = {};
        input.channelCount = AudioOutput_->GetLevels(decibels, ssRenderMeterChannels);
        std::copy(decibels, decibels + input.channelCount, levels);
    }
    input.levelsDb = levels;
    if (FrameRing_ && FrameRing_->GetReaderCount() > 1 && GetThreadState() != ssStateStopped &&
        Present_.countdown.load() == 0) {
        // Reader 1 takes the newest frame and lets the older ones go.
        ssFrameTarget* newest = nullptr;
        if (FrameRing_->ReadLatest(1, &newest, kPreviewWaitMs) == 0 && newest)
            PreviewSlot_.store(newest->textureIndex);
    }
    if (const int32_t slot = PreviewSlot_.load(); slot >= 0 && !OutputChanged_.load()) {
        // The fence of the slot keeps the picture from being drawn before it is finished.
        input.frameTexture = render.AcquireFrameTexture(slot);
        render.GetPreviewSize(&input.frameWidth, &input.frameHeight);
        input.displayWidth = DisplayWidth_.load();
        input.displayHeight = DisplayHeight_.load();
    }
    return render.DrawPreview(x, y, width, height, input);
}

int32_t ssMediaDecoder3::HasReference() const
{
    return Playout_ && Playout_->ReferenceLocked() ? 1 : 0;
}
