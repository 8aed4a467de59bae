#include "engine/render/ssSlateLayer.h"

#include "engine/render/ssPictureQuads.h"
#include "engine/render/ssRenderPrograms.h"
#include "engine/texture/ssTexture.h"

#include <epoxy/gl.h>

void ssSlateLayer::Set(int32_t width, int32_t height, const uint8_t* rgba)
{
    std::lock_guard<std::mutex> hold(image_.lock);
    image_.Set(width, height, rgba);
}

bool ssSlateLayer::UploadImage()
{
    image_.Upload();
    return image_.texture != 0;
}

void ssSlateLayer::Draw(int32_t width, int32_t height, const ssTexture* stock, ssRenderPrograms& programs)
{
    image_.Upload();
    uint32_t texture = image_.texture;
    float sw = float(image_.textureWidth);
    float sh = float(image_.textureHeight);
    if (!texture && stock && stock->glName > 0) {
        texture = uint32_t(stock->glName);
        sw = stock->width;
        sh = stock->height;
    }
    if (!texture || !programs.HasImageProgram())
        return;
    glViewport(0, 0, width, height);
    programs.UseImage(1.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    ssDrawQuad(-1.0f, -1.0f, 1.0f, 1.0f, 0.0f, 0.0f, sw, sh);
}
