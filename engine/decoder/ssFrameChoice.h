#pragma once
// The presenting side's choice of the frame to show now: early frames wait, late ones are dropped,
// a frame far behind the clock asks for a re-base, and the frames right after a seek or an open
// are consumed before one is shown. Kept apart from the engine so that the rules can be driven
// with any ring and any clock.

#include "engine/decoder/ssDecoderTypes.h"
#include "engine/output/ssOutputPeriod.h"

#include <atomic>
#include <cmath>
#include <cstdint>

// What the choice needs of the frame ring, for the presenting reader.
class ssPresentRing {
public:
    virtual ~ssPresentRing() = default;
    // The next frame without consuming it, or null (no wait).
    virtual ssFrameTarget* Peek() = 0;
    // Consumes the next frame, waiting up to `milliseconds` for one; null when none came.
    virtual ssFrameTarget* Take(int32_t milliseconds) = 0;
};

// Presentation state shared between the presenting thread, the reader and the transport.
struct ssPresentState {
    // Frames the presenting side takes after a seek or an open before the next one is shown.
    std::atomic<int32_t> countdown{0};
    // The next frame re-bases the current time (and, without audio, the audio clock).
    std::atomic<int32_t> resync{0};
    // The reader wrapped to the in point at the end of the file.
    std::atomic<int32_t> loopPending{0};
    // Time of the last frame the presenting side took (its position in the file).
    std::atomic<double> currentTime{0.0};
    // The same frame's time as the ring carries it: a loop's later passes count on from the first.
    std::atomic<double> frameTime{0.0};
    // The same frame was a slate standing for its picture, which has not been on air yet.
    std::atomic<bool> slateTaken{false};
    // Presenting calls that found the ring empty while playing.
    std::atomic<int32_t> missedFrames{0};
};

// The play range and frame timing the choice works with.
struct ssPresentTiming {
    double frameStep = 1.0 / 29.97;
    double frameRate = 29.97;
    double inPoint = 0.0;
    double outPoint = 0.0;
    // Length of one pass of a loop the reader wraps (0: none yet). Frames of later passes carry
    // times moved on by whole passes; the position they show is folded back into the pass.
    double loopLength = 0.0;
    // Where the file's timeline starts: a slave that left its master's loop plays on through its
    // file from the pass it kept, whose frames were moved on by this much.
    double timelineBase = 0.0;
    // No frame before the out point is still on its way (the decoder gave back all it will): an
    // empty ring near the out point is then the end of the range. A decoder that is only late
    // leaves it false, and its frames still air. A loop's frames never stop coming: a pass ends
    // on its last frame, never early because the next one was late (a linked slave that does not
    // go round with it is sought to the in point at that end).
    bool rangeReadOut = false;
};

// The position in the file of a frame time, folding the passes of a loop back.
inline double ssFoldLoopTime(double time, const ssPresentTiming& timing)
{
    time -= timing.timelineBase;
    if (timing.loopLength <= 0.0 || time < timing.inPoint + timing.loopLength - 0.5 * timing.frameStep)
        return time;
    const double passes = std::floor((time - timing.inPoint + 0.5 * timing.frameStep) / timing.loopLength);
    return time - passes * timing.loopLength;
}

struct ssFrameChoice {
    ssFrameTarget* frame = nullptr; // the frame to show; null: nothing new
    bool taken = false;             // a frame was taken from the ring (frame statistics)
    bool rebased = false;           // the clock is to be re-based to rebaseTime
    double rebaseTime = 0.0;
    bool endReached = false;        // the end of the play range was reached
};

// After a seek or an open the first frame taken is the target frame and is shown.
inline constexpr int32_t ssPostSeekFrames = 1;

// True when two engine times name the same frame (within half a frame step).
inline bool ssSameFrameTime(double a, double b, double frameStep)
{
    const double difference = a - b;
    return difference < 0.5 * frameStep && difference > -0.5 * frameStep;
}

// readerState: the reader's state word; clock: the playback clock now.
ssFrameChoice ssChooseFrame(ssPresentRing& ring, double clock, int32_t readerState, const ssPresentTiming& timing,
                            ssPresentState& state);

// True when a frame is the last one of the play range (the out point names the last frame's time).
inline bool ssIsLastInRange(double frameTime, const ssPresentTiming& timing)
{
    return timing.outPoint != 0.0 && frameTime >= timing.outPoint - 0.5 * timing.frameStep;
}

// The choice for a card period: clipClock is the clip time of the period (the play start's clip
// time plus the periods since, so every frame stays on air for whole periods in the clip's
// cadence); the newest frame due by then goes on air, frames before it that no period will show
// are passed over, and nothing is shown while the next frame is not due yet. A frame is due when
// its time is at most a quarter period past the period's clip time.
ssFrameChoice ssChoosePacedFrame(ssPresentRing& ring, double clipClock, double period, int32_t readerState,
                                 const ssPresentTiming& timing, ssPresentState& state);
