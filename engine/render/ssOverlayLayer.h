#pragma once
// The graphic overlay: an RGBA image composited over the picture in a rectangle of the output
// raster, with its opacity moved a step a frame while it fades. Set and faded from any thread;
// prepared and drawn on the render thread.
#include "engine/render/ssPendingImage.h"

#include <array>
#include <atomic>
#include <cstdint>

class ssRenderPrograms;

class ssOverlayLayer
{
public:
    // Any thread. The rectangle is in output pixels from the top-left of the raster.
    void Set(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w, float h);
    // Fades in (direction > 0) or out over fadeTime seconds of frames of frameDuration.
    void Fade(int32_t direction, float fadeTime, double frameDuration);
    float Opacity() const { return opacity_.load(); }
    int32_t FadeDirection() const { return fadeDirection_.load(); }

    // Uploads a new image and moves the fade on a frame when advance is set; true when the
    // overlay is to be drawn on this frame (canDraw: the program and an output raster exist).
    bool Prepare(bool advance, bool canDraw);
    // Composites the prepared overlay over a picture of w x h for an output of W x H.
    void Draw(int32_t width, int32_t height, int32_t outputWidth, int32_t outputHeight, ssRenderPrograms& programs);
    // Render thread: the texture goes, the image, rectangle and opacity stay for the next upload.
    void ReleaseTexture() { image_.Release(); }

private:
    ssPendingImage image_;
    std::array<float, 4> rect_{}; // under image_.lock
    std::array<float, 4> drawRect_{}; // render thread: the rectangle of this frame
    std::atomic<float> opacity_{0.0f};
    std::atomic<float> fadeStep_{0.0f};
    std::atomic<int32_t> fadeDirection_{0};
};
