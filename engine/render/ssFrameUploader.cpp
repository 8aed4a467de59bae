#include "engine/render/ssFrameUploader.h"

#include "engine/render/ssRectangleTexture.h"
#include "engine/render/ssRenderTargets.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <vector>

int32_t ssFrameUploader::Create(int32_t width, int32_t height)
{
    Release();
    width_ = width;
    height_ = height;
    if (width <= 0 || height <= 0 || width % 2 != 0 || width > 16384 || height > 16384)
        return -1;
    const int32_t rowBytes = width * 2;
    const size_t frameBytes = (size_t(rowBytes) * size_t(height) + 31) & ~size_t(31);
    buffer_ = ssAlignedPictureBlock(frameBytes * ssRenderUploadCount + 256);
    if (!buffer_)
        return -1;
    for (int i = 0; i < ssRenderUploadCount; ++i) {
        ssRenderFrame& frame = frames_[size_t(i)];
        frame = ssRenderFrame{};
        frame.pixels = buffer_ + frameBytes * size_t(i);
        frame.rowBytes = rowBytes;
        frame.width = width;
        frame.height = height;
        frame.index = i;
        ssFillBlack2vuy(frame.pixels, frameBytes);
    }
    return 0;
}

uint32_t ssFrameUploader::Make(int32_t index, const uint8_t* pixels)
{
    uint32_t& texture = textures_[size_t(index) % kTextureCount];
    if (!texture && width_ > 0 && height_ > 0) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        ssAllocateRectangleTexture(&texture, width_ / 2, height_, GL_NEAREST, pixels);
    }
    return texture;
}

uint32_t ssFrameUploader::Texture(int32_t index)
{
    if (textures_[size_t(index) % kTextureCount])
        return textures_[size_t(index) % kTextureCount];
    // Drawn before anything went up (a second field first): black, as a new picture is.
    std::vector<uint8_t> black(size_t(width_) * size_t(height_) * 2);
    ssFillBlack2vuy(black.data(), black.size());
    return Make(index, black.data());
}

void ssFrameUploader::Release()
{
    for (auto& texture : textures_) {
        if (texture) {
            const GLuint t = texture;
            glDeleteTextures(1, &t);
        }
        texture = 0;
    }
    for (auto& frame : frames_)
        frame = ssRenderFrame{};
    std::free(buffer_);
    buffer_ = nullptr;
}

ssRenderFrame* ssFrameUploader::Frame(int32_t index)
{
    if (index < 0 || index >= ssRenderUploadCount || !frames_[size_t(index)].pixels)
        return nullptr;
    return &frames_[size_t(index)];
}

void ssFrameUploader::Upload(const ssRenderFrame& frame)
{
    // A new texture is made from the frame itself.
    if (!textures_[size_t(frame.index) % kTextureCount] && frame.rowBytes == frame.width * 2) {
        Make(frame.index, frame.pixels);
        return;
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, Texture(frame.index));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, frame.rowBytes / 4);
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, frame.width / 2, frame.height, GL_BGRA,
        GL_UNSIGNED_INT_8_8_8_8_REV, frame.pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}
