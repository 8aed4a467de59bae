#pragma once

#include "engine/base/ssTimer.h"
#include "engine/capture/ssSEBuffer.h"
#include "platform/decklink/DeckLinkInterfaces.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// One captured frame, the record behind one ring slot.
struct ssCaptureFrame {
    int16_t* m_Audio = nullptr;  // interleaved 16-bit samples of the channels asked for
    int32_t m_AudioBytes = 0;    // bytes of m_Audio in use
    int32_t m_AudioCapacity = 0; // bytes m_Audio holds; grows when a longer packet arrives
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    int32_t m_HasAudio = 0;
    double m_VideoTime = 0; // stream time of the frame, seconds
    double m_AudioTime = 0; // time of the audio packet, seconds
    double m_Timecode = 0;  // the source's serial time code in seconds, 0 without one
    uint8_t* m_Pixels = nullptr; // '2vuy', m_RowBytes x m_Height, 64-byte aligned
    int32_t m_RowBytes = 0;      // 2 x width
};

class ssDeckLinkInput;

// The callback object the card calls on its capture thread; owned by the card's reference count.
class DeckLinkCaptureDelegate final : public platform::decklink::IDeckLinkInputCallback {
public:
    explicit DeckLinkCaptureDelegate(ssDeckLinkInput* input) : m_Input(input) {}

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

    ssDeckLinkInput* m_Input;
    std::mutex m_RefLock;
    uint32_t m_RefCount = 0;
};

// Captures one card input for a recording channel: 8-bit 4:2:2 video, 16-bit audio of the asked
// channels, time code and stream times, published through the frame ring (writer: the card's
// capture thread; reader 0: the record encoder).
class ssDeckLinkInput {
public:
    static constexpr int kSlotCount = 12;
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

    ssSEBuffer* m_FrameBuffer = nullptr; // read by the record encoder
    // Frames without a usable picture since the last reset; the encoder reads and resets it.
    std::atomic<int32_t> m_NoSignalCount{0};

private:
    void CopyAudio(ssCaptureFrame* slot, platform::decklink::IDeckLinkAudioInputPacket* audio);

    int32_t m_SlotCount = kSlotCount;
    ssTimer m_Timer;
    ssCaptureFrame m_Frames[kSlotCount];
    platform::decklink::IDeckLink* m_DeckLink = nullptr;
    platform::decklink::IDeckLinkInput* m_DeckLinkInput = nullptr;
    DeckLinkCaptureDelegate* m_CaptureDelegate = nullptr;
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    int32_t m_AudioChannels = 2;
    int32_t m_Interlaced = 0;
    double m_FrameRate = 0;
};
