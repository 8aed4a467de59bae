// The four worker threads: starting and stopping them, their state words and the queues they
// share.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssThread.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"

#include <chrono>
#include <cstdlib>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {
// Which lock guards which thread's state word.
constexpr int kLockOf[4] = {1 /* video */, 2 /* render */, 3 /* audio */, 0 /* reader */};
} // namespace

void ssMediaDecoder3::StartThread(int index, int priority, void* (*loop)(void*))
{
    if (m_Threads[index]) {
        m_Threads[index]->Detach();
        delete m_Threads[index];
    }
    m_Threads[index] = new ssThread();
    m_Threads[index]->Create(priority, this, loop, ssEngineThreadStackSize);
}

void ssMediaDecoder3::EndThread(int index)
{
    if (!m_Threads[index])
        return;
    m_Threads[index]->Join();
    m_Threads[index]->Detach();
    delete m_Threads[index];
    m_Threads[index] = nullptr;
}

void ssMediaDecoder3::StartThreads()
{
    delete m_DecodedVideoQueue;
    m_DecodedVideoQueue = new ssEBuffer(ssDecodedFrameCount);
    delete m_FrameRing;
    m_FrameRing = new ssSEBuffer(ssFrameRingSize, ssFrameRingReserve);
    // Reader 0, the presenting side, is the only reader: the preview shows the frame it took.
    m_PreviewSlot.store(-1);
    m_OutputChanged.store(1);
    if (m_CreateVideoQueue) {
        const int capacity = int(m_FrameRate * 4);
        delete m_VideoPacketQueue;
        m_VideoPacketQueue = new ssEBuffer(capacity);
        for (int i = 0; i < capacity && i < m_PacketCount; ++i) {
            m_PacketHolders[i].inUse = 0;
            m_VideoPacketQueue->SetSlot(&m_PacketHolders[i], i);
        }
        m_CreateVideoQueue = 0;
    }
    StartThread(kVideoThread, 60, [](void* self) -> void* {
        static_cast<ssMediaDecoder3*>(self)->VideoDecodeLoop();
        return nullptr;
    });
    StartThread(kRenderThread, 80, [](void* self) -> void* {
        static_cast<ssMediaDecoder3*>(self)->RenderLoop();
        return nullptr;
    });
    StartThread(kReaderThread, 40, [](void* self) -> void* {
        static_cast<ssMediaDecoder3*>(self)->ReaderLoop();
        return nullptr;
    });
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    SetThreadStates(ssStatePaused);
}

void ssMediaDecoder3::StopThreads()
{
    m_Locks[kReaderLock]->Lock();
    m_ThreadStates[kReaderThread].store(ssStateExit);
    m_Locks[kVideoLock]->Lock();
    m_ThreadStates[kVideoThread].store(ssStateExit);
    m_Locks[kVideoLock]->Unlock();
    m_Locks[kReaderLock]->Unlock();
    if (m_Threads[kRenderThread]) {
        EndThread(kVideoThread);
        EndThread(kReaderThread);
        m_Locks[kRenderLock]->Lock();
        m_ThreadStates[kRenderThread].store(ssStateExit);
        m_Locks[kRenderLock]->Unlock();
        EndThread(kRenderThread);
    }
    EndThread(kVideoThread);
    EndThread(kReaderThread);
    m_VideoReady.store(0);
    for (int thread : {kVideoThread, kRenderThread, kReaderThread}) {
        m_Locks[kLockOf[thread]]->Lock();
        m_ThreadStates[thread].store(ssStatePaused);
        m_Locks[kLockOf[thread]]->Unlock();
    }
}

void ssMediaDecoder3::StopAudioThread()
{
    m_Locks[kAudioLock]->Lock();
    m_ThreadStates[kAudioThread].store(ssStateExit);
    m_Locks[kAudioLock]->Unlock();
    EndThread(kAudioThread);
    m_Locks[kAudioLock]->Lock();
    m_ThreadStates[kAudioThread].store(ssStatePaused);
    m_Locks[kAudioLock]->Unlock();
    // The output lets go of the queues before they are freed.
    if (m_AudioOutput) {
        m_AudioOutput->Abort();
        m_AudioOutput->ClearQueues();
    }
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        delete m_AudioPacketQueues[j];
        m_AudioPacketQueues[j] = nullptr;
        if (m_SampleHeaders[j]) {
            for (int k = 0; k < ssSampleQueueLength; ++k)
                std::free(m_SampleHeaders[j][k].data);
            delete[] m_SampleHeaders[j];
            m_SampleHeaders[j] = nullptr;
        }
        delete m_SampleQueues[j];
        m_SampleQueues[j] = nullptr;
    }
    for (int i = 0; i < m_PacketCount; ++i) {
        if (m_PacketHolders[i].inUse) {
            av_packet_unref(m_PacketHolders[i].packet);
            m_PacketHolders[i].inUse = 0;
        }
    }
    m_AudioStreamCount = 0;
}

bool ssMediaDecoder3::HoldAudioDecoding()
{
    if (!m_Threads[kAudioThread])
        return false;
    m_Locks[kAudioLock]->Lock();
    m_ThreadStates[kAudioThread].store(ssStatePauseRequest);
    m_Locks[kAudioLock]->Unlock();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ReadState(kAudioThread) != ssStateAcknowledged && std::chrono::steady_clock::now() < deadline)
        usleep(400);
    return true;
}

void ssMediaDecoder3::FlushPacketQueues()
{
    for (int i = 0; i < m_PacketCount; ++i) {
        if (m_PacketHolders[i].packet)
            av_packet_unref(m_PacketHolders[i].packet);
        m_PacketHolders[i].inUse = 0;
    }
    for (int j = 0; j < m_AudioStreamCount; ++j) {
        if (m_AudioPacketQueues[j])
            m_AudioPacketQueues[j]->Flush();
        if (m_SampleQueues[j])
            m_SampleQueues[j]->Flush();
        if (m_SampleHeaders[j])
            for (int k = 0; k < ssSampleQueueLength; ++k)
                m_SampleHeaders[j][k].filled = 0;
    }
}

int32_t ssMediaDecoder3::ReadState(int thread)
{
    ssCriticalSection* lock = m_Locks[kLockOf[thread]];
    lock->Lock();
    int32_t state = m_ThreadStates[thread].load();
    lock->Unlock();
    return state;
}

int32_t ssMediaDecoder3::GetThreadState()
{
    return ReadState(kReaderThread);
}

void ssMediaDecoder3::AcknowledgeAtRoundEnd(int thread)
{
    ssCriticalSection* lock = m_Locks[kLockOf[thread]];
    lock->Lock();
    if (m_ThreadStates[thread].load() == ssStatePauseRequest)
        m_ThreadStates[thread].store(ssStateAcknowledged);
    lock->Unlock();
}

void ssMediaDecoder3::SetThreadStates(int32_t state)
{
    m_Locks[kReaderLock]->Lock();
    m_Locks[kVideoLock]->Lock();
    m_Locks[kAudioLock]->Lock();
    m_Locks[kRenderLock]->Lock();
    for (auto& word : m_ThreadStates)
        word.store(state);
    m_Locks[kRenderLock]->Unlock();
    m_Locks[kAudioLock]->Unlock();
    m_Locks[kVideoLock]->Unlock();
    m_Locks[kReaderLock]->Unlock();
}

bool ssMediaDecoder3::AllThreadsInState(int32_t state)
{
    m_Locks[kReaderLock]->Lock();
    m_Locks[kVideoLock]->Lock();
    m_Locks[kAudioLock]->Lock();
    m_Locks[kRenderLock]->Lock();
    bool all = m_ThreadStates[kReaderThread].load() == state && m_ThreadStates[kVideoThread].load() == state &&
               m_ThreadStates[kRenderThread].load() == state &&
               (m_AudioStreamCount == 0 || m_ThreadStates[kAudioThread].load() == state);
    m_Locks[kRenderLock]->Unlock();
    m_Locks[kAudioLock]->Unlock();
    m_Locks[kVideoLock]->Unlock();
    m_Locks[kReaderLock]->Unlock();
    return all;
}
