#pragma once
// The real playback engine behind KLVPlaybackEngine: one ssMediaDecoder3 with its notifier.
//
// Opening, seeking, stepping, slates and linking wait on files and decoder threads, so they run
// on the engine's lane, never on the caller's thread. While the lane has work, every other
// operation joins its queue too, so operations take effect in the order they were asked for;
// queries answer at once from what the engine holds.

#include "app/moviecontroller/KLVEngineLane.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"

#include <atomic>
#include <memory>
#include <mutex>

class ssGLContext;
class ssMediaDecoder3;
class KLVChannelNotifier;

class KLVDecoderEngine final : public KLVPlaybackEngine {
public:
    // resourceBase: the folder holding "Contents/Resources"; context: the engine's own GL
    // context (null: the render thread makes one from the process's share root); logName: what
    // the engine's log lines carry as theirs (logNameOf), on its threads, its card's callbacks and
    // in the operations it runs for its channel.
    KLVDecoderEngine(const std::string& resourceBase, std::unique_ptr<ssGLContext> context,
                     const std::string& logName = {});

    // The log name of the engine made for a tag: "channel <tag>" for a channel (1..N), "inspector"
    // for the cue inspector's (0).
    static std::string logNameOf(long tag);
    ~KLVDecoderEngine() override;

    // The application's resource base: the build tree or the installed share folder.
    static std::string defaultResourceBase();

    int32_t Open(const std::string& path, bool hasPreview, bool showFirstFrame) override;
    void Enqueue(std::function<void(KLVPlaybackEngine&)> job) override;
    bool IsBusy() const override;
    int32_t Play() override;
    int32_t Pause() override;
    int32_t Stop() override;
    int32_t Seek(double seconds, int32_t scrub) override;
    void WaitForPositionShown() override;
    int32_t StepForward() override;
    int32_t StepBackward() override;
    int32_t AdjustForward() override;
    int32_t AdjustBackward() override;
    int32_t SetInPoint(double seconds) override;
    int32_t SetOutPoint(double seconds) override;
    int32_t SetInOutPoints(double in, double out) override;
    int32_t SetPlaybackBehavior(int32_t behaviour) override;
    int32_t SetVolume(float volume) override;
    int32_t SetAudioDelay(int32_t milliseconds) override;
    int32_t SetAudioOutput(int32_t kind) override;
    int32_t GetAudioOutput() const override;
    int32_t SetSyncMode(int32_t flag) override;
    int32_t SetTimeCodeOutput(int32_t mode) override;
    int32_t SetShowSlate(int32_t flag) override;
    int32_t SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba) override;
    void SetAnamorphic(int32_t flag) override;
    int32_t SetMaster(KLVPlaybackEngine* master, double offset) override;
    bool PassesSeamsWithMaster() override;
    int32_t SetOutputDevice(ssBaseOutput* device, int32_t modeIndex) override;
    void SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w,
                         float h) override;
    void FadeOverlay(int32_t direction, float fadeTime) override;
    void SetEndpointReached(std::function<void()> callback) override;
    int32_t PrepareNext(const std::string& path, double in, double out, int32_t behaviour) override;
    void ClearNext() override;
    uint64_t HandOvers() const override;
    bool BuffersReady() override;
    bool IsFileOpen() const override;
    double GetCurrentTime() const override;
    double GetDuration() const override;
    float GetFrameRate() const override;
    double GetInPoint() const override;
    double GetOutPoint() const override;
    double GetTimeCodeOffset() const override;
    bool HasTimeCode() const override;
    std::string GetCurrentTimeCodeString() override;
    std::string GetRemainingTimeCodeString() override;
    int32_t HasReference() const override;
    void GetOutputSize(int32_t* width, int32_t* height) const override;
    int32_t DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height) override;
    uint64_t PreviewStamp() override;
    ssMediaDecoder3* decoder() override { return decoder_.get(); }

private:
    // Runs an operation here when nothing waits on the lane (or on the lane itself), else
    // queues it behind what waits; 0 when queued.
    int32_t call(std::function<int32_t()> operation);
    // Always on the lane: operations that wait on the file or the decoder's threads.
    int32_t slow(std::function<int32_t()> operation, KLVEngineLane::Kind kind = KLVEngineLane::kOrdinary);

    // The engine may call the notifier on its presenting thread at any time until it is gone, so
    // the callback is swapped under a lock and the notifier outlives the decoder.
    std::mutex callbackLock_;
    std::function<void()> endpointReached_;
    std::unique_ptr<KLVChannelNotifier> notifier_;
    std::unique_ptr<ssMediaDecoder3> decoder_;
    // What the last open learned, kept for queries made while the lane works.
    std::atomic<double> timeCodeOffset_{0.0};
    std::atomic<bool> hasTimeCode_{false};
    // Hand-overs whose clip facts were taken (on the presenting thread, as they are reported).
    uint64_t handOversSeen_ = 0;
    // Ended first (its running job finishing) when the engine goes.
    std::unique_ptr<KLVEngineLane> lane_ = std::make_unique<KLVEngineLane>();
};
