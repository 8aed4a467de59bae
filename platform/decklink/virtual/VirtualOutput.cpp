#include "platform/decklink/virtual/VirtualOutput.h"

#include "platform/clock/MonotonicClock.h"
#include "platform/decklink/virtual/VirtualObjects.h"

#include <algorithm>
#include <cstring>

namespace platform::decklink {
namespace {

constexpr int kMaxDimension = 8192;
// Frames that may wait to be shown; more is an application fault, refused rather than hoarded.
constexpr size_t kMaxScheduledFrames = 1024;
// The embedded audio buffer holds one second.
constexpr size_t kAudioBufferFrames = kAudioSampleRate48kHz;
// Below two periods of audio (and never below two 20 ms blocks) the card asks for more.
constexpr size_t kMinAudioWatermark = 1920;
// Requests per period when the application adds little each time.
constexpr int kMaxAudioRequestsPerPeriod = 8;

// The time code a frame carries; read directly from the card's own frames, through the interface
// from frames the application made itself.
TapTimecode sentTimecode(IDeckLinkVideoFrame* frame, TimecodeFormat format)
{
    if (auto* own = dynamic_cast<VirtualVideoFrame*>(frame)) {
        const TimecodeValue v = own->timecode(format);
        return TapTimecode{v.present, v.hours, v.minutes, v.seconds, v.frames, v.flags};
    }
    TapTimecode tap;
    IDeckLinkTimecode* timecode = nullptr;
    if (frame->GetTimecode(format, &timecode) == kOk && timecode) {
        tap.present = timecode->GetComponents(&tap.hours, &tap.minutes, &tap.seconds, &tap.frames) == kOk;
        tap.flags = timecode->GetFlags();
        timecode->Release();
    }
    return tap;
}

} // namespace

VirtualOutput::VirtualOutput(std::shared_ptr<CardState> card) : card_(std::move(card))
{
    queue_.reserve(64);
    completions_.reserve(64);
}

VirtualOutput::~VirtualOutput()
{
    pacer_.stop();
    std::lock_guard lock(mutex_);
    takeAllLocked();
    for (const auto& c : completions_)
        c.frame->Release();
}

Result VirtualOutput::GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator)
{
    if (!iterator)
        return kInvalidArgument;
    *iterator = new VirtualDisplayModeIterator(card_->config().modes);
    return kOk;
}

Result VirtualOutput::EnableVideoOutput(DisplayModeId mode, VideoOutputFlags flags)
{
    Result forced;
    if (card_->takeFailure(EnableCall::VideoOutput, &forced))
        return forced;
    const ModeSpec* spec = card_->findMode(mode);
    if (!spec)
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (playing_)
        return kFail;
    mode_ = spec;
    flags_ = flags;
    return kOk;
}

Result VirtualOutput::DisableVideoOutput()
{
    const bool fromPlayout = pacer_.onPacingThread();
    pacer_.stop();
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        mode_ = nullptr;
        flags_ = 0;
        // From inside a callback the playout thread flushes as it ends.
        if (!fromPlayout)
            takeAllLocked();
    }
    if (!fromPlayout)
        reportCompletions();
    return kOk;
}

Result VirtualOutput::CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, PixelFormat format,
                                       FrameFlags flags, IDeckLinkMutableVideoFrame** frame)
{
    if (!frame)
        return kInvalidArgument;
    *frame = nullptr;
    const long minimum = minimumRowBytes(format, width);
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension || minimum == 0 ||
        rowBytes < minimum)
        return kInvalidArgument;
    auto* created = new VirtualVideoFrame(width, height, rowBytes, format, flags);
    if (!created->bytes()) {
        created->Release();
        return kOutOfMemory;
    }
    *frame = created;
    return kOk;
}

Result VirtualOutput::CreateAncillaryData(PixelFormat format, IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return kInvalidArgument;
    *ancillary = nullptr;
    std::lock_guard lock(mutex_);
    if (!mode_ || minimumRowBytes(format, 2) == 0)
        return kFail;
    *ancillary = new VirtualAncillary(format, mode_->id);
    return kOk;
}

Result VirtualOutput::SetScheduledFrameCompletionCallback(IDeckLinkVideoOutputCallback* callback)
{
    videoCallback_.set(callback);
    return kOk;
}

Result VirtualOutput::ScheduleVideoFrame(IDeckLinkVideoFrame* frame, TimeValue displayTime, TimeValue,
                                         TimeScale timeScale)
{
    if (!frame || timeScale <= 0)
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (!mode_ || frame->GetWidth() != mode_->width || frame->GetHeight() != mode_->height)
        return kFail;
    if (queue_.size() >= kMaxScheduledFrames)
        return kFail;
    const TimeValue time = rescale(displayTime, timeScale, mode_->timeScale);
    const auto at = std::upper_bound(queue_.begin(), queue_.end(), time,
                                     [](TimeValue t, const Scheduled& s) { return t < s.time; });
    frame->AddRef();
    queue_.insert(at, Scheduled{frame, time});
    return kOk;
}

Result VirtualOutput::StartScheduledPlayback(TimeValue playbackStartTime, TimeScale timeScale, double playbackSpeed)
{
    if (timeScale <= 0 || playbackSpeed != 1.0)
        return kInvalidArgument;
    pacer_.reap(); // a playback stopped from its own callback
    std::lock_guard lock(mutex_);
    if (!mode_ || playing_ || pacer_.running())
        return kFail;
    startStreamTime_ = rescale(playbackStartTime, timeScale, mode_->timeScale);
    tick_ = 0;
    audioTotal_ = 0;
    playing_ = true;
    pacer_.start(
        *mode_,
        [this](int64_t k) {
            refillAudio(k);
            playPeriod(k);
        },
        [this] { finishPlayback(); });
    return kOk;
}

Result VirtualOutput::StopScheduledPlayback(TimeValue, TimeValue* actualStopTime, TimeScale timeScale)
{
    TimeValue stoppedAt = 0;
    {
        std::lock_guard lock(mutex_);
        if (!playing_)
            return kOk;
        playing_ = false;
        if (mode_ && timeScale > 0)
            stoppedAt = rescale(startStreamTime_ + tick_ * mode_->frameDuration, mode_->timeScale, timeScale);
    }
    if (actualStopTime)
        *actualStopTime = stoppedAt;
    pacer_.stop();
    return kOk;
}

Result VirtualOutput::GetScheduledStreamTime(TimeScale timeScale, TimeValue* streamTime, double* playbackSpeed)
{
    if (!streamTime || timeScale <= 0)
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (!playing_ || !mode_) {
        *streamTime = 0;
        if (playbackSpeed)
            *playbackSpeed = 0.0;
        return kOk;
    }
    *streamTime = rescale(startStreamTime_ + tick_ * mode_->frameDuration, mode_->timeScale, timeScale);
    if (playbackSpeed)
        *playbackSpeed = 1.0;
    return kOk;
}

Result VirtualOutput::GetHardwareReferenceClock(TimeScale timeScale, TimeValue* hardwareTime, TimeValue* timeInFrame,
                                                TimeValue* ticksPerFrame)
{
    if (!hardwareTime || !timeInFrame || !ticksPerFrame || timeScale <= 0)
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (!mode_)
        return kFail;
    // The reference is the clock's own grid: period n starts at periodStartNs(n) from its origin.
    const int64_t nowNs = currentClock().now();
    int64_t period = FramePacer::nextReferencePeriod(*mode_, nowNs);
    if (mode_->periodStartNs(period) > nowNs)
        --period;
    const int64_t intoPeriodNs = nowNs - mode_->periodStartNs(period);
    *ticksPerFrame = rescale(mode_->frameDuration, mode_->timeScale, timeScale);
    *timeInFrame = TimeValue((__int128(intoPeriodNs) * timeScale) / 1'000'000'000);
    *hardwareTime = rescale(TimeValue(period) * mode_->frameDuration, mode_->timeScale, timeScale) + *timeInFrame;
    return kOk;
}

Result VirtualOutput::EnableAudioOutput(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount,
                                        AudioOutputStreamType)
{
    Result forced;
    if (card_->takeFailure(EnableCall::AudioOutput, &forced))
        return forced;
    if (!isSupportedAudio(sampleRate, sampleType, channelCount))
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (playing_)
        return kFail;
    audioEnabled_ = true;
    channels_ = channelCount;
    sampleType_ = sampleType;
    bytesPerFrame_ = audioBytesPerFrame(sampleType, channelCount);
    audioRing_.assign(kAudioBufferFrames * bytesPerFrame_, 0);
    // A period is at most one second (modes run at 1 frame per second or faster).
    audioPeriod_.assign(kAudioBufferFrames * bytesPerFrame_, 0);
    ringRead_ = ringFill_ = 0;
    return kOk;
}

Result VirtualOutput::DisableAudioOutput()
{
    std::lock_guard lock(mutex_);
    audioEnabled_ = false;
    ringRead_ = ringFill_ = 0;
    return kOk;
}

Result VirtualOutput::SetAudioCallback(IDeckLinkAudioOutputCallback* callback)
{
    audioCallback_.set(callback);
    return kOk;
}

Result VirtualOutput::ScheduleAudioSamples(const void* buffer, uint32_t sampleFrameCount, TimeValue, TimeScale,
                                           uint32_t* sampleFramesWritten)
{
    if (sampleFramesWritten)
        *sampleFramesWritten = 0;
    if (!buffer && sampleFrameCount > 0)
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (!audioEnabled_)
        return kFail;
    const size_t n = std::min<size_t>(sampleFrameCount, kAudioBufferFrames - ringFill_);
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
        const size_t at = (ringRead_ + ringFill_) % kAudioBufferFrames;
        const size_t chunk = std::min(n - done, kAudioBufferFrames - at);
        std::memcpy(audioRing_.data() + at * bytesPerFrame_, in + done * bytesPerFrame_, chunk * bytesPerFrame_);
        ringFill_ += chunk;
        done += chunk;
    }
    if (sampleFramesWritten)
        *sampleFramesWritten = uint32_t(n);
    return kOk;
}

Result VirtualOutput::GetReferenceStatus(ReferenceStatus* status)
{
    if (!status)
        return kInvalidArgument;
    *status = card_->referenceLocked.load() ? kReferenceLocked : 0;
    return kOk;
}

void VirtualOutput::finishPlayback()
{
    {
        std::lock_guard lock(mutex_);
        takeAllLocked();
    }
    reportCompletions();
    videoCallback_.call([](IDeckLinkVideoOutputCallback* cb) { cb->ScheduledPlaybackHasStopped(); });
}

void VirtualOutput::refillAudio(int64_t k)
{
    // The application is asked at the card's pace: only while less than two periods are buffered,
    // and only as long as each request adds something.
    OutputStats delta;
    for (int i = 0; i < kMaxAudioRequestsPerPeriod; ++i) {
        size_t before = 0;
        {
            std::lock_guard lock(mutex_);
            if (!audioEnabled_ || !mode_)
                break;
            const size_t period = size_t(mode_->audioFramesIn(k));
            if (ringFill_ >= std::max(2 * period, kMinAudioWatermark))
                break;
            before = ringFill_;
        }
        if (!audioCallback_.call([](IDeckLinkAudioOutputCallback* cb) { cb->RenderAudioSamples(false); }))
            break;
        ++delta.audioCallbacks;
        std::lock_guard lock(mutex_);
        if (ringFill_ <= before)
            break;
    }
    card_->updateOutput(delta);
}

void VirtualOutput::playPeriod(int64_t k)
{
    ShownFrame shown;
    ConsumedAudio audio;
    OutputStats delta;
    OutputTap* const tap = card_->tap.load();
    const bool audioWanted = tap && tap->wantsAudio();
    {
        std::lock_guard lock(mutex_);
        if (!mode_)
            return;
        tick_ = k;
        const TimeValue now = startStreamTime_ + k * mode_->frameDuration;
        // Frames due by the end of this period; only the newest of them goes on air.
        const auto due = std::lower_bound(queue_.begin(), queue_.end(), now + mode_->frameDuration,
                                          [](const Scheduled& s, TimeValue t) { return s.time < t; });
        completions_.clear();
        if (due != queue_.begin()) {
            const Scheduled& newest = *(due - 1);
            if (onAir_)
                completions_.push_back({onAir_, onAirResult_});
            for (auto it = queue_.begin(); it != due - 1; ++it)
                completions_.push_back({it->frame, CompletionResult::Dropped});
            onAir_ = newest.frame;
            onAirResult_ = newest.time >= now ? CompletionResult::Completed : CompletionResult::DisplayedLate;
            queue_.erase(queue_.begin(), due);
        } else {
            shown.repeated = true;
            ++delta.repeatedTicks;
        }
        shown.tick = k;
        shown.referencePeriod = pacer_.firstReferencePeriod() + k;
        shown.streamTime = now;
        shown.frame = onAir_;
        shown.result = onAirResult_;
        if (onAir_ && (flags_ & kVideoOutputRP188)) {
            shown.vitc1 = sentTimecode(onAir_, kTimecodeRP188VITC1);
            shown.vitc2 = sentTimecode(onAir_, kTimecodeRP188VITC2);
        }

        if (audioEnabled_) {
            const size_t period = size_t(mode_->audioFramesIn(k));
            const size_t take = std::min(period, ringFill_);
            size_t done = 0;
            while (done < take) {
                const size_t chunk = std::min(take - done, kAudioBufferFrames - ringRead_);
                if (audioWanted)
                    std::memcpy(audioPeriod_.data() + done * bytesPerFrame_,
                                audioRing_.data() + ringRead_ * bytesPerFrame_, chunk * bytesPerFrame_);
                ringRead_ = (ringRead_ + chunk) % kAudioBufferFrames;
                ringFill_ -= chunk;
                done += chunk;
            }
            if (audioWanted)
                std::memset(audioPeriod_.data() + take * bytesPerFrame_, 0, (period - take) * bytesPerFrame_);
            audioTotal_ += int64_t(period);
            audio.samples = audioWanted ? audioPeriod_.data() : nullptr;
            audio.frames = uint32_t(period);
            audio.underrunFrames = uint32_t(period - take);
            audio.channels = channels_;
            audio.sampleType = sampleType_;
            audio.totalFrames = audioTotal_;
            delta.audioFrames += int64_t(period);
            delta.audioUnderrunFrames += int64_t(period - take);
        }
    }
    card_->updateOutput(delta);
    reportCompletions();
    if (tap) {
        tap->frameShown(shown);
        if (audio.samples)
            tap->audioConsumed(audio);
    }
}

void VirtualOutput::takeAllLocked()
{
    // Nothing completes normally once playback ends, the frame on air included.
    if (onAir_)
        completions_.push_back({onAir_, CompletionResult::Flushed});
    onAir_ = nullptr;
    for (const auto& s : queue_)
        completions_.push_back({s.frame, CompletionResult::Flushed});
    queue_.clear();
}

void VirtualOutput::reportCompletions()
{
    OutputStats delta;
    for (const auto& c : completions_) {
        videoCallback_.call([&](IDeckLinkVideoOutputCallback* cb) { cb->ScheduledFrameCompleted(c.frame, c.result); });
        switch (c.result) {
        case CompletionResult::Completed: ++delta.completed; break;
        case CompletionResult::DisplayedLate: ++delta.late; break;
        case CompletionResult::Dropped: ++delta.dropped; break;
        case CompletionResult::Flushed: ++delta.flushed; break;
        }
        c.frame->Release();
    }
    completions_.clear();
    card_->updateOutput(delta);
}

} // namespace platform::decklink
