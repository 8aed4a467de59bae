#pragma once

// Controls of the virtual card backend, for tests and for running without hardware. Reached through
// IDeckLinkBackend::QueryExtension(kVirtualCardControlName).

#include "platform/decklink/DeckLinkInterfaces.h"

#include <cstdint>
#include <string>

namespace platform {
class MonotonicClock;
}

namespace platform::decklink {

inline constexpr const char* kVirtualCardControlName = "virtual-card-control";
// Environment variable naming the JSON file the virtual cards are read from at load.
inline constexpr const char* kVirtualConfigEnvironmentVariable = "KLV_DECKLINK_VIRTUAL_CONFIG";

struct TapTimecode {
    bool present = false;
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    TimecodeFlags flags = 0;
};

// One frame period of the output, as the card put it out.
struct ShownFrame {
    int64_t tick = 0;                     // frame periods since playback started
    int64_t referencePeriod = 0;          // the period on the house reference every card shares
    TimeValue streamTime = 0;             // in the mode's time scale
    IDeckLinkVideoFrame* frame = nullptr; // null before the first frame; valid during the call only
    bool repeated = false;                // no new frame was due: the previous one stays on air
    CompletionResult result = CompletionResult::Completed; // how this frame is reported
    TapTimecode vitc1, vitc2;             // RP188 as sent (only with RP188 output enabled)
};

// The embedded audio of one frame period, as the card put it out.
struct ConsumedAudio {
    const void* samples = nullptr; // frames x channels interleaved; valid during the call only
    uint32_t frames = 0;           // sample frames of this period (48 kHz)
    uint32_t underrunFrames = 0;   // of them, silence because the buffer ran dry
    uint32_t channels = 0;
    AudioSampleType sampleType = AudioSampleType::Integer16;
    int64_t totalFrames = 0;       // sample frames put out since playback started, this period included
};

// Called on the card's output thread.
class OutputTap {
public:
    virtual void frameShown(const ShownFrame&) {}
    virtual void audioConsumed(const ConsumedAudio&) {}
    // A tap that never reads the audio spares the card a copy of every period's samples.
    virtual bool wantsAudio() const { return true; }

protected:
    virtual ~OutputTap() = default;
};

struct OutputStats {
    int64_t completed = 0, late = 0, dropped = 0, flushed = 0;
    int64_t repeatedTicks = 0;       // frame periods without a new frame
    int64_t audioFrames = 0;         // sample frames put out
    int64_t audioUnderrunFrames = 0; // of them, silence
    int64_t audioCallbacks = 0;      // RenderAudioSamples calls
};

struct InputStats {
    int64_t framesDelivered = 0; // callbacks made
    int64_t framesSkipped = 0;   // frame periods without a callback (gaps, pool exhausted)
};

// The calls whose failure a test can force.
enum class EnableCall { VideoOutput, AudioOutput, VideoInput, AudioInput };

enum class InputFault {
    NoSignal,     // frames flagged as having no input source
    MissingAudio, // frames delivered without an audio packet
    Gap,          // no callback at all for these frame periods
};

class VirtualCardControl {
public:
    // Replaces the cards with those of a JSON configuration; false (and why) when it is invalid.
    // Cards handed out earlier keep working but are no longer listed.
    virtual bool Configure(const std::string& json, std::string* error) = 0;
    // The clock that frame periods are timed by from the next start on; null: real time.
    virtual void SetClock(MonotonicClock* clock) = 0;
    virtual int CardCount() = 0;

    virtual void SetOutputTap(int card, OutputTap* tap) = 0;
    virtual OutputStats GetOutputStats(int card) = 0;
    virtual InputStats GetInputStats(int card) = 0;
    virtual void SetReferenceLocked(int card, bool locked) = 0;
    // The next `times` calls (-1: every call) fail with `result`.
    virtual void FailEnable(int card, EnableCall call, Result result, int times) = 0;
    // Applies to frame periods firstFrame .. firstFrame + frameCount - 1, counted from StartStreams.
    virtual void InjectInputFault(int card, InputFault fault, int64_t firstFrame, int64_t frameCount) = 0;

protected:
    virtual ~VirtualCardControl() = default;
};

} // namespace platform::decklink
