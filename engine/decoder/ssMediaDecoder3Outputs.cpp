// Playing to an output device: the screen that draws the engine's frames or the card playout
// that takes them, and what the outputs read of the engine.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssEBuffer.h"
#include "engine/decoder/ssEngineOutputSource.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssDecklinkOutput.h"
#include "engine/output/ssDecklinkPlayout.h"

int32_t ssMediaDecoder3::SetOutputDevice(ssBaseOutput* device, int32_t modeIndex)
{
    if (!m_OutputSource)
        m_OutputSource = std::make_unique<ssEngineOutputSource>(*this);
    // The old device lets go first. No engine lock is held here: stopping a card waits for its
    // callbacks, which take the engine's locks.
    if (m_Playout) {
        m_Playout->Stop();
        m_OutputSource->SetPlayout(nullptr);
        m_Playout.reset();
    }
    if (m_ScreenOutput) {
        m_ScreenOutput->SetSource(nullptr, nullptr, 0.0, 0.0);
        m_ScreenOutput = nullptr;
    }
    if (!device) {
        SetOutputFormat(nullptr);
        return 0;
    }
    const outputMode* mode = device->GetMode(modeIndex);
    if (!mode)
        mode = device->GetMode(0);
    ssOutputFormat format;
    format.kind = device->m_Kind;
    if (mode) {
        format.width = mode->width;
        format.height = mode->height;
        format.interlaced = mode->interlaced;
        format.frameRate = mode->frameRate;
    }
    SetOutputFormat(&format);
    if (device->m_Kind == ssBaseOutput::kKindScreen) {
        m_ScreenOutput = static_cast<ssDVIOutput*>(device);
        m_ScreenOutput->SetSource(nullptr, m_OutputSource.get(), 0.0, 0.0);
        return 0;
    }
    if (device->m_Kind == ssBaseOutput::kKindDeckLink) {
        auto playout = std::make_unique<ssDecklinkPlayout>(m_OutputSource.get());
        // The card's callbacks start during Start: the source knows its playout before.
        m_OutputSource->SetPlayout(playout.get());
        if (playout->Start(static_cast<ssDecklinkOutput*>(device), modeIndex) != 0) {
            m_OutputSource->SetPlayout(nullptr);
            return -1;
        }
        m_Playout = std::move(playout);
    }
    return 0;
}

ssEBuffer* ssMediaDecoder3::GetSampleQueue(int32_t stream) const
{
    return stream >= 0 && stream < m_AudioStreamCount ? m_SampleQueues[stream] : nullptr;
}

int32_t ssMediaDecoder3::GetStreamChannels(int32_t stream) const
{
    return stream >= 0 && stream < m_AudioStreamCount ? m_AudioChannels[stream] : 0;
}

void ssMediaDecoder3::GetTimeCodeParts(int32_t parts[4]) const
{
    for (int i = 0; i < 4; ++i)
        parts[i] = m_StartTimeCode[i].load();
}
