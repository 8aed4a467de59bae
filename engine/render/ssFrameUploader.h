#pragma once
// Decoded packed 4:2:2 pictures into rectangle textures of two pixels a texel. The decoder writes
// into the pictures' memory (one aligned buffer for all); the render thread uploads the one it
// draws. The upload copies, so two textures taken in turn serve every picture: a texture of its
// own for each would hold another copy of all of them. A texture is made when first used: card
// frames that go straight to the raster never upload, and on a software driver each texture is
// another picture's worth of memory.
#include "engine/render/ssRenderTypes.h"

#include <array>
#include <cstdint>

class ssFrameUploader
{
public:
    ssFrameUploader() = default;
    ~ssFrameUploader() { Release(); }
    ssFrameUploader(const ssFrameUploader&) = delete;
    ssFrameUploader& operator=(const ssFrameUploader&) = delete;

    // Pictures of w x h, black; their textures come with the first upload. The size is kept even
    // when unusable: 0, or -1 when it is unusable or memory runs out.
    int32_t Create(int32_t width, int32_t height);
    void Release();

    static constexpr int kTextureCount = 2;

    // Picture i, or null before Create.
    ssRenderFrame* Frame(int32_t index);
    // The texture picture i goes up into, made (black) when it is not yet. Render thread, context
    // current.
    uint32_t Texture(int32_t index);
    // Whether the frame is one of these pictures' size and index.
    bool Fits(const ssRenderFrame& frame) const
    {
        return frame.index >= 0 && frame.index < ssRenderUploadCount && frame.width == width_
            && frame.height == height_;
    }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    // Copies the frame's bytes into its texture.
    void Upload(const ssRenderFrame& frame);

private:
    // The texture for picture i, made from `pixels` when it is not yet.
    uint32_t Make(int32_t index, const uint8_t* pixels);

    uint8_t* buffer_ = nullptr;
    std::array<uint32_t, kTextureCount> textures_{};
    std::array<ssRenderFrame, ssRenderUploadCount> frames_{};
    int32_t width_ = 0;
    int32_t height_ = 0;
};
