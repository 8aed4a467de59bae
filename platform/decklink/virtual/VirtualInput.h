#pragma once

#include "platform/decklink/DeckLinkInterfaces.h"
#include "platform/decklink/virtual/CallbackSlot.h"
#include "platform/decklink/virtual/FramePacer.h"
#include "platform/decklink/virtual/RefCounted.h"
#include "platform/decklink/virtual/VirtualCardState.h"
#include "platform/decklink/virtual/VirtualObjects.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform::decklink {

// The capture side of a virtual card, with a signal generator in place of a source: frame k (counted
// from StartStreams) shows k as a platform::FrameBarcode on black, carries the serial time code
// start + k and the stream time k frame periods, and comes with that period's 48 kHz audio
// (virtualToneSample). One thread delivers a frame at the start of every frame period on the card's
// clock; injected faults replace a frame by a no-signal frame, drop its audio or skip it.
class VirtualInput final : public RefCounted<IDeckLinkInput> {
public:
    explicit VirtualInput(std::shared_ptr<CardState> card);

    Result GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;
    Result DoesSupportVideoMode(DisplayModeId mode, PixelFormat format, VideoInputFlags flags,
                                bool* supported) override;
    Result EnableVideoInput(DisplayModeId mode, PixelFormat format, VideoInputFlags flags) override;
    Result DisableVideoInput() override;
    Result EnableAudioInput(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount) override;
    Result DisableAudioInput() override;
    Result SetCallback(IDeckLinkInputCallback* callback) override;
    Result StartStreams() override;
    Result StopStreams() override;

private:
    ~VirtualInput() override;

    void deliver(int64_t frame, const ModeSpec& mode);
    // A frame and a packet nobody else holds, or null when the application holds them all.
    template <typename T> static T* freeOf(std::vector<Ref<T>>& pool);

    const std::shared_ptr<CardState> card_;

    std::mutex mutex_;
    const ModeSpec* mode_ = nullptr;
    bool audioEnabled_ = false;
    uint32_t channels_ = 0;
    AudioSampleType sampleType_ = AudioSampleType::Integer16;
    bool streaming_ = false;

    // Preallocated when enabled, reused for every frame.
    std::vector<Ref<VirtualInputFrame>> frames_;
    std::vector<Ref<VirtualAudioPacket>> packets_;

    CallbackSlot<IDeckLinkInputCallback> callback_;
    FramePacer pacer_; // last: its thread ends before anything it uses goes
};

} // namespace platform::decklink
