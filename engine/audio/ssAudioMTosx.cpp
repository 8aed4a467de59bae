#include "engine/audio/ssAudioMTosx.h"

#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "platform/audio/AudioOutputHub.h"

#include <algorithm>

ssAudioMTosx::~ssAudioMTosx()
{
    Close();
}

int32_t ssAudioMTosx::Open()
{
    {
        // Set before the voice exists: the hub's thread calls renderVoice from then on.
        std::lock_guard callback(callbackLock_);
        sampleDuration_ = 1.0 / sampleRate_;
    }
    std::lock_guard lock(voiceLock_);
    if (!voice_)
        voice_ = platform::AudioOutputHub::shared().addVoice(this, channels_);
    if (!voice_)
        return -1;
    voice_->setGain(volume_.load());
    return 0;
}

int32_t ssAudioMTosx::Close()
{
    // Once the hub has dropped the voice, the output thread never calls back into this object.
    std::lock_guard lock(voiceLock_);
    if (voice_)
        platform::AudioOutputHub::shared().removeVoice(voice_);
    voice_ = nullptr;
    return 0;
}

int32_t ssAudioMTosx::Configure(ssAudioClockMaster* engine, int32_t channels, int32_t bytesPerSample,
                                int32_t interleaved, int32_t sampleRate)
{
    Close();
    engine_.store(engine);
    channels_ = std::clamp(channels, 1, platform::AudioVoice::kMaxChannels);
    bytesPerSample_ = bytesPerSample;
    interleaved_ = interleaved;
    sampleRate_ = sampleRate > 0 ? sampleRate : ssOutputSampleRate;
    abort_.store(0);
    int32_t result = Open();
    state_.store(kStopped);
    return result;
}

int32_t ssAudioMTosx::Start()
{
    // The hub's stream runs while any voice exists; a configured output is already being pulled.
    std::lock_guard lock(voiceLock_);
    return voice_ ? 0 : -1;
}

int32_t ssAudioMTosx::Play()
{
    state_.store(kPlaying);
    // A stream that rested while nothing played runs again before the first block is due.
    platform::AudioOutputHub::shared().wake();
    return 0;
}

bool ssAudioMTosx::sounding() const
{
    // Paused or stopped, the voice is silent and its clock stands still.
    return state_.load() == kPlaying && !abort_.load();
}

int32_t ssAudioMTosx::Pause()
{
    state_.store(kPaused);
    // Wait out a callback that started before the state changed; the next one only resets.
    std::lock_guard lock(callbackLock_);
    ResetLeftovers();
    return 0;
}

int32_t ssAudioMTosx::Abort()
{
    abort_.store(1);
    Close();
    std::lock_guard lock(callbackLock_);
    ResetLeftovers();
    return 0;
}

double ssAudioMTosx::GetClock()
{
    return clock_.load() - platform::AudioOutputHub::shared().streamLatency();
}

int32_t ssAudioMTosx::SetVolume(float gain)
{
    volume_.store(std::clamp(gain, 0.0f, 1.0f));
    std::lock_guard lock(voiceLock_);
    if (voice_)
        voice_->setGain(volume_.load());
    return 0;
}

int32_t ssAudioMTosx::GetLevels(float* decibels, int32_t count)
{
    std::lock_guard lock(voiceLock_);
    return voice_ ? voice_->levels(decibels, count) : 0;
}

void ssAudioMTosx::ClearQueues()
{
    std::lock_guard lock(callbackLock_);
    queueCount_ = 0;
    std::fill(std::begin(queues_), std::end(queues_), nullptr);
    ResetLeftovers();
}

void ssAudioMTosx::AddQueue(ssEBuffer* queue)
{
    std::lock_guard lock(callbackLock_);
    if (queueCount_ < ssMaxAudioStreams)
        queues_[queueCount_++] = queue;
}

void ssAudioMTosx::SetMaster(ssAudioClockMaster* master, double offset)
{
    masterOffset_.store(offset);
    master_.store(master);
}

void ssAudioMTosx::ResetLeftovers()
{
    std::fill(std::begin(leftover_), std::end(leftover_), nullptr);
    std::fill(std::begin(leftoverPosition_), std::end(leftoverPosition_), 0);
}

SAMPLE_HEADER* ssAudioMTosx::NextBlock(ssEBuffer* queue)
{
    SAMPLE_HEADER* block = nullptr;
    ssAudioClockMaster* master = master_.load();
    if (!master || !master->IsPlaying()) {
        if (queue->Peek(&block) != 0)
            return nullptr;
        return queue->Read(&block, 0) == 0 ? block : nullptr;
    }
    // Linked: play only blocks that are due on the master's clock; drop those already past.
    const double reference = master->GetAudioClock() + masterOffset_.load();
    return ssTakeDuePacket<SAMPLE_HEADER>(
        [&]() -> SAMPLE_HEADER* { return queue->Peek(&block) == 0 ? block : nullptr; },
        [&] { queue->Read(&block, 0); },
        [&](const SAMPLE_HEADER& next) { return reference - next.time; }, kSyncTolerance);
}

void ssAudioMTosx::renderVoice(int32_t* samples, int frames, int channels)
{
    std::lock_guard lock(callbackLock_);
    if (abort_.load())
        return;
    if (state_.load() != kPlaying) {
        ResetLeftovers();
        return;
    }
    if (queueCount_ == 0) {
        // No audio: the clock still runs so the picture keeps its pace.
        clock_.store(clock_.load() + frames * sampleDuration_);
        return;
    }
    int channelBase = 0;
    for (int s = 0; s < queueCount_; ++s) {
        ssEBuffer* queue = queues_[s];
        const int streamChannels = queue->GetUserData();
        if (streamChannels <= 0)
            continue;
        const int frameBytes = 4 * streamChannels;
        int done = 0;
        while (done < frames) {
            SAMPLE_HEADER* block = leftover_[s];
            int position = leftoverPosition_[s];
            if (!block || position + frameBytes > block->filled) {
                block = NextBlock(queue);
                position = 0;
                leftover_[s] = block;
                if (!block)
                    break;
                if (s == 0)
                    clock_.store(block->time);
            }
            int n = std::min((block->filled - position) / frameBytes, frames - done);
            const auto* source = reinterpret_cast<const int32_t*>(block->data + position);
            const int copyChannels = std::min(streamChannels, channels - channelBase);
            for (int i = 0; i < n && copyChannels > 0; ++i) {
                int32_t* out = samples + size_t(done + i) * size_t(channels) + size_t(channelBase);
                std::copy_n(source + size_t(i) * size_t(streamChannels), copyChannels, out);
            }
            position += n * frameBytes;
            leftoverPosition_[s] = position;
            done += n;
            if (s == 0)
                clock_.store(clock_.load() + n * sampleDuration_);
        }
        if (done < frames) {
            // Starved: the rest is silence and the clock runs on over it.
            leftover_[s] = nullptr;
            leftoverPosition_[s] = 0;
            if (s == 0)
                clock_.store(clock_.load() + (frames - done) * sampleDuration_);
        }
        channelBase += streamChannels;
    }
}
