#pragma once

#include "engine/base/ssTimer.h"
#include "engine/capture/ssSEBuffer.h"
#include "platform/decklink/DeckLinkInterfaces.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// One captured frame, the record behind one ring slot.
struct ssCaptureFrame {
    int16_t* Audio_ = nullptr;  // interleaved 16-bit samples of the channels asked for
    int32_t AudioBytes_ = 0;    // bytes of Audio_ in use
    int32_t AudioCapacity_ = 0; // bytes Audio_ holds; grows when a longer packet arrives
    int32_t Width_ = 0;
    int32_t Height_ = 0;
    int32_t HasAudio_ = 0;
    double VideoTime_ = 0; // stream time of the frame, seconds
    double AudioTime_ = 0; // time of the audio packet, seconds
    double Timecode_ = 0;  // the source's serial time code in seconds, 0 without one
    uint8_t* Pixels_ = nullptr; // '2vuy', RowBytes_ x Height_, 64-byte aligned
    int32_t RowBytes_ = 0;      // 2 x width
};

class ssDeckLinkInput;

// The callback object the card calls on its capture thread; owned by the card's reference count.
class DeckLinkCaptureDelegate final : public platform::decklink::IDeckLinkInputCallback {
public:
    explicit DeckLinkCaptureDelegate(ssDeckLinkInput* input) : Input_(input) {}

    uint32_t AddRef() override;
    uint32_t Release() override;
    platform::decklink::Result VideoInputFormatChanged(uint32_t, platform::decklink::IDeckLinkDisplayMode*,
                                                       uint32_t) override
    {
        return 0;
    }
    platform::decklink::Result VideoInputFrameArrived(platform::decklink::IDeckLinkVideoInputFrame* video,
                                                      platform::decklink::IDeckLinkAudioInputPacket* audio) override;

private:
    ~DeckLinkCaptureDelegate() override = default;

    ssDeckLinkInput* Input_;
    std::mutex RefLock_;
    uint32_t RefCount_ = 0;
};

// Captures one card input for a recording channel: 8-bit 4:2:2 video, 16-bit audio of the asked
// channels, time code and stream times, published through the frame ring (writer: the card's
// capture thread; reader 0: the record encoder; a preview reads as a follower, which the ring
// never waits for). The ring holds about a second of frames, so the encoder may fall that far
// behind before a frame is lost.
class ssDeckLinkInput {
public:
    // Ring depth: a second of frames, at least kMinSlotCount, within kMaxRingBytes of pictures.
    static constexpr int kMinSlotCount = 12;
    static constexpr int kMaxSlotCount = 64;
    static constexpr int64_t kMaxRingBytes = int64_t(128) << 20;
    static constexpr int kCapturedChannels = 16; // the card always delivers 16 channels

    ssDeckLinkInput();
    ~ssDeckLinkInput();
    ssDeckLinkInput(const ssDeckLinkInput&) = delete;
    ssDeckLinkInput& operator=(const ssDeckLinkInput&) = delete;

    // Opens the device's input in the mode at modeIndex, keeping audioChannels (2..16) of the 16
    // captured. 0, or -1 when the device has no such input or mode or the video cannot be enabled.
    int Open(platform::decklink::IDeckLink* deckLink, int modeIndex, int audioChannels);
    void GetInputFormat(int* width, int* height, int* interlaced, double* frameRate) const;
    int Start();
    int Stop();
    // Empties the ring and clears the no-signal count, before a recording.
    void ResetBuffer();

    // Card capture thread: one frame period's video and audio, either possibly null.
    void VideoInputFrameArrived(platform::decklink::IDeckLinkVideoInputFrame* video,
                                platform::decklink::IDeckLinkAudioInputPacket* audio);

    ssSEBuffer* FrameBuffer_ = nullptr; // read by the record encoder
    // Frames without a usable picture since the last reset; the encoder reads and resets it.
    std::atomic<int32_t> NoSignalCount_{0};

    // Slots for a picture of this size at this rate.
    static int SlotCountFor(int width, int height, double frameRate);

private:
    void CopyAudio(ssCaptureFrame* slot, platform::decklink::IDeckLinkAudioInputPacket* audio);

    int32_t SlotCount_ = kMinSlotCount;
    ssTimer Timer_;
    ssCaptureFrame Frames_[kMaxSlotCount + 1]; // the last is the preview's spare
    platform::decklink::IDeckLink* DeckLink_ = nullptr;
    platform::decklink::IDeckLinkInput* DeckLinkInput_ = nullptr;
    DeckLinkCaptureDelegate* CaptureDelegate_ = nullptr;
    int32_t Width_ = 0;
    int32_t Height_ = 0;
    int32_t AudioChannels_ = 2;
    int32_t Interlaced_ = 0;
    double FrameRate_ = 0;
};
