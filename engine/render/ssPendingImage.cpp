#include "engine/render/ssPendingImage.h"

#include <epoxy/gl.h>

namespace {

void uploadRGBA(uint32_t* texture, int32_t* currentW, int32_t* currentH, int32_t w, int32_t h, const uint8_t* rgba)
{
    if (!*texture) {
        GLuint t = 0;
        glGenTextures(1, &t);
        *texture = t;
        *currentW = 0;
        *currentH = 0;
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, *texture);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (*currentW != w || *currentH != h) {
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        *currentW = w;
        *currentH = h;
    } else {
        glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
}

} // namespace

ssPendingImage::~ssPendingImage()
{
    if (texture) {
        const GLuint t = texture;
        glDeleteTextures(1, &t);
    }
}

void ssPendingImage::Set(int32_t w, int32_t h, const uint8_t* rgba)
{
    if (rgba && w > 0 && h > 0 && w <= 16384 && h <= 16384) {
        pixels.assign(rgba, rgba + size_t(w) * size_t(h) * 4);
        width = w;
        height = h;
    } else {
        pixels.clear();
        width = 0;
        height = 0;
    }
    fresh = true;
}

void ssPendingImage::Upload()
{
    std::lock_guard<std::mutex> hold(lock);
    if (!fresh)
        return;
    fresh = false;
    if (width > 0 && height > 0 && pixels.size() >= size_t(width) * size_t(height) * 4) {
        uploadRGBA(&texture, &textureWidth, &textureHeight, width, height, pixels.data());
    } else if (texture) {
        // An empty image takes the old one away.
        const GLuint t = texture;
        glDeleteTextures(1, &t);
        texture = 0;
        textureWidth = 0;
        textureHeight = 0;
    }
    // The copy is not needed once it is on the GPU.
    pixels.clear();
    pixels.shrink_to_fit();
}

void ssPendingImage::Release()
{
    std::lock_guard<std::mutex> hold(lock);
    if (!texture)
        return;
    // A newer image waiting for its upload replaces this one anyway.
    if (!fresh) {
        pixels.resize(size_t(textureWidth) * size_t(textureHeight) * 4);
        glBindTexture(GL_TEXTURE_RECTANGLE, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_RECTANGLE, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        width = textureWidth;
        height = textureHeight;
        fresh = true;
    }
    const GLuint t = texture;
    glDeleteTextures(1, &t);
    texture = 0;
    textureWidth = 0;
    textureHeight = 0;
}
