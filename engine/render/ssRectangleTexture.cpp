#include "engine/render/ssRectangleTexture.h"

#include <epoxy/gl.h>

void ssAllocateRectangleTexture(uint32_t* texture, int32_t width, int32_t height, int32_t filter, const void* pixels)
{
    if (*texture == 0) {
        GLuint made = 0;
        glGenTextures(1, &made);
        *texture = made;
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, *texture);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
}
