#include "engine/decoder/ssEngineOutputSource.h"

#include "engine/base/ssEBuffer.h"
#include "engine/base/ssHeapPolicy.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "engine/output/ssDecklinkPlayout.h"
#include "engine/output/ssPacketTiming.h"
#include "engine/render/ssMediaRender.h"

#include <algorithm>

int32_t ssEngineOutputSource::GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* state)
{
    int32_t displayWidth = 0, displayHeight = 0;
    if (const uint32_t released = engine_.ReleaseSerial(); screenSeenRelease_.exchange(released) != released)
        ssReturnFreedMemorySoon();
    return engine_.GetFrameForOutput(frameWidth, frameHeight, &displayWidth, &displayHeight, state);
}

uint32_t ssEngineOutputSource::GetFrameTexture(int32_t slot)
{
    // The screen's context waits on the GPU for the render thread's drawing of the slot.
    return engine_.AcquireFrameTexture(slot);
}

ssDisplayGL* ssEngineOutputSource::GetDisplay()
{
    return engine_.GetDisplay();
}

int32_t ssEngineOutputSource::GetFrameForOutput(int32_t* state, const ssOutputPeriod& period)
{
    // The card's audio clock times the frames this callback chooses.
    if (ssDecklinkPlayout* playout = playout_.load())
        engine_.SetSdiAudioClock(playout->GetAudioClock());
    int32_t width = 0, height = 0, displayWidth = 0, displayHeight = 0;
    return engine_.GetFrameForOutput(&width, &height, &displayWidth, &displayHeight, state, &period);
}

bool ssEngineOutputSource::CopyFramePixels(int32_t slot, uint8_t* destination, size_t bytes)
{
    ssDecklinkPlayout* playout = playout_.load();
    if (!playout || playout->GetWidth() <= 0)
        return false;
    return engine_.CopyFramePixels(slot, playout->GetWidth(), playout->GetHeight(), destination, bytes);
}

int32_t ssEngineOutputSource::GetPlaybackBehavior()
{
    return engine_.GetPlaybackBehavior();
}

double ssEngineOutputSource::GetPosition()
{
    return engine_.GetCurrentTime();
}

double ssEngineOutputSource::GetDuration()
{
    return engine_.GetDuration();
}

int32_t ssEngineOutputSource::GetTimeCodeOutput()
{
    return engine_.GetTimeCodeOutput();
}

ssTimecodeParts ssEngineOutputSource::GetStartTimeCode()
{
    int32_t parts[4] = {};
    engine_.GetTimeCodeParts(parts);
    return ssTimecodeParts{parts[0], parts[1], parts[2], parts[3]};
}

bool ssEngineOutputSource::AudioPlaying()
{
    return engine_.GetAudioOutput() == 1 && engine_.GetThreadState() == ssStatePlaying;
}

int32_t ssEngineOutputSource::GetAudioStreamCount()
{
    return engine_.GetAudioStreamCount();
}

int32_t ssEngineOutputSource::GetStreamChannels(int32_t stream)
{
    return engine_.GetStreamChannels(stream);
}

bool ssEngineOutputSource::AudioClockStarted()
{
    return engine_.GetFirstFrameShown() != 0;
}

int32_t ssEngineOutputSource::PullAudioPacket(int32_t stream, ssAudioPacket* packet)
{
    ssEBuffer* queue = engine_.GetSampleQueue(stream);
    const int32_t channels = engine_.GetStreamChannels(stream);
    if (!queue || channels <= 0 || !packet)
        return -1;
    // Sound of later passes decoded before a slave left its master's loop never plays.
    auto peek = [this, queue]() -> SAMPLE_HEADER* {
        SAMPLE_HEADER* block = nullptr;
        while (queue->Peek(&block) == 0 && block && engine_.PastLeftPass(block->time, block->rereads))
            queue->Read(&block, 0);
        return queue->Peek(&block) == 0 ? block : nullptr;
    };
    auto take = [queue] {
        SAMPLE_HEADER* block = nullptr;
        queue->Read(&block, 0);
    };
    SAMPLE_HEADER* block = nullptr;
    ssMediaDecoder3* master = engine_.GetMaster();
    if (master && master != &engine_ && master->GetThreadState() == ssStatePlaying) {
        // Linked: only blocks due on the master's clock play; late ones are dropped.
        const double reference = engine_.FollowedTime(master, master->GetPlaybackClock(), engine_.GetSlaveOffset());
        block = ssTakeDuePacket<SAMPLE_HEADER>(
            peek, take, [reference](const SAMPLE_HEADER& b) { return reference - b.time; }, ssSdiSyncTolerance);
    } else if ((block = peek()) != nullptr) {
        // Unlinked, the card's audio is the clock: every block plays in order.
        take();
    }
    if (!block || block->filled <= 0)
        return -1;
    packet->samples = reinterpret_cast<const int32_t*>(block->data);
    packet->channels = channels;
    packet->frames = block->filled / (channels * int32_t(sizeof(int32_t)));
    packet->time = block->time;
    return 0;
}

void ssEngineOutputSource::ReleaseAudioPacket(int32_t)
{
    // A block stays readable until the next one of its queue is taken; nothing to hand back.
}

void ssEngineOutputSource::AccumulateMeterLevels(const int32_t* block, int32_t frames, int32_t stride,
                                                 int32_t firstChannel, int32_t channels)
{
    // The block already holds the samples; only the renderer's accumulators (read by the preview)
    // are fed, from the stream's channels gathered out of the block's wider frames.
    if (!block || frames <= 0 || channels <= 0 || firstChannel < 0 || firstChannel + channels > stride)
        return;
    const size_t needed = size_t(frames) * size_t(channels);
    if (meterSamples_.size() < needed)
        meterSamples_.resize(needed);
    for (int32_t f = 0; f < frames; ++f) {
        for (int32_t c = 0; c < channels; ++c)
            meterSamples_[size_t(f) * size_t(channels) + size_t(c)] = block[size_t(f) * size_t(stride) + size_t(firstChannel + c)];
    }
    meterFrames_ = frames;
    engine_.GetRender().AccumulateMeterLevels(nullptr, meterSamples_.data(), frames, firstChannel, channels);
}

void ssEngineOutputSource::DecayMeters()
{
    // No audio this block: every meter falls as if it had measured a block of silence.
    constexpr int32_t kDefaultFrames = 960;
    engine_.GetRender().Meters().Decay(meterFrames_ > 0 ? meterFrames_ : kDefaultFrames);
}
