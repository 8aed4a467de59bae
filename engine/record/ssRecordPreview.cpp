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

// The playback preview's border: a one-pixel loop along the viewport's edges, in GL units.
void frameViewport(float width, float height, float r, float g, float b)
{
    const float px = 1.0f / width;
    const float py = 1.0f / height;
    glColor4f(r, g, b, 1.0f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(-1.0f + px, -1.0f + py);
    glVertex2f(1.0f - px, -1.0f + py);
    glVertex2f(1.0f - px, 1.0f - py);
    glVertex2f(-1.0f + px, 1.0f - py);
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

int32_t ssRecordPreview::Draw(const ssCaptureFrame* frame, bool noSignal, const float* decibels, int32_t channels,
                              int32_t health, float x, float y, float width, float height)
{
    const int32_t w = int32_t(width);
    const int32_t h = int32_t(height);
    if (w <= 1 || h <= 0)
        return 0;
    Prepare(float(w), float(h));
    if (frame)
        Upload(frame);
    // The channel's own rectangle of the shared view, whatever the channel drawn before it left.
    glViewport(int32_t(x), int32_t(y), w, h);
    glUseProgram(0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor3f(0.12f, 0.12f, 0.12f);
    ssFillRect(-1.0f, -1.0f, 1.0f, 1.0f);

    // The playback preview's meters, from the monitored levels.
    double levels[16] = {};
    const int32_t metered = std::clamp(channels, 0, 16);
    for (int32_t c = 0; c < metered; ++c)
        levels[c] = decibels ? double(decibels[c]) : -100.0;
    const float pictureLeft = ssDrawPreviewMeters(metered, levels, float(w), float(h));

    int32_t result = 0;
    if (noSignal) {
        if (font_) {
            // Fonts draw in the display's own pixel coordinates over the viewport.
            if (display_->GetWidth() != w || display_->GetHeight() != h) {
                display_->Resize(w, h);
                glViewport(int32_t(x), int32_t(y), w, h);
            }
            int32_t textWidth = 0;
            int32_t textHeight = 0;
            display_->MeasureText(font_, "No Input Signal", &textWidth, &textHeight, 0);
            font_->DrawText(0xFFFFFFFF, "No Input Signal", float((w - textWidth) / 2), float((h + textHeight) / 2),
                            1.0f);
            glDisable(GL_BLEND);
            glDisable(GL_TEXTURE_RECTANGLE);
            glDisable(GL_TEXTURE_2D);
            glDisableClientState(GL_VERTEX_ARRAY);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_COLOR_ARRAY);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
        }
        result = 1;
    } else if (haveFrame_ && textureWidth_ > 0 && textureHeight_ > 0) {
        // Letter-boxed into the room right of the meters, as the playback preview places it.
        const float frameW = float(textureWidth_ * 2);
        const float frameH = float(textureHeight_);
        const float roomW = (1.0f - pictureLeft) * float(w) / 2.0f;
        const float scale = std::min(roomW / frameW, float(h) / frameH);
        const float pw = frameW * scale / roomW * (1.0f - pictureLeft);
        const float ph = frameH * scale / float(h) * 2.0f;
        const float cx = (pictureLeft + 1.0f) / 2.0f;
        if (shader_.program)
            glUseProgram(shader_.program);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_RECTANGLE);
        glBindTexture(GL_TEXTURE_RECTANGLE, texture_);
        glColor4f(1, 1, 1, 1);
        glBegin(GL_QUADS);
        // Rows run top-down in the frame, GL's y upwards.
        glTexCoord2f(0, frameH);
        glVertex2f(cx - pw / 2.0f, -ph / 2.0f);
        glTexCoord2f(frameW, frameH);
        glVertex2f(cx + pw / 2.0f, -ph / 2.0f);
        glTexCoord2f(frameW, 0);
        glVertex2f(cx + pw / 2.0f, ph / 2.0f);
        glTexCoord2f(0, 0);
        glVertex2f(cx - pw / 2.0f, ph / 2.0f);
        glEnd();
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        glDisable(GL_TEXTURE_RECTANGLE);
        glUseProgram(0);
    }

    if (health >= 2)
        frameViewport(float(w), float(h), 0.935f, 0.135f, 0.135f);
    else if (health == 1)
        frameViewport(float(w), float(h), 0.935f, 0.935f, 0.135f);
    else
        frameViewport(float(w), float(h), 0.35f, 0.35f, 0.35f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    return result;
}
