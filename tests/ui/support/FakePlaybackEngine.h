#pragma once
// A playback engine that keeps the transport state a real one would and records every call, for
// controller tests that need no decoding. Times move only when the test says so.

#include "app/moviecontroller/KLVPlaybackEngine.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class FakePlaybackEngine final : public KLVPlaybackEngine {
public:
    // Every call by name, in order ("Play", "Seek 2.000 0", ...).
    std::vector<std::string> calls;
    // What Open answers, and the file it then pretends to hold.
    int32_t openResult = 0;
    double fileDuration = 10.0;
    float frameRate = 25.0f;
    bool buffersReady = true;
    int32_t hasReference = 0;
    std::atomic<uint64_t> previewStamp{0}; // what PreviewStamp answers (the preview's picture)
    bool playing = false;
    double currentTime = 0;
    double inPoint = 0;
    double outPoint = 0;
    int32_t audioOutput = 0;
    float volume = 1.0f;
    int32_t behaviour = 0;
    int32_t showSlate = 0;
    KLVPlaybackEngine* master = nullptr;
    double masterOffset = 0;
    bool goesRoundWithMaster = false; // a playing slave says it passes its master's seams itself
    bool fileOpen = false;
    bool hasTimeCode = false;
    int slateUploads = 0;
    std::function<void()> endpointReached;
    // Prepared next cues that went on air (the test counts them on as the engine would).
    uint64_t handOvers = 0;
    std::vector<std::function<void(KLVPlaybackEngine&)>> heldJobs;

    // While set, queued jobs wait (as behind a busy lane) until runHeldJobs runs them in order.
    bool holdJobs = false;
    void Enqueue(std::function<void(KLVPlaybackEngine&)> job) override;
    void runHeldJobs();

    // Counts the calls whose text starts with prefix.
    int count(const std::string& prefix) const;
    // Fires the end-of-range notice as the engine's presenting thread would.
    void reachEnd() const
    {
        if (endpointReached)
            endpointReached();
    }

    int32_t Open(const std::string& path, bool hasPreview, bool showFirstFrame) override;
    int32_t Play() override;
    int32_t Pause() override;
    int32_t Stop() override;
    int32_t Seek(double seconds, int32_t scrub) override;
    int32_t StepForward() override;
    int32_t StepBackward() override;
    int32_t AdjustForward() override;
    int32_t AdjustBackward() override;
    int32_t SetInPoint(double seconds) override;
    int32_t SetOutPoint(double seconds) override;
    int32_t SetInOutPoints(double in, double out) override;
    int32_t SetPlaybackBehavior(int32_t b) override;
    int32_t SetVolume(float v) override;
    int32_t SetAudioDelay(int32_t ms) override;
    int32_t SetAudioOutput(int32_t kind) override;
    int32_t GetAudioOutput() const override { return audioOutput; }
    int32_t SetSyncMode(int32_t flag) override;
    int32_t SetTimeCodeOutput(int32_t mode) override;
    int32_t SetShowSlate(int32_t flag) override;
    int32_t SetSlateImage(int32_t w, int32_t h, const uint8_t* rgba) override;
    void SetAnamorphic(int32_t flag) override;
    int32_t SetMaster(KLVPlaybackEngine* m, double offset) override;
    bool PassesSeamsWithMaster() override { return goesRoundWithMaster && playing; }
    int32_t SetOutputDevice(ssBaseOutput* device, int32_t mode) override;
    void SetOverlayImage(int32_t w, int32_t h, const uint8_t* rgba, float x, float y, float ow, float oh) override;
    void FadeOverlay(int32_t direction, float fadeTime) override;
    void SetEndpointReached(std::function<void()> callback) override { endpointReached = std::move(callback); }
    int32_t PrepareNext(const std::string& path, double in, double out, int32_t behaviour) override;
    void ClearNext() override { record("ClearNext"); }
    uint64_t HandOvers() const override { return handOvers; }
    bool BuffersReady() override { return buffersReady && fileOpen; }
    bool IsFileOpen() const override { return fileOpen; }
    double GetCurrentTime() const override { return currentTime; }
    double GetDuration() const override { return fileOpen ? fileDuration : 0; }
    float GetFrameRate() const override { return frameRate; }
    double GetInPoint() const override { return inPoint; }
    double GetOutPoint() const override { return outPoint; }
    double GetTimeCodeOffset() const override { return 0; }
    bool HasTimeCode() const override { return hasTimeCode; }
    std::string GetCurrentTimeCodeString() override { return "00:00:00:00"; }
    std::string GetRemainingTimeCodeString() override { return "00:00:00:00"; }
    int32_t HasReference() const override { return hasReference; }
    void GetOutputSize(int32_t* w, int32_t* h) const override;
    int32_t DrawPreview(int32_t x, int32_t y, int32_t w, int32_t h) override;
    uint64_t PreviewStamp() override { return previewStamp.load(); }

private:
    void record(const std::string& call) { calls.push_back(call); }
};

} // namespace testsupport
