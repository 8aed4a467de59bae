#pragma once
// Field handling: which decoded frames are deinterlaced into two output frames and which are
// woven in pairs into one interlaced output frame, the frame numbers from the movie's timing, and
// the parity that picks each field's intermediate. The setters may be called from any thread;
// the rest runs on the render thread.
#include <atomic>
#include <cstdint>

class ssRenderPrograms;
class ssRenderTargets;

// How one decoded frame or field is drawn.
struct ssFieldPass {
    bool weave = false;     // woven with its partner into the output frame
    bool hold = false;      // waits in its intermediate for the partner: no output frame yet
    bool evenLines = true;  // the field drawn: DeinterlaceEven, else DeinterlaceOdd
    double slotTime = 0.0;  // when the output frame is shown
};

class ssFieldWeaver
{
public:
    // Any thread.
    void SetFrameDuration(double seconds);
    void SetInterlace(int32_t deinterlaceMode, int32_t interlaceFlag);
    void SetPostSeekFrames(int32_t frames) { postSeekFrames_.store(frames); }
    double FrameDuration() const { return frameDuration_.load(); }
    int32_t FrameNumber() const { return frameNumber_.load(); }

    // A whole frame at `time`. Under the interlace flag (not for a slate, which stands alone) an
    // even frame only fills its field and the odd one after it is woven.
    ssFieldPass PlanFrame(double time, bool slate);
    // One field of the frame at `time`: the second is shown half a frame later.
    ssFieldPass PlanField(double time, bool firstField);

    // The intermediate the next picture is drawn into; cleared once it is drawn.
    int32_t Parity() const { return parity_; }
    void ClearParity() { parity_ = 0; }

    // Binds the pass into the packed raster: the two intermediates woven, the earlier frame on the
    // upper field (the lower one on a 486-line raster), or the one drawn. xInc as UseOutput's.
    void BindOutputPass(ssRenderPrograms& programs, ssRenderTargets& targets, bool weave, int32_t drawn,
        bool line486, float xInc) const;

private:
    // The render thread's own.
    int32_t parity_{0};
    std::atomic<double> frameDuration_{1.0 / 30.0};
    std::atomic<int32_t> deinterlaceMode_{0};
    std::atomic<int32_t> interlaceFlag_{0};
    std::atomic<int32_t> postSeekFrames_{0};
    // Written by the render thread, read by any.
    std::atomic<int32_t> frameNumber_{0};
};
