// The four worker threads: starting and stopping them, their state words and the queues they
// share.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssThread.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {
// Which lock guards which thread's state word.
constexpr int kLockOf[4] = {1 /* video */, 2 /* render */, 3 /* audio */, 0 /* reader */};
// A resting thread waits for its wake event without a period: every change it waits for wakes
// it, so a timed look would only find nothing.
constexpr int kRestMilliseconds = INT32_MAX;
} // namespace

void ssMediaDecoder3::StartThread(int index, int priority, void* (*loop)(void*))
{
    if (Threads_[index]) {
        Threads_[index]->Detach();
        delete Threads_[index];
    }
    Threads_[index] = new ssThread();
    Threads_[index]->Create(priority, this, loop, ssEngineThreadStackSize);
}

void ssMediaDecoder3::EndThread(int index)
{
    if (!Threads_[index])
        return;
    Threads_[index]->Join();
    Threads_[index]->Detach();
    delete Threads_[index];
    Threads_[index] = nullptr;
}

void ssMediaDecoder3::StartThreads()
{
    delete DecodedVideoQueue_;
    DecodedVideoQueue_ = new ssEBuffer(ssDecodedFrameCount);
    delete FrameRing_;
    FrameRing_ = new ssSEBuffer(ssFrameRingSize, ssFrameRingReserve);
    // Reader 0, the presenting side, is the only reader: the preview shows the frame it took.
    PreviewSlot_.store(-1);
    OutputChanged_.store(1);
    if (CreateVideoQueue_) {
        const int capacity = int(FrameRate_ * 4);
        delete VideoPacketQueue_;
        VideoPacketQueue_ = new ssEBuffer(capacity);
        for (int i = 0; i < capacity && i < PacketCount_; ++i) {
            PacketHolders_[i].inUse = 0;
            VideoPacketQueue_->SetSlot(&PacketHolders_[i], i);
        }
        CreateVideoQueue_ = 0;
    }
    ConnectQueueWakes();
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
    if (AudioOutput_)
        AudioOutput_->Pause();
    SetThreadStates(ssStatePaused);
}

void ssMediaDecoder3::ConnectQueueWakes()
{
    if (VideoPacketQueue_)
        VideoPacketQueue_->SetWakeEvents(&Wakes_[kReaderThread], &Wakes_[kVideoThread]);
    if (DecodedVideoQueue_)
        DecodedVideoQueue_->SetWakeEvents(&Wakes_[kVideoThread], &Wakes_[kRenderThread]);
    if (FrameRing_)
        FrameRing_->SetWriterWake(&Wakes_[kRenderThread]);
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        if (AudioPacketQueues_[j])
            AudioPacketQueues_[j]->SetWakeEvents(&Wakes_[kReaderThread], &Wakes_[kAudioThread]);
        // Emptied by the audio output or the card's audio: nobody in the engine waits for blocks.
        if (SampleQueues_[j])
            SampleQueues_[j]->SetWakeEvents(&Wakes_[kAudioThread], nullptr);
    }
}

void ssMediaDecoder3::EndRound(int thread, bool worked)
{
    ThreadPasses_.fetch_add(1, std::memory_order_relaxed);
    AcknowledgeAtRoundEnd(thread);
    if (worked)
        return;
    // Signals that came while the thread worked or rested all ask for the same look: one pass.
    Wakes_[thread].Wait(kRestMilliseconds);
    Wakes_[thread].Drain();
}

void ssMediaDecoder3::WakeThreads()
{
    for (ssEvent& wake : Wakes_)
        wake.Signal();
}

void ssMediaDecoder3::StopThreads()
{
    Locks_[kReaderLock]->Lock();
    ThreadStates_[kReaderThread].store(ssStateExit);
    Locks_[kVideoLock]->Lock();
    ThreadStates_[kVideoThread].store(ssStateExit);
    Locks_[kVideoLock]->Unlock();
    Locks_[kReaderLock]->Unlock();
    WakeThread(kReaderThread);
    WakeThread(kVideoThread);
    if (Threads_[kRenderThread]) {
        EndThread(kVideoThread);
        EndThread(kReaderThread);
        Locks_[kRenderLock]->Lock();
        ThreadStates_[kRenderThread].store(ssStateExit);
        Locks_[kRenderLock]->Unlock();
        WakeThread(kRenderThread);
        EndThread(kRenderThread);
    }
    EndThread(kVideoThread);
    EndThread(kReaderThread);
    VideoReady_.store(0);
    for (int thread : {kVideoThread, kRenderThread, kReaderThread}) {
        Locks_[kLockOf[thread]]->Lock();
        ThreadStates_[thread].store(ssStatePaused);
        Locks_[kLockOf[thread]]->Unlock();
    }
}

void ssMediaDecoder3::StopAudioThread()
{
    Locks_[kAudioLock]->Lock();
    ThreadStates_[kAudioThread].store(ssStateExit);
    Locks_[kAudioLock]->Unlock();
    WakeThread(kAudioThread);
    EndThread(kAudioThread);
    Locks_[kAudioLock]->Lock();
    ThreadStates_[kAudioThread].store(ssStatePaused);
    Locks_[kAudioLock]->Unlock();
    // The output lets go of the queues before they are freed.
    if (AudioOutput_) {
        AudioOutput_->Abort();
        AudioOutput_->ClearQueues();
    }
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        delete AudioPacketQueues_[j];
        AudioPacketQueues_[j] = nullptr;
        if (SampleHeaders_[j]) {
            for (int k = 0; k < ssSampleQueueLength; ++k)
                std::free(SampleHeaders_[j][k].data);
            delete[] SampleHeaders_[j];
            SampleHeaders_[j] = nullptr;
        }
        delete SampleQueues_[j];
        SampleQueues_[j] = nullptr;
    }
    for (int i = 0; i < PacketCount_; ++i) {
        if (PacketHolders_[i].inUse) {
            av_packet_unref(PacketHolders_[i].packet);
            PacketHolders_[i].inUse = 0;
        }
    }
    AudioStreamCount_ = 0;
}

bool ssMediaDecoder3::HoldAudioDecoding()
{
    if (!Threads_[kAudioThread])
        return false;
    Locks_[kAudioLock]->Lock();
    ThreadStates_[kAudioThread].store(ssStatePauseRequest);
    Locks_[kAudioLock]->Unlock();
    WakeThread(kAudioThread);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ReadState(kAudioThread) != ssStateAcknowledged && std::chrono::steady_clock::now() < deadline)
        usleep(400);
    return true;
}

void ssMediaDecoder3::FlushPacketQueues()
{
    for (int i = 0; i < PacketCount_; ++i) {
        if (PacketHolders_[i].packet)
            av_packet_unref(PacketHolders_[i].packet);
        PacketHolders_[i].inUse = 0;
    }
    QueuedVideoBytes_.store(0);
    for (int j = 0; j < AudioStreamCount_; ++j) {
        if (AudioPacketQueues_[j])
            AudioPacketQueues_[j]->Flush();
        if (SampleQueues_[j])
            SampleQueues_[j]->Flush();
        if (SampleHeaders_[j])
            for (int k = 0; k < ssSampleQueueLength; ++k)
                SampleHeaders_[j][k].filled = 0;
    }
}

int32_t ssMediaDecoder3::ReadState(int thread)
{
    ssCriticalSection* lock = Locks_[kLockOf[thread]];
    lock->Lock();
    int32_t state = ThreadStates_[thread].load();
    lock->Unlock();
    return state;
}

int32_t ssMediaDecoder3::GetThreadState()
{
    return ReadState(kReaderThread);
}

void ssMediaDecoder3::AcknowledgeAtRoundEnd(int thread)
{
    ssCriticalSection* lock = Locks_[kLockOf[thread]];
    lock->Lock();
    if (ThreadStates_[thread].load() == ssStatePauseRequest)
        ThreadStates_[thread].store(ssStateAcknowledged);
    lock->Unlock();
}

void ssMediaDecoder3::LockThreadStates()
{
    Locks_[kReaderLock]->Lock();
    Locks_[kVideoLock]->Lock();
    Locks_[kAudioLock]->Lock();
    Locks_[kRenderLock]->Lock();
}

void ssMediaDecoder3::UnlockThreadStates()
{
    Locks_[kRenderLock]->Unlock();
    Locks_[kAudioLock]->Unlock();
    Locks_[kVideoLock]->Unlock();
    Locks_[kReaderLock]->Unlock();
}

bool ssMediaDecoder3::StatesAre(int32_t state) const
{
    return ThreadStates_[kReaderThread].load() == state && ThreadStates_[kVideoThread].load() == state &&
           ThreadStates_[kRenderThread].load() == state &&
           (AudioStreamCount_ == 0 || ThreadStates_[kAudioThread].load() == state);
}

void ssMediaDecoder3::SetThreadStates(int32_t state)
{
    LockThreadStates();
    for (auto& word : ThreadStates_)
        word.store(state);
    UnlockThreadStates();
    WakeThreads();
}

bool ssMediaDecoder3::SetThreadStatesFrom(int32_t from, int32_t to)
{
    LockThreadStates();
    const bool all = StatesAre(from);
    if (all)
        for (auto& word : ThreadStates_)
            word.store(to);
    UnlockThreadStates();
    if (all)
        WakeThreads();
    return all;
}

bool ssMediaDecoder3::AllThreadsInState(int32_t state)
{
    LockThreadStates();
    const bool all = StatesAre(state);
    UnlockThreadStates();
    return all;
}
