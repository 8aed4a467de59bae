// The render thread and the output configuration: decoded pictures become output frames in the
// frame ring. The render thread owns the engine's GL context.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"
#include "engine/display/ssDisplayGL.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {
constexpr int kIdleMicroseconds = 400;

uint8_t* alignedBlock(size_t bytes)
{
    void* block = nullptr;
    return posix_memalign(&block, 32, bytes) == 0 ? static_cast<uint8_t*>(block) : nullptr;
}
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
    if (!m_Display)
        m_Display = new ssDisplayGL(float(m_Output.width) / 1920.0f, m_ResourceDir.c_str());
    m_DisplayReady = false;
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
        ssMessage(2, "No OpenGL context for the render thread; frames are converted without it");
    int32_t state = ReadState(kRenderThread);
    while (state != ssStateExit) {
        if (m_OutputChanged.load() && m_DecodedVideoQueue && m_FrameRing && m_VideoCodecContext)
            ConfigureRenderTargets();
        if ((state == ssStatePlaying || state == ssStatePaused) && m_VideoReady.load()) {
            // The channel preview draws only while it is visible: its oldest frame is dropped
            // rather than letting it hold the output back once the ring is full.
            if (m_FrameRing->GetReaderCount() > 1 && m_FrameRing->Headroom(1) <= 0) {
                ssFrameTarget* stale = nullptr;
                m_FrameRing->Read(1, &stale, 0);
            }
            ssFrameTarget* slot = nullptr;
            if (m_FrameRing->AcquireWrite(&slot, 15) == 0) {
                _videoFrame* frame = nullptr;
                if (m_DecodedVideoQueue->Read(&frame, 15) != 0)
                    m_FrameRing->Commit(1);
                else
                    m_FrameRing->Commit(RenderFrame(frame, slot));
            }
        } else {
            usleep(kIdleMicroseconds);
        }
        AcknowledgeAtRoundEnd(kRenderThread);
        state = ReadState(kRenderThread);
    }
    ReleaseRenderResources();
    if (m_ContextCurrent)
        m_GLContext->DoneCurrent();
    m_ContextCurrent = false;
}

void ssMediaDecoder3::ConfigureRenderTargets()
{
    const AVCodecParameters* parameters = m_FormatContext->streams[m_VideoStreamIndex]->codecpar;
    const int width = parameters->width > 0 ? parameters->width : m_VideoCodecContext->width;
    const int height = parameters->height > 0 ? parameters->height : m_VideoCodecContext->height;
    const AVRational aspect = parameters->sample_aspect_ratio;
    m_DisplayWidth.store(aspect.num != 0 && aspect.den != 0
                             ? int32_t(double(aspect.num) * width / aspect.den + 0.5)
                             : width);
    m_DisplayHeight.store(height);
    if (m_Display && m_ContextCurrent && !m_DisplayReady) {
        m_Display->Init(m_Output.width, m_Output.height, 32, 0);
        m_DisplayReady = true;
    }
    ReleaseRenderResources();
    CreateUploadTextures(width, height);
    CreateFrameTargets(m_Output.width, m_Output.height);
    m_Locks[kFlagsLock]->Lock();
    m_VideoReady.store(m_UploadBuffer && m_TargetBuffer ? 1 : 0);
    m_Locks[kFlagsLock]->Unlock();
    m_OutputChanged.store(0);
}

void ssMediaDecoder3::CreateUploadTextures(int32_t width, int32_t height)
{
    m_UploadWidth = width;
    m_UploadHeight = height;
    if (width <= 0 || height <= 0)
        return;
    const int32_t rowBytes = width * 2;
    const size_t frameBytes = (size_t(rowBytes) * size_t(height) + 31) & ~size_t(31);
    m_UploadBuffer = alignedBlock(frameBytes * ssDecodedFrameCount + 256);
    if (!m_UploadBuffer)
        return;
    for (int i = 0; i < ssDecodedFrameCount; ++i) {
        _videoFrame& frame = m_DecodedFrames[i];
        frame.pixels = m_UploadBuffer + frameBytes * size_t(i);
        frame.rowBytes = rowBytes;
        frame.width = width;
        frame.height = height;
        frame.index = i;
        frame.time = 0.0;
        FillBlack(frame.pixels, width, height);
        m_DecodedVideoQueue->SetSlot(&frame, i);
    }
}

void ssMediaDecoder3::CreateFrameTargets(int32_t, int32_t)
{
    // Each ring slot holds a finished frame of the decoded size; the GPU conversion into the
    // output raster and its read-back land here too.
    if (m_UploadWidth <= 0 || m_UploadHeight <= 0)
        return;
    const int32_t rowBytes = m_UploadWidth * 2;
    const size_t frameBytes = (size_t(rowBytes) * size_t(m_UploadHeight) + 31) & ~size_t(31);
    m_TargetBuffer = alignedBlock(frameBytes * ssFrameRingSize);
    if (!m_TargetBuffer)
        return;
    for (int i = 0; i < ssFrameRingSize; ++i) {
        ssFrameTarget& target = m_FrameTargets[i];
        target = ssFrameTarget{};
        target.width = m_UploadWidth;
        target.height = m_UploadHeight;
        target.textureIndex = i;
        target.rowBytes = rowBytes;
        target.pixels = m_TargetBuffer + frameBytes * size_t(i);
        FillBlack(target.pixels, m_UploadWidth, m_UploadHeight);
        if (m_ContextCurrent && m_Output.kind == 1 && m_UploadWidth % 2 == 0) {
            // A screen draws the frame from the GPU: two 4:2:2 pixels per RGBA texel.
            GLuint texture = 0;
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_RECTANGLE, texture);
            glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, m_UploadWidth / 2, m_UploadHeight, 0, GL_BGRA,
                         GL_UNSIGNED_INT_8_8_8_8_REV, target.pixels);
            target.texture = texture;
        }
        m_FrameRing->RegisterSlot(&target, i);
    }
}

int32_t ssMediaDecoder3::RenderFrame(_videoFrame* frame, ssFrameTarget* slot)
{
    if (!frame->pixels || !slot->pixels)
        return 1;
    slot->time = frame->time;
    slot->width = frame->width;
    slot->height = frame->height;
    std::memcpy(slot->pixels, frame->pixels, size_t(frame->rowBytes) * size_t(frame->height));
    if (slot->texture != 0) {
        glBindTexture(GL_TEXTURE_RECTANGLE, slot->texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, frame->width / 2, frame->height, GL_BGRA,
                        GL_UNSIGNED_INT_8_8_8_8_REV, slot->pixels);
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        glFlush();
    }
    return 0;
}

void ssMediaDecoder3::ReleaseRenderResources()
{
    m_VideoReady.store(0);
    std::free(m_UploadBuffer);
    m_UploadBuffer = nullptr;
    std::free(m_TargetBuffer);
    m_TargetBuffer = nullptr;
    for (auto& frame : m_DecodedFrames)
        frame = _videoFrame{};
    for (auto& target : m_FrameTargets) {
        if (target.texture != 0 && m_ContextCurrent)
            glDeleteTextures(1, &target.texture);
        target = ssFrameTarget{};
    }
}

const ssFrameTarget* ssMediaDecoder3::GetFrameTarget(int32_t index) const
{
    if (index < 0 || index >= ssFrameRingSize)
        return nullptr;
    return &m_FrameTargets[index];
}
