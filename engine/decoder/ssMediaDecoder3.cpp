// Construction, teardown and the engine's small setters.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssHeapPolicy.h"
#include "engine/base/ssTimer.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/decoder/ssEngineLinks.h"
#include "engine/decoder/ssEngineOutputSource.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <algorithm>

ssMediaDecoder3::ssMediaDecoder3(const char* resourceBase, std::unique_ptr<ssGLContext> context,
                                 const char* logName)
    : LogName_(logName ? logName : ""), GLContext_(std::move(context))
{
    ssApplyHeapPolicy();
    ResourceDir_ = resourceBase ? resourceBase : "";
    ResourceDir_ += "/Contents/Resources";
    Render_ = std::make_unique<ssMediaRender>(ResourceDir_.c_str());
    for (auto*& lock : Locks_)
        lock = new ssCriticalSection();
    SeekLock_ = new ssCriticalSection();
    Timer_ = new ssTimer();
    for (auto& state : ThreadStates_)
        state.store(ssStatePaused);
    for (auto& adjust : AudioAdjust_)
        adjust.store(0);
    Present_.countdown.store(ssPostSeekFrames);
    TimeCodeText_.clear();
}

ssMediaDecoder3::~ssMediaDecoder3()
{
    if (Playout_ || ScreenOutput_)
        SetOutputDevice(nullptr, 0);
    ssEngineLinks::Forget(this);
    Shutdown();
    // The renderer frees its GL objects (programs, lists, display); it needs the engine's context,
    // which no thread holds now. Without one, nothing of it was ever made.
    if (GLContext_ && GLContext_->MakeCurrent()) {
        Render_.reset();
        GLContext_->DoneCurrent();
    }
    delete AudioOutput_;
    delete Timer_;
    delete SeekLock_;
    for (auto*& lock : Locks_) {
        delete lock;
        lock = nullptr;
    }
}

void ssMediaDecoder3::Shutdown()
{
    CloseFile();
    // The render thread may live on without a file (an output configured with nothing open).
    {
        std::lock_guard present(PresentLock_);
        StopThreads();
    }
    if (AudioOutput_)
        AudioOutput_->Abort();
}
