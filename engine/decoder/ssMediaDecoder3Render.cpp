// The render thread and the output configuration: decoded pictures become output frames in the
// frame ring through the channel's renderer. The render thread owns the engine's GL context; the
// renderer's textures, programs and display live in it.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/render/ssInterlaceDecision.h"
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {
// The second field of a deinterlaced frame waits this long for its ring slot.
constexpr int kSecondFieldWaitMs = 45;
} // namespace

int32_t ssMediaDecoder3::SetOutputFormat(const ssOutputFormat* format)
{
    const bool valid = format && (format->kind == 1 || format->kind == 2) && format->width > 0 && format->height > 0;
    if (valid == HasOutput_ && (!valid || std::memcmp(format, &Output_, sizeof Output_) == 0))
        return 0;
    std::unique_lock present(PresentLock_);
    if (AudioOutput_)
        AudioOutput_->Pause();
    SetThreadStates(ssStatePaused);
    StopThreads();
    if (!valid) {
        HasOutput_ = false;
        return 0;
    }
    // The audio decoder goes on through an output change; it idles while its queues are emptied.
    const bool audioHeld = HoldAudioDecoding();
    FlushPacketQueues();
    if (VideoCodecContext_)
        avcodec_flush_buffers(VideoCodecContext_);
    for (int j = 0; j < AudioStreamCount_; ++j)
        avcodec_flush_buffers(AudioCodecContexts_[j]);
    VideoDrained_.store(0);
    delete DecodedVideoQueue_;
    DecodedVideoQueue_ = nullptr;
    delete FrameRing_;
    FrameRing_ = nullptr;
    OutputChanged_.store(1);
    Output_ = *format;
    HasOutput_ = true;
    if (NoFile_.load() == 0) {
        // The queues were emptied: start over where the picture was.
        if (VideoPacketQueue_)
            VideoPacketQueue_->Flush();
        StartThreads();
        present.unlock(); // the seek waits for the presenting side to show the position
        Seek(Present_.currentTime.load(), 0);
        Present_.countdown.store(ssPostSeekFrames);
    } else if (audioHeld) {
        SetThreadStates(ssStatePaused);
    }
    return 0;
}

void ssMediaDecoder3::RenderLoop()
{
    const ssMessageScope logName(LogName());
    if (!GLContext_)
        GLContext_ = ssGLContext::CreateEngineContext();
    ContextCurrent_ = GLContext_ && GLContext_->MakeCurrent();
    if (!ContextCurrent_)
        ssMessage(2, "No OpenGL context for the render thread; no frames can be rendered");
    int32_t state = ReadState(kRenderThread);
    // The ring resets seen when the slate frame of the position was drawn (-1: none drawn).
    int32_t slateDrawnAt = -1;
    while (state != ssStateExit) {
        bool worked = false;
        if (OutputChanged_.load() && DecodedVideoQueue_ && FrameRing_ && VideoCodecContext_) {
            std::lock_guard preview(PreviewLock_);
            ConfigureRenderTargets();
            worked = true;
        }
        const bool rendering = (state == ssStatePlaying || state == ssStatePaused) && VideoReady_.load();
        const bool slate = SlateShowing_.load() != 0;
        if (!slate)
            slateDrawnAt = -1;
        // A slate stands for the cued position: it is the position's first frame in the ring, and
        // the pictures from the position on follow it as themselves, unseen while the channel
        // waits, so that a play shows the cued picture in its first period. Rests with every
        // ring slot waiting to be shown or no decoded picture: the presenting side taking a
        // frame, the decoder, a new state or the slate going wakes it.
        if (rendering && slate && slateDrawnAt != RingResets_.load()) {
            ssFrameTarget* slot = nullptr;
            const int32_t resets = RingResets_.load();
            if (FrameRing_->AcquireWrite(&slot, 15) == 0 && RenderSlateFrame(slot)) {
                slateDrawnAt = resets;
                worked = true;
            }
        } else if (rendering) {
            // Pictures of later passes decoded before a slave left its master's loop go
            // without a ring slot: the ring may be full of their frames.
            _videoFrame* stale = nullptr;
            while (DecodedVideoQueue_->Peek(&stale) == 0 && stale && PastLeftPass(stale->time, stale->rereads)) {
                DecodedVideoQueue_->Read(&stale, 0);
                worked = true;
            }
            ssFrameTarget* slot = nullptr;
            if (FrameRing_->AcquireWrite(&slot, 15) == 0) {
                _videoFrame* frame = nullptr;
                // Marked before the picture leaves the decoded queue, so that it is always
                // counted somewhere on its way to the ring.
                RenderingPicture_.store(true);
                // No wait: the decoder's next picture wakes the thread, and a picture counted
                // on its way must not stand for one that is not coming (the end of a range).
                if (DecodedVideoQueue_->Read(&frame, 0) != 0) {
                    FrameRing_->Commit(1);
                } else {
                    RenderDecodedFrame(frame, slot);
                    worked = true;
                }
                RenderingPicture_.store(false);
            }
        }
        EndRound(kRenderThread, worked);
        state = ReadState(kRenderThread);
    }
    const bool closing = ReleaseProgramsOnExit_.load();
    {
        std::lock_guard preview(PreviewLock_);
        ReleaseRenderResources();
    }
    if (ContextCurrent_)
        GLContext_->DoneCurrent();
    // Its objects are gone; the next file's render thread makes the context again.
    if (ContextCurrent_ && closing)
        GLContext_->ReleaseDriverContext();
    ContextCurrent_ = false;
}

bool ssMediaDecoder3::RenderSlateFrame(ssFrameTarget* slot)
{
    // The picture is only peeked at: it is drawn as itself behind the slate, so no frame drawn
    // with the slate is left in the ring to be shown after the start.
    _videoFrame* frame = nullptr;
    if (DecodedVideoQueue_->PeekWait(&frame, 15) != 0 || !frame) {
        FrameRing_->Commit(1);
        return false;
    }
    ssMediaRender& render = *Render_;
    render.ShowSlate(1);
    render.SetPostSeekFrames(Present_.countdown.load());
    slot->clipStart = false;
    slot->slate = true;
    slot->rereads = frame->rereads;
    const int32_t result = render.RenderFrame(frame, slot);
    FrameRing_->Commit(result);
    return result == 0;
}

void ssMediaDecoder3::RenderDecodedFrame(_videoFrame* frame, ssFrameTarget* slot)
{
    ssMediaRender& render = *Render_;
    render.ShowSlate(0);
    render.SetPostSeekFrames(Present_.countdown.load());
    slot->clipStart = frame->clipStart;
    slot->slate = false;
    slot->rereads = frame->rereads;
    if (DeinterlaceMode_ == 0) {
        FrameRing_->Commit(render.RenderFrame(frame, slot));
        return;
    }
    // One decoded frame, two output frames: the second field goes into a slot of its own.
    FrameRing_->Commit(render.RenderField(frame, slot, 1));
    ssFrameTarget* second = nullptr;
    if (FrameRing_->AcquireWrite(&second, kSecondFieldWaitMs) == 0) {
        second->clipStart = false;
        second->slate = false;
        second->rereads = frame->rereads;
        FrameRing_->Commit(render.RenderField(frame, second, 0));
    }
}

void ssMediaDecoder3::ConfigureRenderTargets()
{
    ssMediaRender& render = *Render_;
    Locks_[kFlagsLock]->Lock();
    VideoReady_.store(0);
    Locks_[kFlagsLock]->Unlock();
    if (!ContextCurrent_) {
        OutputChanged_.store(0);
        return;
    }
    ssRenderOutputMode mode;
    mode.width = Output_.width;
    mode.height = Output_.height;
    mode.interlaced = Output_.interlaced;
    mode.frameRate = Output_.frameRate;
    mode.textureOutput = Output_.kind == 1 ? 1 : 0;
    render.ConfigureOutput(mode);
    render.SetPreviewCopies(HasPreview_.load());
    if (!ShadersLoaded_) {
        if (const int32_t error = render.LoadShaders(); error != 0)
            ssMessage(2, "Error %d loading the rendering shaders", error);
        ShadersLoaded_ = true;
    }

    const AVCodecParameters* parameters = FormatContext_->streams[VideoStreamIndex_]->codecpar;
    const int width = parameters->width > 0 ? parameters->width : VideoCodecContext_->width;
    const int height = parameters->height > 0 ? parameters->height : VideoCodecContext_->height;
    const ssInterlaceDecision decision = ssDecideInterlace(FieldOrder_, height, MovieRate_, Output_.interlaced,
                                                           Output_.height, double(Output_.frameRate));
    DeinterlaceMode_ = decision.deinterlaceMode;
    render.SetInterlace(decision.deinterlaceMode, decision.interlaceFlag);
    render.SetFrameDuration(FrameDuration_.load());
    const AVRational aspect = parameters->sample_aspect_ratio;
    DisplayWidth_.store(aspect.num != 0 && aspect.den != 0
                             ? int32_t(double(aspect.num) * width / aspect.den + 0.5)
                             : width);
    DisplayHeight_.store(height);
    render.SetDisplaySize(DisplayWidth_.load(), DisplayHeight_.load());

    bool ready = render.CreateUploadTextures(width, height) == 0;
    if (!ready)
        ssMessage(2, "No textures for %dx%d pictures; the video is not shown", width, height);
    for (int i = 0; ready && i < ssDecodedFrameCount; ++i)
        DecodedVideoQueue_->SetSlot(render.GetUploadFrame(i), i);
    ready = ready && render.CreateFrameTargets(Output_.width, Output_.height) == 0;
    for (int i = 0; ready && i < ssFrameRingSize; ++i)
        FrameRing_->RegisterSlot(render.GetSlot(i), i);
    Locks_[kFlagsLock]->Lock();
    VideoReady_.store(ready ? 1 : 0);
    Locks_[kFlagsLock]->Unlock();
    OutputChanged_.store(0);
    WakeThread(kVideoThread); // it decodes once there are targets to draw into
}

void ssMediaDecoder3::ReleaseRenderResources()
{
    VideoReady_.store(0);
    if (!ContextCurrent_)
        return;
    // A channel left without a file keeps nothing in GL (on a software driver its programs and
    // context alone hold megabytes); the next file's configuration makes it all again.
    if (ReleaseProgramsOnExit_.load()) {
        Render_->ReleaseGL();
        ShadersLoaded_ = false;
    } else {
        Render_->ReleaseTargets();
    }
}

const ssFrameTarget* ssMediaDecoder3::GetFrameTarget(int32_t index) const
{
    return Render_->GetSlot(index);
}

bool ssMediaDecoder3::CopyFramePixels(int32_t index, int32_t width, int32_t height, uint8_t* destination,
                                      size_t bytes)
{
    const size_t frameBytes = size_t(width) * size_t(height) * 2;
    std::lock_guard present(PresentLock_);
    const ssFrameTarget* target = GetFrameTarget(index);
    if (!target || !target->pixels || width <= 0 || target->rowBytes != width * 2 || target->byteSize < frameBytes ||
        bytes > frameBytes)
        return false;
    std::memcpy(destination, target->pixels, bytes);
    return true;
}

uint32_t ssMediaDecoder3::AcquireFrameTexture(int32_t slot)
{
    std::lock_guard present(PresentLock_);
    return Render_->AcquireFrameTexture(slot);
}

ssDisplayGL* ssMediaDecoder3::GetDisplay() const
{
    return Render_->GetDisplay();
}

void ssMediaDecoder3::SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w,
                                      float h)
{
    Render_->SetOverlayImage(width, height, rgba, x, y, w, h);
}

void ssMediaDecoder3::FadeOverlay(int32_t direction, float fadeTime)
{
    Render_->SetFrameDuration(FrameDuration_.load());
    Render_->FadeOverlay(direction, fadeTime);
}

int32_t ssMediaDecoder3::SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba)
{
    Render_->SetSlateImage(width, height, rgba);
    // A slate stands for a cued position: a cue already playing goes on as it is.
    if (GetThreadState() == ssStatePlaying)
        return 0;
    // A new frame is rendered with it, where the cue stands.
    Seek(TransportPosition(), 0);
    SlateShowing_.store(ShowSlate_.load());
    WakeThread(kRenderThread);
    return SlateShowing_.load();
}

void ssMediaDecoder3::SetAnamorphic(int32_t flag)
{
    Render_->SetAnamorphic(flag);
}

void ssMediaDecoder3::GetOutputSize(int32_t* width, int32_t* height) const
{
    Render_->GetOutputSize(width, height);
}
