#include "engine/render/ssOverlayLayer.h"

#include "engine/render/ssPictureQuads.h"
#include "engine/render/ssRenderPrograms.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

void ssOverlayLayer::Set(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w, float h)
{
    std::lock_guard<std::mutex> hold(image_.lock);
    image_.Set(width, height, rgba);
    rect_ = {x, y, w, h};
}

void ssOverlayLayer::Fade(int32_t direction, float fadeTime, double frameDuration)
{
    // A fade of no length is a cut: one step covers the whole range.
    const double step = fadeTime > 0.0f ? frameDuration / double(fadeTime) : 1.0;
    fadeStep_.store(float(std::min(step, 1.0)));
    fadeDirection_.store(direction > 0 ? 1 : direction < 0 ? -1 : 0);
}

bool ssOverlayLayer::Prepare(bool advance, bool canDraw)
{
    {
        std::lock_guard<std::mutex> hold(image_.lock);
        std::memcpy(drawRect_.data(), rect_.data(), sizeof drawRect_);
    }
    image_.Upload();
    int32_t direction = fadeDirection_.load();
    if (advance && direction != 0) {
        // Snap within half a step of either end, so a fade of n steps ends on its n-th frame
        // however the steps round.
        const float step = fadeStep_.load();
        float opacity = opacity_.load() + step * float(direction);
        if (opacity >= 1.0f - 0.5f * step)
            opacity = 1.0f;
        if (opacity <= 0.5f * step)
            opacity = 0.0f;
        opacity_.store(opacity);
        if (direction < 0 && opacity == 0.0f)
            fadeDirection_.compare_exchange_strong(direction, 0);
    }
    const float* rect = drawRect_.data();
    return image_.texture && opacity_.load() > 0.0f && canDraw && rect[2] > 0.0f && rect[3] > 0.0f;
}

void ssOverlayLayer::Draw(int32_t width, int32_t height, int32_t outputWidth, int32_t outputHeight,
    ssRenderPrograms& programs)
{
    const float opacity = opacity_.load();
    const float W = float(outputWidth);
    const float H = float(outputHeight);
    const float* rect = drawRect_.data();
    glViewport(0, 0, width, height);
    programs.UseImage(opacity);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_RECTANGLE, image_.texture);
    glEnable(GL_BLEND);
    // The picture's alpha stays opaque; only its colour takes the overlay.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    const float x0 = rect[0] / W * 2.0f - 1.0f;
    const float y0 = rect[1] / H * 2.0f - 1.0f;
    const float x1 = (rect[0] + rect[2]) / W * 2.0f - 1.0f;
    const float y1 = (rect[1] + rect[3]) / H * 2.0f - 1.0f;
    ssDrawQuad(x0, y0, x1, y1, 0.0f, 0.0f, float(image_.textureWidth), float(image_.textureHeight));
    glDisable(GL_BLEND);
}
