#pragma once
// The playback engine as the application's controllers use it: one channel's (or the inspector's)
// transport, range, audio, output and slate. KLVDecoderEngine is the real one over ssMediaDecoder3;
// tests use a scripted fake. Result codes are the engine's: 0 success, -1 refused, negative
// FFmpeg errors passed through.

#include <cstdint>
#include <functional>
#include <string>

class ssBaseOutput;
class ssMediaDecoder3;

class KLVPlaybackEngine {
public:
    virtual ~KLVPlaybackEngine() = default;

    // An empty path closes the open file. Paths are UTF-8 of any length. Without showFirstFrame
    // nothing of the file is shown until the first seek (a cue that starts at its in point).
    virtual int32_t Open(const std::string& path, bool hasPreview, bool showFirstFrame) = 0;
    // Runs job with this engine after every operation asked for before it; job calls the engine
    // directly. An engine with a thread for its slow work (opening, seeking) runs it there and
    // returns at once: operations asked for meanwhile follow it in order, and their results
    // are then 0 (taken). An engine without one runs it here.
    virtual void Enqueue(std::function<void(KLVPlaybackEngine&)> job) { job(*this); }
    // Work asked for has not finished yet (BuffersReady answers false meanwhile).
    virtual bool IsBusy() const { return false; }
    virtual int32_t Play() = 0;
    virtual int32_t Pause() = 0;
    virtual int32_t Stop() = 0;
    virtual int32_t Seek(double seconds, int32_t scrub) = 0;
    // From a job (see Enqueue): waits, bounded, until the output shows the position the open or
    // seek before went to (or the slate standing for it).
    virtual void WaitForPositionShown() {}
    virtual int32_t StepForward() = 0;
    virtual int32_t StepBackward() = 0;
    virtual int32_t AdjustForward() = 0;
    virtual int32_t AdjustBackward() = 0;
    virtual int32_t SetInPoint(double seconds) = 0;
    // -1 and nothing changes when the out point is not after the in point.
    virtual int32_t SetOutPoint(double seconds) = 0;
    virtual int32_t SetInOutPoints(double in, double out) = 0;
    virtual int32_t SetPlaybackBehavior(int32_t behaviour) = 0;
    virtual int32_t SetVolume(float volume) = 0;
    virtual int32_t SetAudioDelay(int32_t milliseconds) = 0;
    virtual int32_t SetAudioOutput(int32_t kind) = 0; // 0 computer audio, 1 SDI embedded
    virtual int32_t GetAudioOutput() const = 0;
    virtual int32_t SetSyncMode(int32_t flag) = 0;
    virtual int32_t SetTimeCodeOutput(int32_t mode) = 0; // 0 none, 1 elapsed, 2 remaining
    virtual int32_t SetShowSlate(int32_t flag) = 0;
    virtual int32_t SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba) = 0;
    virtual void SetAnamorphic(int32_t flag) = 0;
    // Follows master's clock offset seconds behind it; null unlinks.
    virtual int32_t SetMaster(KLVPlaybackEngine* master, double offset) = 0;
    // A playing slave that goes round with its looping master by itself: at the master's seam it
    // is already on its in point, and a seek there would only cost it a period.
    virtual bool PassesSeamsWithMaster() { return false; }
    virtual int32_t SetOutputDevice(ssBaseOutput* device, int32_t modeIndex) = 0;
    virtual void SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w,
                                 float h) = 0;
    virtual void FadeOverlay(int32_t direction, float fadeTime) = 0;
    // Called (from an engine thread) when the play range's end is reached; the callee hops to main.
    virtual void SetEndpointReached(std::function<void()> callback) = 0;

    // The cue that follows the open one at the end of its range (behaviour 2), opened ahead so
    // that its first frame follows the last one without a gap; it then goes on air by itself and
    // is reported as the end of the range, with HandOvers() counted on. 0 when prepared; an engine
    // that cannot (or a clip that cannot follow so) leaves it to the end of the range.
    virtual int32_t PrepareNext(const std::string& path, double in, double out, int32_t behaviour)
    {
        (void)path, (void)in, (void)out, (void)behaviour;
        return -1;
    }
    virtual void ClearNext() {}
    virtual uint64_t HandOvers() const { return 0; }

    virtual bool BuffersReady() = 0;
    virtual bool IsFileOpen() const = 0;
    virtual double GetCurrentTime() const = 0;
    virtual double GetDuration() const = 0;
    virtual float GetFrameRate() const = 0;
    virtual double GetInPoint() const = 0;
    virtual double GetOutPoint() const = 0;
    virtual double GetTimeCodeOffset() const = 0;
    virtual bool HasTimeCode() const = 0;
    virtual std::string GetCurrentTimeCodeString() = 0;
    virtual std::string GetRemainingTimeCodeString() = 0;
    virtual int32_t HasReference() const = 0;
    virtual void GetOutputSize(int32_t* width, int32_t* height) const = 0;
    // Into the calling thread's current context (shared with the engine's), backing pixels.
    virtual int32_t DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    // Any thread: changes whenever what DrawPreview draws changes.
    virtual uint64_t PreviewStamp() = 0;

    // The real engine behind this port, when there is one (outputs and recording need it).
    virtual ssMediaDecoder3* decoder() { return nullptr; }
};
