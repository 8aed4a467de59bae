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
    if (!OutputSource_)
        OutputSource_ = std::make_unique<ssEngineOutputSource>(*this);
    // The old device lets go first. No engine lock is held here: stopping a card waits for its
    // callbacks, which take the engine's locks.
    if (Playout_) {
        // Taken out of reach of other threads before it stops.
        std::unique_ptr<ssDecklinkPlayout> old;
        {
            std::lock_guard playout(PlayoutLock_);
            old = std::move(Playout_);
        }
        old->Stop();
        OutputSource_->SetPlayout(nullptr);
    }
    if (ScreenOutput_) {
        ScreenOutput_->SetSource(nullptr, nullptr, 0.0, 0.0);
        ScreenOutput_ = nullptr;
    }
    if (!device) {
        SetOutputFormat(nullptr);
        return 0;
    }
    const outputMode* mode = device->GetMode(modeIndex);
    if (!mode)
        mode = device->GetMode(0);
    ssOutputFormat format;
    format.kind = device->Kind_;
    if (mode) {
        format.width = mode->width;
        format.height = mode->height;
        format.interlaced = mode->interlaced;
        format.frameRate = mode->frameRate;
    }
    SetOutputFormat(&format);
    if (device->Kind_ == ssBaseOutput::kKindScreen) {
        ScreenOutput_ = static_cast<ssDVIOutput*>(device);
        ScreenOutput_->SetSource(nullptr, OutputSource_.get(), 0.0, 0.0);
        return 0;
    }
    if (device->Kind_ == ssBaseOutput::kKindDeckLink) {
        auto playout = std::make_unique<ssDecklinkPlayout>(OutputSource_.get(), LogName());
        // The card's callbacks start during Start: the source knows its playout before.
        OutputSource_->SetPlayout(playout.get());
        if (playout->Start(static_cast<ssDecklinkOutput*>(device), modeIndex) != 0) {
            OutputSource_->SetPlayout(nullptr);
            return -1;
        }
        std::lock_guard lock(PlayoutLock_);
        Playout_ = std::move(playout);
    }
    return 0;
}

ssEBuffer* ssMediaDecoder3::GetSampleQueue(int32_t stream) const
{
    return stream >= 0 && stream < AudioStreamCount_ ? SampleQueues_[stream] : nullptr;
}

int32_t ssMediaDecoder3::GetStreamChannels(int32_t stream) const
{
    return stream >= 0 && stream < AudioStreamCount_ ? AudioChannels_[stream] : 0;
}

void ssMediaDecoder3::GetTimeCodeParts(int32_t parts[4]) const
{
    for (int i = 0; i < 4; ++i)
        parts[i] = StartTimeCode_[i].load();
}
