#pragma once
// What the renderer draws into: two full-resolution intermediates for decoded pictures (one per
// field of a woven frame), the packed output raster read back for a card, and one target per
// output slot. Render thread, except the ready flag.
#include "engine/render/ssRenderTypes.h"

#include <array>
#include <atomic>
#include <cstdint>

// Video-range black: full-resolution (Y, Cb, Cr, A) and packed 4:2:2 (Cr, Y0, Cb, Y1).
inline constexpr float ssBlackYCbCr[4] = {16.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f, 1.0f};
inline constexpr float ssBlackPacked[4] = {128.0f / 255.0f, 16.0f / 255.0f, 128.0f / 255.0f, 16.0f / 255.0f};

// A rectangle texture of w x h RGBA8 texels with a framebuffer drawing into it, cleared to colour.
void ssMakeRenderTarget(int32_t w, int32_t h, int32_t filter, const float* colour, uint32_t* texture,
    uint32_t* framebuffer);
// Frees both (either may be 0) and zeroes them.
void ssDeleteRenderTarget(uint32_t* texture, uint32_t* framebuffer);

// 32-byte aligned memory for pictures, released with std::free; null when it runs out.
uint8_t* ssAlignedPictureBlock(size_t bytes);

class ssRenderTargets
{
public:
    ~ssRenderTargets() { Release(); }

    // The size of the packed raster for an output of outputWidth x outputHeight pixels, and of the
    // intermediates for pictures of w x h. Each is made when first drawn into: a card frame that
    // goes straight from the upload to the raster needs no intermediate, a progressive one only
    // the first (each is a full-resolution 4:4:4 picture), and one copied into its slot neither.
    void CreatePasses(int32_t width, int32_t height, int32_t outputWidth, int32_t outputHeight);
    // One target per slot for an output raster of W x H, its texture of textureWidth x
    // textureHeight: a screen's full-resolution frame, or a card's preview copy beside the frame
    // bytes (slotPixels[i] when given). 0, or -1 when memory runs out.
    int32_t CreateSlots(int32_t textureWidth, int32_t textureHeight, int32_t width, int32_t height,
        bool textureOutput, uint8_t* const* slotPixels);
    // Marks the targets unready first, then frees them with the slots' own bytes and fences.
    void Release();

    ssRenderSlot* Slot(int32_t index);
    uint32_t IntermediateTexture(int32_t parity);
    uint32_t IntermediateFramebuffer(int32_t parity);
    // Made when first drawn into: a card frame copied straight into its slot needs none.
    uint32_t OutputFramebuffer();
    // Any thread: whether the slots are made.
    int32_t Ready() const { return ready_.load(); }

private:
    void MakeIntermediate(int32_t parity);

    std::array<uint32_t, 2> intermediateFramebuffers_{};
    std::array<uint32_t, 2> intermediateTextures_{};
    int32_t intermediateWidth_ = 0;
    int32_t intermediateHeight_ = 0;
    int32_t outputWidth_ = 0;
    int32_t outputHeight_ = 0;
    uint32_t outputFramebuffer_ = 0;
    uint32_t outputTexture_ = 0;
    std::array<ssRenderSlot, ssRenderSlotCount> slots_{};
    std::atomic<int32_t> ready_{0};
};
