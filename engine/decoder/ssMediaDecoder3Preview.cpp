// The channel preview, drawn on the view's thread with a context that shares the engine's: the
// level meters of what the channel plays and the frame its output shows.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/decoder/ssAudioMTosx.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/render/ssMediaRender.h"

#include <algorithm>

int32_t ssMediaDecoder3::DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height)
{
    ssMediaRender& render = *m_Render;
    ssPreviewInput input;
    double levels[ssRenderMeterChannels] = {};
    std::lock_guard present(m_PresentLock);
    input.hasOutput = m_HasOutput.load() ? 1 : 0;
    if (m_AudioOutputKind.load() == 1) {
        input.channelCount = std::min(m_TotalAudioChannels, ssRenderMeterChannels);
        for (int i = 0; i < input.channelCount; ++i)
            levels[i] = render.Meters().GetDb(i);
    } else if (m_AudioOutput) {
        float decibels[ssRenderMeterChannels] = {};
        input.channelCount = m_AudioOutput->GetLevels(decibels, ssRenderMeterChannels);
        std::copy(decibels, decibels + input.channelCount, levels);
    }
    input.levelsDb = levels;
    // The preview shows the frame the output shows (GetFrameForOutput keeps it), not the newest
    // one rendered: a cued or paused channel holds frames ahead of the one on air.
    if (const int32_t slot = m_PreviewSlot.load(); slot >= 0 && !m_OutputChanged.load()) {
        // The fence of the slot keeps the picture from being drawn before it is finished.
        input.frameTexture = render.AcquireFrameTexture(slot);
        render.GetPreviewSize(&input.frameWidth, &input.frameHeight);
        input.displayWidth = m_DisplayWidth.load();
        input.displayHeight = m_DisplayHeight.load();
    }
    return render.DrawPreview(x, y, width, height, input);
}

int32_t ssMediaDecoder3::HasReference() const
{
    return m_Playout && m_Playout->ReferenceLocked() ? 1 : 0;
}
