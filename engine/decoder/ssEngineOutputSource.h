#pragma once
// The engine as the outputs see it: what a screen output draws (ssScreenSource) and what an SDI
// playout puts out (ssPlayoutSource), read from one playback engine. Called on the outputs' own
// threads (a window's render thread, the card's callbacks).

#include "engine/output/ssOutputSource.h"
#include "engine/output/ssPlayoutSource.h"

#include <atomic>
#include <cstdint>
#include <vector>

class ssDecklinkPlayout;
class ssMediaDecoder3;

class ssEngineOutputSource final : public ssScreenSource, public ssPlayoutSource {
public:
    explicit ssEngineOutputSource(ssMediaDecoder3& engine)
        : engine_(engine)
    {
    }

    // The playout whose audio clock is the engine's SDI clock (null: none).
    void SetPlayout(ssDecklinkPlayout* playout) { playout_.store(playout); }

    // Screen.
    int32_t GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* state) override;
    uint32_t GetFrameTexture(int32_t slot) override;
    ssDisplayGL* GetDisplay() override;

    // SDI playout.
    int32_t GetFrameForOutput(int32_t* state, const ssOutputPeriod& period) override;
    bool CopyFramePixels(int32_t slot, uint8_t* destination, size_t bytes) override;
    int32_t GetPlaybackBehavior() override;
    double GetPosition() override;
    double GetDuration() override;
    int32_t GetTimeCodeOutput() override;
    ssTimecodeParts GetStartTimeCode() override;
    bool AudioPlaying() override;
    int32_t GetAudioStreamCount() override;
    int32_t GetStreamChannels(int32_t stream) override;
    bool AudioClockStarted() override;
    int32_t PullAudioPacket(int32_t stream, ssAudioPacket* packet) override;
    void ReleaseAudioPacket(int32_t stream) override;
    void AccumulateMeterLevels(const int32_t* block, int32_t frames, int32_t stride, int32_t firstChannel,
                               int32_t channels) override;
    void DecayMeters() override;

private:
    ssMediaDecoder3& engine_;
    std::atomic<ssDecklinkPlayout*> playout_{nullptr};
    // The screen's last seen count of closed files (its context frees their textures as it draws).
    std::atomic<uint32_t> screenSeenRelease_{0};
    // The card's audio thread's own: one stream's samples gathered for metering (grown, never
    // shrunk), and the length of the last metered block, which a decay lets silence run for.
    std::vector<int32_t> meterSamples_;
    int32_t meterFrames_ = 0;
};
