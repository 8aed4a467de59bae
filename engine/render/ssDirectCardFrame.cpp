#include "engine/render/ssDirectCardFrame.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

bool ssIsSoftwareRenderer(const char* renderer)
{
    if (!renderer)
        return true; // nothing known about it: take the way that needs nothing of it
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "software", "lavapipe", "swr"}) {
        const size_t length = std::strlen(name);
        for (const char* p = renderer; *p; ++p)
            if (strncasecmp(p, name, length) == 0)
                return true;
    }
    return false;
}

ssCardFrameWay ssCardFrameWayFromEnvironment()
{
    const char* value = std::getenv("KLV_CARD_FRAMES");
    if (value && strcasecmp(value, "gl") == 0)
        return ssCardFrameWay::ThroughGL;
    if (value && strcasecmp(value, "direct") == 0)
        return ssCardFrameWay::Direct;
    return ssCardFrameWay::Automatic;
}

void ssDirectCardFrame::SetPreviewSize(int32_t width, int32_t height)
{
    previewWidth_ = std::max(width, 0);
    previewHeight_ = std::max(height, 0);
    preview_.assign(size_t(previewWidth_) * size_t(previewHeight_) * 4, 0);
    columns_.assign(size_t(previewWidth_), 0);
    if (preview_.empty()) {
        preview_.shrink_to_fit();
        columns_.shrink_to_fit();
    }
}

void ssDirectCardFrame::Copy(const ssRenderFrame& frame, ssRenderSlot* slot)
{
    const size_t rowBytes = size_t(frame.width) * 2;
    if (size_t(frame.rowBytes) == rowBytes && size_t(slot->rowBytes) == rowBytes) {
        std::memcpy(slot->pixels, frame.pixels, rowBytes * size_t(frame.height));
    } else {
        for (int32_t r = 0; r < frame.height; ++r)
            std::memcpy(slot->pixels + size_t(r) * size_t(slot->rowBytes),
                frame.pixels + size_t(r) * size_t(frame.rowBytes), rowBytes);
    }
    slot->width = frame.width;
    slot->height = frame.height;
}

void ssDirectCardFrame::Preview(const ssRenderFrame& frame, ssRenderSlot* slot)
{
    if (!slot->previewTexture || previewWidth_ <= 0 || previewHeight_ <= 0 || frame.width < 2)
        return;
    const int32_t pairs = frame.width / 2;
    for (int32_t i = 0; i < previewWidth_; ++i)
        columns_[size_t(i)] = std::min(int32_t((double(i) + 0.5) * frame.width / previewWidth_), frame.width - 1);
    uint8_t* out = preview_.data();
    for (int32_t j = 0; j < previewHeight_; ++j) {
        const int32_t row = std::min(int32_t((double(j) + 0.5) * frame.height / previewHeight_), frame.height - 1);
        const uint8_t* line = frame.pixels + size_t(row) * size_t(frame.rowBytes);
        for (int32_t i = 0; i < previewWidth_; ++i, out += 4) {
            const int32_t column = columns_[size_t(i)];
            const int32_t pair = column / 2;
            const uint8_t* px = line + size_t(pair) * 4; // Cb Y0 Cr Y1
            if ((column & 1) == 0) {
                out[0] = px[1];
                out[1] = px[0];
                out[2] = px[2];
            } else {
                // An odd pixel has no chroma sample: halfway to the next pair's (the edge repeats).
                const uint8_t* next = line + size_t(std::min(pair + 1, pairs - 1)) * 4;
                out[0] = px[3];
                out[1] = uint8_t((px[0] + next[0] + 1) / 2);
                out[2] = uint8_t((px[2] + next[2] + 1) / 2);
            }
            out[3] = 255;
        }
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, slot->previewTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, previewWidth_, previewHeight_, GL_RGBA, GL_UNSIGNED_BYTE,
        preview_.data());
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
}
