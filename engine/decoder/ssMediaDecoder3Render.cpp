// The render thread and the output configuration: decoded pictures become output frames in the
// frame ring through the channel's renderer. The render thread owns the engine's GL context; the
// renderer's textures, programs and display live in it.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"
#include "engine/render/ssInterlaceDecision.h"
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <cstring>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {
constexpr int kIdleMicroseconds = 400;
// The second field of a deinterlaced frame waits this long for its ring slot.
constexpr int kSecondFieldWaitMs = 45;
} // namespace

int32_t ssMediaDecoder3::SetOutputFormat(const ssOutputFormat* format)
{
    const bool valid = format && (format->kind == 1 || format->kind == 2) && format->width > 0 && format->height > 0;
    if (valid == m_HasOutput && (!valid || std::memcmp(format, &m_Output, sizeof m_Output) == 0))
        return 0;
    std::unique_lock present(m_PresentLock);
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    SetThreadStates(ssStatePaused);
    StopThreads();
    if (!valid) {
        m_HasOutput = false;
        return 0;
    }
    // The audio decoder goes on through an output change; it idles while its queues are emptied.
    const bool audioHeld = HoldAudioDecoding();
    FlushPacketQueues();
    if (m_VideoCodecContext)
        avcodec_flush_buffers(m_VideoCodecContext);
    for (int j = 0; j < m_AudioStreamCount; ++j)
        avcodec_flush_buffers(m_AudioCodecContexts[j]);
    m_VideoDrained.store(0);
    delete m_DecodedVideoQueue;
    m_DecodedVideoQueue = nullptr;
    delete m_FrameRing;
    m_FrameRing = nullptr;
    m_OutputChanged.store(1);
    m_Output = *format;
    m_HasOutput = true;
    if (m_NoFile.load() == 0) {
        // The queues were emptied: start over where the picture was.
        if (m_VideoPacketQueue)
            m_VideoPacketQueue->Flush();
        StartThreads();
        present.unlock(); // the seek waits for the presenting side to show the position
        Seek(m_Present.currentTime.load(), 0);
        m_Present.countdown.store(ssPostSeekFrames);
    } else if (audioHeld) {
        SetThreadStates(ssStatePaused);
    }
    return 0;
}

void ssMediaDecoder3::RenderLoop()
{
    if (!m_GLContext)
        m_GLContext = ssGLContext::CreateEngineContext();
    m_ContextCurrent = m_GLContext && m_GLContext->MakeCurrent();
    if (!m_ContextCurrent)
        ssMessage(2, "No OpenGL context for the render thread; no frames can be rendered");
    int32_t state = ReadState(kRenderThread);
    // The ring resets seen when the slate frame of the position was drawn (-1: none drawn).
    int32_t slateDrawnAt = -1;
    while (state != ssStateExit) {
        if (m_OutputChanged.load() && m_DecodedVideoQueue && m_FrameRing && m_VideoCodecContext)
            ConfigureRenderTargets();
        const bool rendering = (state == ssStatePlaying || state == ssStatePaused) && m_VideoReady.load();
        const bool slate = m_SlateShowing.load() != 0;
        if (!slate)
            slateDrawnAt = -1;
        if (!rendering || (slate && slateDrawnAt == m_RingResets.load())) {
            // Nothing to draw; a slate stands for the cued position until it goes.
            usleep(kIdleMicroseconds);
        } else if (slate) {
            ssFrameTarget* slot = nullptr;
            const int32_t resets = m_RingResets.load();
            if (m_FrameRing->AcquireWrite(&slot, 15) == 0 && RenderSlateFrame(slot))
                slateDrawnAt = resets;
        } else {
            ssFrameTarget* slot = nullptr;
            if (m_FrameRing->AcquireWrite(&slot, 15) == 0) {
                _videoFrame* frame = nullptr;
                if (m_DecodedVideoQueue->Read(&frame, 15) != 0)
                    m_FrameRing->Commit(1);
                else
                    RenderDecodedFrame(frame, slot);
            }
        }
        AcknowledgeAtRoundEnd(kRenderThread);
        state = ReadState(kRenderThread);
    }
    ReleaseRenderResources();
    if (m_ContextCurrent)
        m_GLContext->DoneCurrent();
    m_ContextCurrent = false;
}

bool ssMediaDecoder3::RenderSlateFrame(ssFrameTarget* slot)
{
    // The picture is only peeked at: once playing starts it is drawn as itself, so no frame
    // drawn with the slate is left in the ring to be shown after the start.
    _videoFrame* frame = nullptr;
    if (m_DecodedVideoQueue->PeekWait(&frame, 15) != 0 || !frame) {
        m_FrameRing->Commit(1);
        return false;
    }
    ssMediaRender& render = *m_Render;
    render.ShowSlate(1);
    render.SetPostSeekFrames(m_Present.countdown.load());
    const int32_t result = render.RenderFrame(frame, slot);
    m_FrameRing->Commit(result);
    return result == 0;
}

void ssMediaDecoder3::RenderDecodedFrame(_videoFrame* frame, ssFrameTarget* slot)
{
    ssMediaRender& render = *m_Render;
    render.ShowSlate(0);
    render.SetPostSeekFrames(m_Present.countdown.load());
    if (m_DeinterlaceMode == 0) {
        m_FrameRing->Commit(render.RenderFrame(frame, slot));
        return;
    }
    // One decoded frame, two output frames: the second field goes into a slot of its own.
    m_FrameRing->Commit(render.RenderField(frame, slot, 1));
    ssFrameTarget* second = nullptr;
    if (m_FrameRing->AcquireWrite(&second, kSecondFieldWaitMs) == 0)
        m_FrameRing->Commit(render.RenderField(frame, second, 0));
}

void ssMediaDecoder3::ConfigureRenderTargets()
{
    ssMediaRender& render = *m_Render;
    m_Locks[kFlagsLock]->Lock();
    m_VideoReady.store(0);
    m_Locks[kFlagsLock]->Unlock();
    if (!m_ContextCurrent) {
        m_OutputChanged.store(0);
        return;
    }
    ssRenderOutputMode mode;
    mode.width = m_Output.width;
    mode.height = m_Output.height;
    mode.interlaced = m_Output.interlaced;
    mode.frameRate = m_Output.frameRate;
    mode.textureOutput = m_Output.kind == 1 ? 1 : 0;
    render.ConfigureOutput(mode);
    render.SetPreviewCopies(m_HasPreview);
    if (!m_ShadersLoaded) {
        if (const int32_t error = render.LoadShaders(); error != 0)
            ssMessage(2, "Error %d loading the rendering shaders", error);
        m_ShadersLoaded = true;
    }

    const AVCodecParameters* parameters = m_FormatContext->streams[m_VideoStreamIndex]->codecpar;
    const int width = parameters->width > 0 ? parameters->width : m_VideoCodecContext->width;
    const int height = parameters->height > 0 ? parameters->height : m_VideoCodecContext->height;
    const ssInterlaceDecision decision = ssDecideInterlace(m_FieldOrder, height, m_MovieRate, m_Output.interlaced,
                                                           m_Output.height, double(m_Output.frameRate));
    m_DeinterlaceMode = decision.deinterlaceMode;
    render.SetInterlace(decision.deinterlaceMode, decision.interlaceFlag);
    render.SetFrameDuration(m_FrameDuration.load());
    const AVRational aspect = parameters->sample_aspect_ratio;
    m_DisplayWidth.store(aspect.num != 0 && aspect.den != 0
                             ? int32_t(double(aspect.num) * width / aspect.den + 0.5)
                             : width);
    m_DisplayHeight.store(height);
    render.SetDisplaySize(m_DisplayWidth.load(), m_DisplayHeight.load());

    bool ready = render.CreateUploadTextures(width, height) == 0;
    if (!ready)
        ssMessage(2, "No textures for %dx%d pictures; the video is not shown", width, height);
    for (int i = 0; ready && i < ssDecodedFrameCount; ++i)
        m_DecodedVideoQueue->SetSlot(render.GetUploadFrame(i), i);
    ready = ready && render.CreateFrameTargets(m_Output.width, m_Output.height) == 0;
    for (int i = 0; ready && i < ssFrameRingSize; ++i)
        m_FrameRing->RegisterSlot(render.GetSlot(i), i);
    m_Locks[kFlagsLock]->Lock();
    m_VideoReady.store(ready ? 1 : 0);
    m_Locks[kFlagsLock]->Unlock();
    m_OutputChanged.store(0);
}

void ssMediaDecoder3::ReleaseRenderResources()
{
    m_VideoReady.store(0);
    if (m_ContextCurrent)
        m_Render->ReleaseTargets();
}

const ssFrameTarget* ssMediaDecoder3::GetFrameTarget(int32_t index) const
{
    return m_Render->GetSlot(index);
}

uint32_t ssMediaDecoder3::AcquireFrameTexture(int32_t slot)
{
    return m_Render->AcquireFrameTexture(slot);
}

ssDisplayGL* ssMediaDecoder3::GetDisplay() const
{
    return m_Render->GetDisplay();
}

void ssMediaDecoder3::SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w,
                                      float h)
{
    m_Render->SetOverlayImage(width, height, rgba, x, y, w, h);
}

void ssMediaDecoder3::FadeOverlay(int32_t direction, float fadeTime)
{
    m_Render->SetFrameDuration(m_FrameDuration.load());
    m_Render->FadeOverlay(direction, fadeTime);
}

int32_t ssMediaDecoder3::SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba)
{
    m_Render->SetSlateImage(width, height, rgba);
    // A new frame is rendered with it.
    Seek(0.0, 0);
    m_SlateShowing.store(m_ShowSlate.load());
    return m_SlateShowing.load();
}

void ssMediaDecoder3::SetAnamorphic(int32_t flag)
{
    m_Render->SetAnamorphic(flag);
}

void ssMediaDecoder3::GetOutputSize(int32_t* width, int32_t* height) const
{
    m_Render->GetOutputSize(width, height);
}
