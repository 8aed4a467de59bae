#include "engine/record/ssRecordPreview.h"

#include "engine/base/ssMessage.h"
#include "engine/capture/ssDeckLinkInput.h"
#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssFont.h"
#include "engine/render/ssAudioMeters.h"
#include "engine/render/ssRectangleTexture.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace {

constexpr float kMeterWidth = 13.0f;

// The packed 4:2:2 frame is uploaded as half-width BGRA (B = Cb, G = Y0, R = Cr, A = Y1); each
// output pixel takes its own luma and its pair's chroma and is turned into RGB with BT.601.
const char* kVertexSource = R"(
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
)";

const char* kFragmentSource = R"(
uniform sampler2DRect inputTex;
void main()
{
    vec2 p = gl_TexCoord[0].st;
    vec4 texel = texture2DRect(inputTex, vec2(floor(p.x * 0.5) + 0.5, p.y));
    float y = mod(floor(p.x), 2.0) < 0.5 ? texel.g : texel.a;
    y = 1.164384 * (y - 16.0 / 255.0);
    float cb = texel.b - 0.5;
    float cr = texel.r - 0.5;
    gl_FragColor = vec4(clamp(vec3(y + 1.596027 * cr, y - 0.391762 * cb - 0.812968 * cr, y + 2.017232 * cb),
                              0.0, 1.0), 1.0);
}
)";

void fillRect(float x, float y, float w, float h, float r, float g, float b)
{
    glColor4f(r, g, b, 1.0f);
    ssFillRect(x, y, x + w, y + h);
}

void frameRect(float x, float y, float w, float h, float r, float g, float b)
{
    glColor4f(r, g, b, 1.0f);
    glLineWidth(2.0f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(x + 1, y + 1);
    glVertex2f(x + w - 1, y + 1);
    glVertex2f(x + w - 1, y + h - 1);
    glVertex2f(x + 1, y + h - 1);
    glEnd();
}

} // namespace

ssRecordPreview::ssRecordPreview(const char* resourceDirectory) : resourceDirectory_(resourceDirectory ? resourceDirectory : ".")
{
}

ssRecordPreview::~ssRecordPreview()
{
    // Needs the context it was drawn with; the record view releases us with it current. Torn
    // down with no context at all (the application quitting mid-recording), the GL names stay
    // with their share group: a GL call now would abort the process.
    if (!ssGLContext::AnyCurrent()) {
        if (display_)
            display_->AbandonGLNames();
        return;
    }
    if (texture_)
        glDeleteTextures(1, &texture_);
    if (shader_.program)
        ssDeleteShader(&shader_);
}

void ssRecordPreview::Prepare(float width, float height)
{
    if (!display_) {
        display_ = std::make_unique<ssDisplayGL>(1.0f, resourceDirectory_.c_str());
        // Init clears; keep that to our own rectangle of the shared view.
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        display_->Init(int32_t(width), int32_t(height), 32, 0);
        glDisable(GL_SCISSOR_TEST);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        font_ = display_->LoadFont("Arial12", resourceDirectory_.c_str(), "misc.ark");
    }
}

void ssRecordPreview::Upload(const ssCaptureFrame* frame)
{
    if (!shaderTried_) {
        shaderTried_ = true;
        if (ssCompileShader(&shader_, kVertexSource, kFragmentSource) != 0)
            ssMessage(0, "Error loading shader");
        else {
            glUseProgram(shader_.program);
            glUniform1i(glGetUniformLocation(shader_.program, "inputTex"), 0);
            glUseProgram(0);
        }
    }
    const int32_t texWidth = frame->Width_ / 2;
    if (!texture_ || texWidth != textureWidth_ || frame->Height_ != textureHeight_) {
        ssAllocateRectangleTexture(&texture_, texWidth, frame->Height_, GL_NEAREST, nullptr);
        textureWidth_ = texWidth;
        textureHeight_ = frame->Height_;
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, texture_);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, frame->RowBytes_ / 4);
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, texWidth, frame->Height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                    frame->Pixels_);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    haveFrame_ = true;
}

void ssRecordPreview::DrawMeters(const float* decibels, int32_t channels, float x, float y, float width,
                                 float height)
{
    (void)width;
    for (int32_t c = 0; c < channels; ++c) {
        // -60 dB at the bottom, 0 dB at the top.
        const float level = std::clamp((decibels[c] + 60.0f) / 60.0f, 0.0f, 1.0f);
        const float left = x + float(c) * kMeterWidth;
        fillRect(left + 1, y, kMeterWidth - 2, height, 0.05f, 0.05f, 0.05f);
        const bool hot = decibels[c] > -6.0f;
        fillRect(left + 1, y, kMeterWidth - 2, height * level, hot ? 0.935f : 0.2f, hot ? 0.135f : 0.8f, 0.2f);
    }
}

int32_t ssRecordPreview::Draw(const ssCaptureFrame* frame, bool noSignal, const float* decibels, int32_t channels,
                              int32_t health, float x, float y, float width, float height)
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Prepare(float(viewport[2]), float(viewport[3]));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_BLEND);

    fillRect(x, y, width, height, 0.12f, 0.12f, 0.12f);
    if (frame)
        Upload(frame);

    const float meters = float(channels) * kMeterWidth;
    DrawMeters(decibels, channels, x, y, meters, height);

    int32_t result = 0;
    if (noSignal) {
        if (font_) {
            // Fonts draw in the display's own coordinates: the whole viewport, identity matrices.
            if (display_->GetWidth() != viewport[2] || display_->GetHeight() != viewport[3]) {
                display_->Resize(viewport[2], viewport[3]);
                glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
            }
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            int32_t w = 0;
            int32_t h = 0;
            display_->MeasureText(font_, "No Input Signal", &w, &h, 0);
            font_->DrawText(0xFFFFFFFF, "No Input Signal", x + (width - float(w)) / 2, y + (height + float(h)) / 2,
                            1.0f);
            glDisable(GL_BLEND);
            glDisable(GL_TEXTURE_RECTANGLE);
            glDisable(GL_TEXTURE_2D);
            glDisableClientState(GL_VERTEX_ARRAY);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_COLOR_ARRAY);
            glMatrixMode(GL_PROJECTION);
            glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
            glMatrixMode(GL_MODELVIEW);
        }
        result = 1;
    } else if (haveFrame_ && textureWidth_ > 0 && textureHeight_ > 0) {
        // Letter-boxed into the room beside the meters.
        const float roomX = x + meters;
        const float roomW = std::max(width - meters, 1.0f);
        const float frameW = float(textureWidth_ * 2);
        const float frameH = float(textureHeight_);
        const float scale = std::min(roomW / frameW, height / frameH);
        const float w = frameW * scale;
        const float h = frameH * scale;
        const float left = roomX + (roomW - w) / 2;
        const float bottom = y + (height - h) / 2;
        if (shader_.program)
            glUseProgram(shader_.program);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_RECTANGLE);
        glBindTexture(GL_TEXTURE_RECTANGLE, texture_);
        glColor4f(1, 1, 1, 1);
        glBegin(GL_QUADS);
        // Rows run top-down in the frame, GL's y upwards.
        glTexCoord2f(0, frameH);
        glVertex2f(left, bottom);
        glTexCoord2f(frameW, frameH);
        glVertex2f(left + w, bottom);
        glTexCoord2f(frameW, 0);
        glVertex2f(left + w, bottom + h);
        glTexCoord2f(0, 0);
        glVertex2f(left, bottom + h);
        glEnd();
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        glDisable(GL_TEXTURE_RECTANGLE);
        glUseProgram(0);
    }

    if (health >= 2)
        frameRect(x, y, width, height, 0.935f, 0.135f, 0.135f);
    else if (health == 1)
        frameRect(x, y, width, height, 0.935f, 0.935f, 0.135f);
    else
        frameRect(x, y, width, height, 0.35f, 0.35f, 0.35f);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    return result;
}
