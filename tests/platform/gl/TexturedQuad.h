#pragma once
// Test drawing: the whole viewport cleared to black and covered with a 2 x 2 rectangle texture;
// and the first texel of a rectangle texture read back. Include after epoxy.
#include <cstdint>

inline void drawTexturedQuad(GLuint texture)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_RECTANGLE);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(2, 0);
    glVertex2f(1, -1);
    glTexCoord2f(2, 2);
    glVertex2f(1, 1);
    glTexCoord2f(0, 2);
    glVertex2f(-1, 1);
    glEnd();
}

// RGBA of texel (0, 0) of a rectangle texture, read through a framebuffer of the current context.
inline void readFirstTexel(GLuint texture, uint8_t* rgba)
{
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE, texture, 0);
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
}
