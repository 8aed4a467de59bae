#include "engine/output/ssDVIOutput.h"

#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssOutputSource.h"
#include "engine/render/ssLetterbox.h"

#include <epoxy/gl.h>

#include <algorithm>

ssDVIOutput::ssDVIOutput()
{
    Kind_ = 0;
}

ssDVIOutput::~ssDVIOutput() = default;

void ssDVIOutput::ClearFrame()
{
    std::lock_guard<std::mutex> lock(Lock_);
    LastTexture_ = uint32_t(-1);
}

void ssDVIOutput::SetSource(ssDisplayGL* display, ssScreenSource* source, double, double)
{
    std::lock_guard<std::mutex> lock(Lock_);
    Display_ = source ? display : nullptr;
    Source_ = source;
    FrameWidth_ = 0;
    FrameHeight_ = 0;
    LastTexture_ = uint32_t(-1); // a texture of the previous engine is not ours to show
}

void ssDVIOutput::SetSize(int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> lock(Lock_);
    WindowWidth_ = uint32_t(std::max(width, 0));
    WindowHeight_ = uint32_t(std::max(height, 0));
    ListWidth_ = 0; // placement depends on the window size: build it again
    ListHeight_ = 0;
}

void ssDVIOutput::ReleaseGL()
{
    std::lock_guard<std::mutex> lock(Lock_);
    if (List_ != uint32_t(-1))
        glDeleteLists(List_, 1);
    List_ = uint32_t(-1);
    ssDeleteShader(&Program_);
    Program_ = {};
    ProgramTried_ = false;
    LastTexture_ = uint32_t(-1);
}

void ssDVIOutput::BuildPlacement(int32_t frameWidth, int32_t frameHeight)
{
    if (List_ == uint32_t(-1))
        List_ = glGenLists(1);
    const float fw = float(frameWidth);
    const float fh = float(frameHeight);
    // The frame keeps its aspect inside the window.
    const ssLetterboxMargins margins
        = ssComputeLetterbox(1, int(WindowWidth_), int(WindowHeight_), frameWidth, frameHeight);
    const float mx = float(margins.horizontal);
    const float my = float(margins.vertical);
    const float x0 = -1.0f + mx, x1 = 1.0f - mx;
    const float y0 = -1.0f + my, y1 = 1.0f - my;
    glNewList(List_, GL_COMPILE);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0.5f, 0.5f);
    glVertex2f(x0, y0);
    glTexCoord2f(fw - 0.5f, 0.5f);
    glVertex2f(x1, y0);
    glTexCoord2f(fw - 0.5f, fh - 0.5f);
    glVertex2f(x1, y1);
    glTexCoord2f(0.5f, fh - 0.5f);
    glVertex2f(x0, y1);
    glEnd();
    glEndList();
    ListWidth_ = frameWidth;
    ListHeight_ = frameHeight;
}

void ssDVIOutput::DrawScreen()
{
    std::lock_guard<std::mutex> lock(Lock_);
    if (!Source_)
        return;
    ssDisplayGL* display = Display_ ? Display_ : Source_->GetDisplay();
    if (!display)
        return;
    if (!ProgramTried_) {
        ProgramTried_ = true;
        if (display->LoadShader(&Program_, "YUV2RGB601") == 0 && Program_.program) {
            glUseProgram(Program_.program);
            glUniform1i(glGetUniformLocation(Program_.program, "inputTex"), 0);
        }
        glEnable(GL_BLEND);
    }
    glUseProgram(Program_.program);
    glViewport(0, 0, GLsizei(WindowWidth_), GLsizei(WindowHeight_));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(1.0f, -1.0f, 1.0f); // frame row 0 is the top of the picture
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    int32_t frameWidth = 0, frameHeight = 0, state = 0;
    const int32_t slot = Source_->GetFrameForOutput(&frameWidth, &frameHeight, &state);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (state == kStateStopped)
        return;
    uint32_t texture = LastTexture_;
    if (slot >= 0) {
        texture = Source_->GetFrameTexture(slot);
        FrameWidth_ = frameWidth;
        FrameHeight_ = frameHeight;
    }
    if (texture == uint32_t(-1) || FrameWidth_ <= 0 || FrameHeight_ <= 0)
        return;
    if (ListWidth_ != FrameWidth_ || ListHeight_ != FrameHeight_ || List_ == uint32_t(-1))
        BuildPlacement(FrameWidth_, FrameHeight_);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_RECTANGLE);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glCallList(List_);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    glDisable(GL_TEXTURE_RECTANGLE);
    LastTexture_ = texture;
}

bool ssDVIOutput::TakeFrame()
{
    std::lock_guard<std::mutex> lock(Lock_);
    if (!Source_)
        return false;
    int32_t frameWidth = 0, frameHeight = 0, state = 0;
    const int32_t slot = Source_->GetFrameForOutput(&frameWidth, &frameHeight, &state);
    if (slot < 0)
        return state == kStatePlaying;
    // Kept as DrawScreen keeps it: a window shown while paused shows the cued frame at once.
    LastTexture_ = Source_->GetFrameTexture(slot);
    FrameWidth_ = frameWidth;
    FrameHeight_ = frameHeight;
    return true;
}
