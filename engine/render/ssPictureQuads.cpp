#include "engine/render/ssPictureQuads.h"

#include "engine/render/ssLetterbox.h"

#include <epoxy/gl.h>

void ssDrawQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1)
{
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glEnd();
}

void ssPictureQuads::Release()
{
    for (uint32_t* list : {&fullFrameList_, &letterboxList_}) {
        if (*list)
            glDeleteLists(*list, 1);
        *list = 0;
    }
    valid_.store(false);
}

void ssPictureQuads::SetDisplaySize(int32_t width, int32_t height)
{
    displayWidth_.store(width);
    displayHeight_.store(height);
    valid_.store(false);
}

void ssPictureQuads::SetAnamorphic(int32_t flag)
{
    anamorphic_.store(flag);
    valid_.store(false);
}

void ssPictureQuads::Build(int32_t frameWidth, int32_t frameHeight, float t0, int32_t outputWidth,
    int32_t outputHeight)
{
    if (valid_.load() && width_ == frameWidth && height_ == frameHeight && t0_ == t0)
        return;
    if (!fullFrameList_)
        fullFrameList_ = glGenLists(1);
    if (!letterboxList_)
        letterboxList_ = glGenLists(1);
    const float w = float(frameWidth);
    const float h = float(frameHeight);
    glNewList(fullFrameList_, GL_COMPILE);
    ssDrawQuad(-1.0f, -1.0f, 1.0f, 1.0f, 0.0f, -t0, w, h - t0);
    glEndList();
    const int32_t dw = displayWidth_.load() > 0 ? displayWidth_.load() : frameWidth;
    const int32_t dh = displayHeight_.load() > 0 ? displayHeight_.load() : frameHeight;
    const ssLetterboxMargins m = ssComputeLetterbox(anamorphic_.load(), outputWidth, outputHeight, dw, dh);
    const float l = float(m.horizontal);
    const float v = float(m.vertical);
    glNewList(letterboxList_, GL_COMPILE);
    ssDrawQuad(l - 1.0f, v - 1.0f, 1.0f - l, 1.0f - v, 0.0f, 0.0f, w, h);
    glEndList();
    letterboxFills_ = l <= 0.0f && v <= 0.0f;
    width_ = frameWidth;
    height_ = frameHeight;
    t0_ = t0;
    valid_.store(true);
}

void ssPictureQuads::DrawFullFrame() const
{
    glCallList(fullFrameList_);
}

void ssPictureQuads::DrawLetterboxed() const
{
    glCallList(letterboxList_);
}
