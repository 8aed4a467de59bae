// The channel preview, drawn on the view's thread with a context that shares the engine's: the
// level meters of what the channel plays and the frame its output shows.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/audio/ssAudioMTosx.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/render/ssMediaRender.h"

#include <algorithm>

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
    // The preview shows the frame the output shows (GetFrameForOutput keeps it), not the newest
    // one rendered: a cued or paused channel holds frames ahead of the one on air.
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
