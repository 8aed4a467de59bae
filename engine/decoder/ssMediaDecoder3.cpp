// Construction, teardown and the engine's small setters.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssTimer.h"
#include "engine/decoder/ssAudioMTosx.h"
#include "engine/decoder/ssEngineOutputSource.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <algorithm>

ssMediaDecoder3::ssMediaDecoder3(const char* resourceBase, std::unique_ptr<ssGLContext> context)
    : m_GLContext(std::move(context))
{
    m_ResourceDir = resourceBase ? resourceBase : "";
    m_ResourceDir += "/Contents/Resources";
    m_Render = std::make_unique<ssMediaRender>(m_ResourceDir.c_str());
    for (auto*& lock : m_Locks)
        lock = new ssCriticalSection();
    m_SeekLock = new ssCriticalSection();
    m_Timer = new ssTimer();
    for (auto& state : m_ThreadStates)
        state.store(ssStatePaused);
    for (auto& adjust : m_AudioAdjust)
        adjust.store(0);
    m_Present.countdown.store(ssPostSeekFrames);
    m_TimeCodeText.clear();
}

ssMediaDecoder3::~ssMediaDecoder3()
{
    if (m_Playout || m_ScreenOutput)
        SetOutputDevice(nullptr, 0);
    Shutdown();
    // The renderer frees its GL objects (programs, lists, display); it needs the engine's context,
    // which no thread holds now. Without one, nothing of it was ever made.
    if (m_GLContext && m_GLContext->MakeCurrent()) {
        m_Render.reset();
        m_GLContext->DoneCurrent();
    }
    delete m_AudioOutput;
    delete m_Timer;
    delete m_SeekLock;
    for (auto*& lock : m_Locks) {
        delete lock;
        lock = nullptr;
    }
}

void ssMediaDecoder3::Shutdown()
{
    CloseFile();
    // The render thread may live on without a file (an output configured with nothing open).
    {
        std::lock_guard present(m_PresentLock);
        StopThreads();
    }
    if (m_AudioOutput)
        m_AudioOutput->Abort();
}
