#include "engine/render/ssRenderPreview.h"

#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssFont.h"
#include "engine/render/ssAudioMeters.h"
#include "engine/render/ssPictureQuads.h"
#include "engine/render/ssRenderPrograms.h"
#include "engine/render/ssRenderTypes.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <utility>

namespace {
constexpr const char* kNoOutput = "No Output Device Selected";
} // namespace

ssRenderPreview::ssRenderPreview(std::string resourceDir) : resourceDir_(std::move(resourceDir)) {}

ssRenderPreview::~ssRenderPreview()
{
    // With the engine, after the view stopped drawing; without a context (an engine that never
    // had one) the name stays with its share group.
    if (program_.program && ssGLContext::AnyCurrent())
        ssDeleteShader(&program_);
}

void ssRenderPreview::SetSize(int32_t pictureWidth, int32_t pictureHeight, bool textureOutput)
{
    if (textureOutput) {
        width_ = pictureWidth;
        height_ = pictureHeight;
    } else {
        width_ = std::max(pictureWidth / 3, 1);
        height_ = std::max(pictureHeight / 3, 1);
    }
}

void ssRenderPreview::Copy(ssRenderSlot* slot, uint32_t source, int32_t width, int32_t height,
    ssRenderPrograms& programs, ssColourProgram* conversion) const
{
    if (!slot->previewFramebuffer)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, slot->previewFramebuffer);
    glViewport(0, 0, width_, height_);
    glActiveTexture(GL_TEXTURE0);
    if (conversion) {
        programs.UseColour(*conversion);
    } else {
        glUseProgram(0);
        glEnable(GL_TEXTURE_RECTANGLE);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, source);
    ssDrawQuad(-1.0f, -1.0f, 1.0f, 1.0f, 0.0f, 0.0f, float(width), float(height));
    if (conversion)
        glUseProgram(0);
    else
        glDisable(GL_TEXTURE_RECTANGLE);
}

int32_t ssRenderPreview::Draw(int32_t x, int32_t y, int32_t width, int32_t height, const ssPreviewInput& input,
    bool showMeters)
{
    if (width <= 1 || height <= 0)
        return 0;
    if (!input.hasOutput && !display_) {
        // Made once; its set-up clears the drawable, so before anything is drawn.
        display_ = std::make_unique<ssDisplayGL>(1.0f, resourceDir_.c_str());
        display_->Init(width - 1, height, 32, 0);
        font_ = display_->LoadFont("Arial13", "", "misc.ark");
    }
    glViewport(x, y, width - 1, height);
    glUseProgram(0);
    glDisable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(0.12f, 0.12f, 0.12f);
    ssFillRect(-1.0f, -1.0f, 1.0f, 1.0f);

    if (!input.hasOutput) {
        display_->Resize(width - 1, height);
        glViewport(x, y, width - 1, height);
        int32_t textWidth = 0;
        int32_t textHeight = 0;
        display_->MeasureText(font_, kNoOutput, &textWidth, &textHeight, 0);
        if (font_)
            font_->DrawText(0xFFFFFFFFu, kNoOutput, float((width - 1 - textWidth) / 2),
                float((height + textHeight) / 2), 1.0f);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_RECTANGLE);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        return 0;
    }

    const float viewWidth = float(width - 1);
    const float pictureLeft =
        showMeters ? ssDrawPreviewMeters(input.channelCount, input.levelsDb, viewWidth, float(height)) : -1.0f;

    if (input.frameTexture && !programTried_) {
        programTried_ = true;
        if (ssDisplay::LoadShaderFrom(resourceDir_, &program_, "YUV2RGB601") == 0 && program_.program) {
            glUseProgram(program_.program);
            glUniform1i(glGetUniformLocation(program_.program, "inputTex"), 0);
        }
    }
    const uint32_t program = program_.program;
    if (input.frameTexture && program && input.frameWidth > 0 && input.frameHeight > 0) {
        // The picture keeps its display aspect inside the area right of the meters.
        const float areaWidth = (1.0f - pictureLeft) * viewWidth / 2.0f;
        const float areaHeight = float(height);
        const float dw = float(input.displayWidth > 0 ? input.displayWidth : input.frameWidth);
        const float dh = float(input.displayHeight > 0 ? input.displayHeight : input.frameHeight);
        const float scale = std::min(areaWidth / dw, areaHeight / dh);
        const float pw = dw * scale / areaWidth * (1.0f - pictureLeft);
        const float ph = dh * scale / areaHeight * 2.0f;
        const float cx = (pictureLeft + 1.0f) / 2.0f;
        glUseProgram(program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, input.frameTexture);
        const float s = float(input.frameWidth);
        const float t = float(input.frameHeight);
        // Row 0 of the frame is the top of the picture.
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, t);
        glVertex2f(cx - pw / 2.0f, -ph / 2.0f);
        glTexCoord2f(s, t);
        glVertex2f(cx + pw / 2.0f, -ph / 2.0f);
        glTexCoord2f(s, 0.0f);
        glVertex2f(cx + pw / 2.0f, ph / 2.0f);
        glTexCoord2f(0.0f, 0.0f);
        glVertex2f(cx - pw / 2.0f, ph / 2.0f);
        glEnd();
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        glUseProgram(0);
    }

    const float px = 2.0f / viewWidth;
    const float py = 2.0f / float(height);
    glColor3f(0.35f, 0.35f, 0.35f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(-1.0f + px / 2.0f, -1.0f + py / 2.0f);
    glVertex2f(1.0f - px / 2.0f, -1.0f + py / 2.0f);
    glVertex2f(1.0f - px / 2.0f, 1.0f - py / 2.0f);
    glVertex2f(-1.0f + px / 2.0f, 1.0f - py / 2.0f);
    glEnd();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    return 0;
}
