#include "engine/output/ssDVIOutput.h"

#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssOutputSource.h"
#include "engine/render/ssLetterbox.h"

#include <epoxy/gl.h>

#include <algorithm>

ssDVIOutput::ssDVIOutput()
{
    m_Kind = 0;
}

ssDVIOutput::~ssDVIOutput() = default;

void ssDVIOutput::ClearFrame()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_LastTexture = uint32_t(-1);
}

void ssDVIOutput::SetSource(ssDisplayGL* display, ssScreenSource* source, double, double)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Display = source ? display : nullptr;
    m_Source = source;
    m_FrameWidth = 0;
    m_FrameHeight = 0;
    m_LastTexture = uint32_t(-1); // a texture of the previous engine is not ours to show
}

void ssDVIOutput::SetSize(int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_WindowWidth = uint32_t(std::max(width, 0));
    m_WindowHeight = uint32_t(std::max(height, 0));
    m_ListWidth = 0; // placement depends on the window size: build it again
    m_ListHeight = 0;
}

void ssDVIOutput::ReleaseGL()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_List != uint32_t(-1))
        glDeleteLists(m_List, 1);
    m_List = uint32_t(-1);
    ssDeleteShader(&m_Program);
    m_Program = {};
    m_ProgramTried = false;
    m_LastTexture = uint32_t(-1);
}

void ssDVIOutput::BuildPlacement(int32_t frameWidth, int32_t frameHeight)
{
    if (m_List == uint32_t(-1))
        m_List = glGenLists(1);
    const float fw = float(frameWidth);
    const float fh = float(frameHeight);
    // The frame keeps its aspect inside the window.
    const ssLetterboxMargins margins
        = ssComputeLetterbox(1, int(m_WindowWidth), int(m_WindowHeight), frameWidth, frameHeight);
    const float mx = float(margins.horizontal);
    const float my = float(margins.vertical);
    const float x0 = -1.0f + mx, x1 = 1.0f - mx;
    const float y0 = -1.0f + my, y1 = 1.0f - my;
    glNewList(m_List, GL_COMPILE);
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
    m_ListWidth = frameWidth;
    m_ListHeight = frameHeight;
}

void ssDVIOutput::DrawScreen()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Source)
        return;
    ssDisplayGL* display = m_Display ? m_Display : m_Source->GetDisplay();
    if (!display)
        return;
    if (!m_ProgramTried) {
        m_ProgramTried = true;
        if (display->LoadShader(&m_Program, "YUV2RGB601") == 0 && m_Program.program) {
            glUseProgram(m_Program.program);
            glUniform1i(glGetUniformLocation(m_Program.program, "inputTex"), 0);
        }
        glEnable(GL_BLEND);
    }
    glUseProgram(m_Program.program);
    glViewport(0, 0, GLsizei(m_WindowWidth), GLsizei(m_WindowHeight));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(1.0f, -1.0f, 1.0f); // frame row 0 is the top of the picture
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    int32_t frameWidth = 0, frameHeight = 0, state = 0;
    const int32_t slot = m_Source->GetFrameForOutput(&frameWidth, &frameHeight, &state);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (state == kStateStopped)
        return;
    uint32_t texture = m_LastTexture;
    if (slot >= 0) {
        texture = m_Source->GetFrameTexture(slot);
        m_FrameWidth = frameWidth;
        m_FrameHeight = frameHeight;
    }
    if (texture == uint32_t(-1) || m_FrameWidth <= 0 || m_FrameHeight <= 0)
        return;
    if (m_ListWidth != m_FrameWidth || m_ListHeight != m_FrameHeight || m_List == uint32_t(-1))
        BuildPlacement(m_FrameWidth, m_FrameHeight);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_RECTANGLE);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glCallList(m_List);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    glDisable(GL_TEXTURE_RECTANGLE);
    m_LastTexture = texture;
}

void ssDVIOutput::TakeFrame()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Source)
        return;
    int32_t frameWidth = 0, frameHeight = 0, state = 0;
    const int32_t slot = m_Source->GetFrameForOutput(&frameWidth, &frameHeight, &state);
    if (slot < 0)
        return;
    // Kept as DrawScreen keeps it: a window shown while paused shows the cued frame at once.
    m_LastTexture = m_Source->GetFrameTexture(slot);
    m_FrameWidth = frameWidth;
    m_FrameHeight = frameHeight;
}
