#pragma once
// Scheduled playout of one engine to an SDI card: 8 frames cycled through the card with RP188 time
// code, and 8 channels of embedded audio that keep the channel's audio clock.

#include "engine/output/ssPlayoutSource.h"
#include "platform/decklink/DeckLinkInterfaces.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class ssDecklinkOutput;

class ssDecklinkPlayout {
public:
    static constexpr int32_t kFrameCount = 8;
    static constexpr int32_t kPrerollFrames = 3;
    static constexpr int32_t kAudioChannels = 8;
    static constexpr int32_t kAudioFramesPerCall = 960; // 20 ms at 48 kHz
    static constexpr int32_t kAudioBufSize = 245760;
    static constexpr int32_t kMaxStreams = 20;

    explicit ssDecklinkPlayout(ssPlayoutSource* source);
    ~ssDecklinkPlayout();
    ssDecklinkPlayout(const ssDecklinkPlayout&) = delete;
    ssDecklinkPlayout& operator=(const ssDecklinkPlayout&) = delete;

    // Enables the card in that mode (an index past the mode count selects mode 0), prerolls and
    // starts playback. -1 when the device cannot play out or video cannot be enabled at all.
    int32_t Start(ssDecklinkOutput* device, int32_t modeIndex);
    // Stops playback and gives the card back. Must not be called holding a lock the source's
    // calls take (the card waits for its callbacks).
    void Stop();

    // Card threads.
    void ScheduleNextFrame(platform::decklink::CompletionResult result);
    int32_t RenderAudioSamples();

    double GetAudioClock() const { return m_AudioClock.load(); }
    void SetAudioClock(double seconds) { m_AudioClock.store(seconds); }
    int32_t GetWidth() const { return m_Width; }
    int32_t GetHeight() const { return m_Height; }
    int32_t GetInterlaced() const { return m_Interlaced; }
    float GetFrameRate() const { return m_FrameRate; }
    bool HasTimecode() const { return m_Ancillary != nullptr; }
    bool HasAudio() const { return m_AudioEnabled; }
    // True while playing to a card whose reference input is locked.
    bool ReferenceLocked() const;

private:
    class VideoDelegate;
    class AudioDelegate;

    void WriteTimecode(platform::decklink::IDeckLinkMutableVideoFrame* frame);
    void FillAudio(int32_t* block);
    // Gives back the audio packets still held and forgets where they were read to.
    void ReleaseLeftovers();
    size_t FrameBytes() const { return size_t(m_Width) * size_t(m_Height) * 2; }

    ssPlayoutSource* m_Source;
    platform::decklink::IDeckLinkOutput* m_Output = nullptr;
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    int32_t m_Interlaced = 0;
    float m_FrameRate = 0.0f;
    platform::decklink::TimeValue m_FrameDuration = 0;
    platform::decklink::TimeScale m_TimeScale = 0;
    platform::decklink::IDeckLinkMutableVideoFrame* m_Frames[kFrameCount] = {};
    platform::decklink::IDeckLinkVideoFrameAncillary* m_Ancillary = nullptr;
    std::unique_ptr<VideoDelegate> m_VideoDelegate;
    std::unique_ptr<AudioDelegate> m_AudioDelegate;
    bool m_AudioEnabled = false;
    int32_t m_ScheduledCount = 0;
    int32_t m_LastSlot = 0;

    std::atomic<double> m_AudioClock{0.0};
    const double m_SampleDuration = 1.0 / 48000.0;
    std::vector<int32_t> m_AudioBlock; // kAudioBufSize bytes
    ssAudioPacket m_Leftover[kMaxStreams] = {};
    int32_t m_LeftoverPosition[kMaxStreams] = {};
};
