#include "engine/render/ssRenderTargets.h"

#include "engine/render/ssRectangleTexture.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
// The packed black as the bytes of one '2vuy' pixel pair (Cb Y0 Cr Y1).
constexpr uint8_t kBlack2vuy[4] = {128, 16, 128, 16};
} // namespace

void ssFillBlack2vuy(uint8_t* pixels, size_t bytes)
{
    for (size_t i = 0; i + 4 <= bytes; i += 4)
        std::memcpy(pixels + i, kBlack2vuy, 4);
}

uint8_t* ssAlignedPictureBlock(size_t bytes)
{
    void* block = nullptr;
    return posix_memalign(&block, 32, bytes) == 0 ? static_cast<uint8_t*>(block) : nullptr;
}

void ssMakeRenderTarget(int32_t w, int32_t h, int32_t filter, const float* colour, uint32_t* texture,
    uint32_t* framebuffer)
{
    uint32_t t = 0;
    GLuint f = 0;
    ssAllocateRectangleTexture(&t, w, h, filter, nullptr);
    glGenFramebuffers(1, &f);
    glBindFramebuffer(GL_FRAMEBUFFER, f);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE, t, 0);
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    *texture = t;
    *framebuffer = f;
}

void ssDeleteRenderTarget(uint32_t* texture, uint32_t* framebuffer)
{
    if (*framebuffer) {
        const GLuint f = *framebuffer;
        glDeleteFramebuffers(1, &f);
    }
    if (*texture) {
        const GLuint t = *texture;
        glDeleteTextures(1, &t);
    }
    *texture = 0;
    *framebuffer = 0;
}

void ssRenderTargets::CreatePasses(int32_t width, int32_t height, int32_t outputWidth, int32_t outputHeight)
{
    intermediateWidth_ = width;
    intermediateHeight_ = height;
    outputWidth_ = outputWidth;
    outputHeight_ = outputHeight;
}

uint32_t ssRenderTargets::OutputFramebuffer()
{
    if (!outputFramebuffer_ && outputWidth_ > 0 && outputHeight_ > 0)
        ssMakeRenderTarget(outputWidth_ / 2, outputHeight_, GL_NEAREST, ssBlackPacked, &outputTexture_, &outputFramebuffer_);
    return outputFramebuffer_;
}

void ssRenderTargets::MakeIntermediate(int32_t parity)
{
    const size_t p = size_t(parity & 1);
    if (!intermediateFramebuffers_[p] && intermediateWidth_ > 0 && intermediateHeight_ > 0)
        ssMakeRenderTarget(intermediateWidth_, intermediateHeight_, GL_LINEAR, ssBlackYCbCr, &intermediateTextures_[p],
            &intermediateFramebuffers_[p]);
}

uint32_t ssRenderTargets::IntermediateTexture(int32_t parity)
{
    MakeIntermediate(parity);
    return intermediateTextures_[size_t(parity & 1)];
}

uint32_t ssRenderTargets::IntermediateFramebuffer(int32_t parity)
{
    MakeIntermediate(parity);
    return intermediateFramebuffers_[size_t(parity & 1)];
}

int32_t ssRenderTargets::CreateSlots(int32_t textureWidth, int32_t textureHeight, int32_t width, int32_t height,
    bool textureOutput, uint8_t* const* slotPixels)
{
    for (int i = 0; i < ssRenderSlotCount; ++i) {
        ssRenderSlot& slot = slots_[size_t(i)];
        slot.textureIndex = i;
        slot.width = width;
        slot.height = height;
        slot.time = 0.0;
        if (textureOutput) {
            ssMakeRenderTarget(textureWidth, textureHeight, GL_LINEAR, ssBlackYCbCr, &slot.texture,
                &slot.framebuffer);
            slot.byteSize = size_t(width) * size_t(height) * 4;
            continue;
        }
        ssMakeRenderTarget(textureWidth, textureHeight, GL_LINEAR, ssBlackYCbCr, &slot.previewTexture,
            &slot.previewFramebuffer);
        slot.byteSize = size_t(width) * size_t(height) * 2;
        slot.rowBytes = width * 2;
        if (slotPixels && slotPixels[i]) {
            slot.pixels = slotPixels[i];
            slot.ownsPixels = false;
        } else {
            slot.pixels = ssAlignedPictureBlock(slot.byteSize);
            slot.ownsPixels = slot.pixels != nullptr;
            if (!slot.pixels)
                return -1;
        }
        ssFillBlack2vuy(slot.pixels, slot.byteSize);
    }
    ready_.store(1);
    return 0;
}

void ssRenderTargets::Release()
{
    ready_.store(0);
    for (size_t p = 0; p < 2; ++p)
        ssDeleteRenderTarget(&intermediateTextures_[p], &intermediateFramebuffers_[p]);
    intermediateWidth_ = 0;
    intermediateHeight_ = 0;
    outputWidth_ = 0;
    outputHeight_ = 0;
    ssDeleteRenderTarget(&outputTexture_, &outputFramebuffer_);
    for (auto& slot : slots_) {
        ssDeleteRenderTarget(&slot.texture, &slot.framebuffer);
        ssDeleteRenderTarget(&slot.previewTexture, &slot.previewFramebuffer);
        if (slot.ownsPixels)
            std::free(slot.pixels);
        slot.pixels = nullptr;
        slot.ownsPixels = false;
        std::lock_guard<std::mutex> hold(slot.fenceLock);
        if (slot.fence)
            glDeleteSync(static_cast<GLsync>(slot.fence));
        slot.fence = nullptr;
    }
}

ssRenderSlot* ssRenderTargets::Slot(int32_t index)
{
    if (index < 0 || index >= ssRenderSlotCount)
        return nullptr;
    return &slots_[size_t(index)];
}
