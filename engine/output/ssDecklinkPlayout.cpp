#include "engine/output/ssDecklinkPlayout.h"

#include "engine/base/ssMessage.h"
#include "engine/output/ssDecklinkOutput.h"
#include "engine/render/ssRenderTypes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace platform::decklink;

namespace {
constexpr int32_t kStateStopped = 3;
} // namespace

// The card's callbacks; the playout owns them, so reference counting is not used. Each runs
// under the playout's log name: what the card's threads log names the channel.
class ssDecklinkPlayout::VideoDelegate final : public IDeckLinkVideoOutputCallback {
public:
    explicit VideoDelegate(ssDecklinkPlayout* owner) : owner_(owner) {}
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    Result ScheduledFrameCompleted(IDeckLinkVideoFrame*, CompletionResult result) override
    {
        const ssMessageScope logName(owner_->LogName_);
        owner_->ScheduleNextFrame(result);
        return kOk;
    }
    Result ScheduledPlaybackHasStopped() override { return kOk; }

private:
    ssDecklinkPlayout* owner_;
};

class ssDecklinkPlayout::AudioDelegate final : public IDeckLinkAudioOutputCallback {
public:
    explicit AudioDelegate(ssDecklinkPlayout* owner) : owner_(owner) {}
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    Result RenderAudioSamples(bool) override
    {
        const ssMessageScope logName(owner_->LogName_);
        owner_->RenderAudioSamples();
        return kOk;
    }

private:
    ssDecklinkPlayout* owner_;
};

ssDecklinkPlayout::ssDecklinkPlayout(ssPlayoutSource* source, const char* logName)
    : Source_(source), LogName_(logName)
{
    AudioBlock_.resize(kAudioBufSize / sizeof(int32_t));
}

ssDecklinkPlayout::~ssDecklinkPlayout()
{
    Stop();
}

bool ssDecklinkPlayout::ReferenceLocked() const
{
    platform::decklink::ReferenceStatus status = 0;
    return Output_ && Output_->GetReferenceStatus(&status) == platform::decklink::kOk &&
           (status & platform::decklink::kReferenceLocked) != 0;
}

int32_t ssDecklinkPlayout::Start(ssDecklinkOutput* device, int32_t modeIndex)
{
    Stop();
    if (!device || !device->CanPlay() || !device->GetOutput() || device->GetModeCount() <= 0)
        return -1;
    if (modeIndex < 0 || modeIndex >= device->GetModeCount())
        modeIndex = 0;
    IDeckLinkDisplayMode* mode = device->GetDisplayMode(modeIndex);
    IDeckLinkOutput* output = device->GetOutput();

    Result r = output->EnableVideoOutput(mode->GetDisplayMode(), kVideoOutputRP188);
    if (!succeeded(r)) {
        if (r == kAccessDenied)
            ssMessage(0, "Access Denied");
        else if (r == kOutOfMemory)
            ssMessage(0, "Out of memory");
        else
            ssMessage(0, "Uh oh, mode not supported");
        r = output->EnableVideoOutput(mode->GetDisplayMode(), kVideoOutputDefault);
        if (!succeeded(r))
            return -1; // without video there is nothing to play out
    }
    output->AddRef();
    Output_ = output;

    Width_ = int32_t(mode->GetWidth());
    Height_ = int32_t(mode->GetHeight());
    Interlaced_ = mode->GetFieldDominance() != FieldDominance::Progressive ? 1 : 0;
    mode->GetFrameRate(&FrameDuration_, &TimeScale_);
    FrameRate_ = FrameDuration_ > 0 ? float(double(TimeScale_) / double(FrameDuration_)) : 0.0f;

    if (!succeeded(output->CreateAncillaryData(kFormat10BitYUV, &Ancillary_))) {
        Ancillary_ = nullptr;
        ssMessage(0, "Timecode output via BM SDK not available ");
    }
    VideoDelegate_ = std::make_unique<VideoDelegate>(this);
    output->SetScheduledFrameCompletionCallback(VideoDelegate_.get());

    const size_t bytes = FrameBytes();
    for (int32_t i = 0; i < kCardFrames; ++i) {
        ScheduledAt_[i] = INT64_MIN / 2;
        if (succeeded(output->CreateVideoFrame(Width_, Height_, Width_ * 2, kFormat8BitYUV, kFrameDefault,
                                               &Frames_[i])) && Frames_[i]) {
            void* frameBytes = nullptr;
            if (succeeded(Frames_[i]->GetBytes(&frameBytes)) && frameBytes)
                ssFillBlack2vuy(static_cast<uint8_t*>(frameBytes), bytes);
            Picture_[i] = frameBytes ? kBlackPicture : ++PictureSerial_;
            if (Ancillary_)
                Frames_[i]->SetAncillaryData(Ancillary_);
        } else {
            Frames_[i] = nullptr;
        }
    }

    // Frames scheduled after the preroll follow it: counting from 0 again would put each of them
    // in the past, shown late for as long as playback runs.
    LastFrame_ = kPrerollFrames - 1;
    NextFrame_ = kPrerollFrames % kCardFrames;
    for (int32_t i = 0; i < kPrerollFrames; ++i) {
        if (Frames_[i])
            output->ScheduleVideoFrame(Frames_[i], TimeValue(i) * FrameDuration_, FrameDuration_, TimeScale_);
        ScheduledAt_[i] = i;
        FrameOfScheduled_[i % kScheduledRecord] = i;
    }
    ScheduledCount_ = kPrerollFrames;
    LastNewPicture_ = -1;

    ReleaseLeftovers();
    AudioDelegate_ = std::make_unique<AudioDelegate>(this);
    output->SetAudioCallback(AudioDelegate_.get());
    r = output->EnableAudioOutput(kAudioSampleRate48kHz, AudioSampleType::Integer32, kAudioChannels,
                                  AudioOutputStreamType::Continuous);
    AudioEnabled_ = succeeded(r);
    if (!AudioEnabled_)
        ssMessage(0, "Error opening Blackmagic audio device %d", r);
    AudioClock_.store(0.0);
    ReferenceOrigin_.store(kUnknownOrigin);
    output->StartScheduledPlayback(0, TimeScale_, 1.0);
    return 0;
}

void ssDecklinkPlayout::Stop()
{
    if (!Output_)
        return;
    TimeValue stoppedAt = 0;
    Output_->StopScheduledPlayback(0, &stoppedAt, 0);
    Output_->DisableVideoOutput();
    Output_->DisableAudioOutput();
    Output_->SetAudioCallback(nullptr);
    Output_->SetScheduledFrameCompletionCallback(nullptr);
    VideoDelegate_.reset();
    AudioDelegate_.reset();
    for (int32_t i = 0; i < kCardFrames; ++i) {
        if (Frames_[i])
            Frames_[i]->Release();
        Frames_[i] = nullptr;
        Picture_[i] = ++PictureSerial_;
    }
    if (Ancillary_)
        Ancillary_->Release();
    Ancillary_ = nullptr;
    ReleaseLeftovers();
    Output_->Release();
    Output_ = nullptr;
    AudioEnabled_ = false;
}

void ssDecklinkPlayout::ScheduleNextFrame(CompletionResult result)
{
    if (result == CompletionResult::Flushed || !Output_)
        return;
    std::lock_guard schedule(ScheduleLock_);
    int32_t state = 0;
    ssOutputPeriod period;
    period.duration = GetPeriodDuration();
    period.displayTime = double(ReferencePeriodOfScheduled()) * period.duration;
    const int32_t slot = Source_->GetFrameForOutput(&state, period);
    const bool fresh = slot >= 0 && slot < ssRenderSlotCount;
    int32_t index = LastFrame_;
    if (state == kStateStopped && Source_->GetPlaybackBehavior() != 2) {
        // Black goes into a free frame too, so a picture still waiting to air is not blacked early.
        index = CardFrameForRepeat(kBlackPicture);
        void* bytes = nullptr;
        if (Picture_[index] != kBlackPicture && Frames_[index] && succeeded(Frames_[index]->GetBytes(&bytes)) &&
            bytes) {
            ssFillBlack2vuy(static_cast<uint8_t*>(bytes), FrameBytes());
            Picture_[index] = kBlackPicture;
        }
    } else if (fresh && WriteSlot(index = FreeCardFrame(), slot)) {
        LastNewPicture_ = ScheduledCount_;
    } else {
        // The picture on air stays (a slot whose picture cannot be read holds it too, rather than
        // airing whatever a free card frame held before): a copy of it, so that no two waiting
        // periods share a card frame.
        index = CardFrameForRepeat(Picture_[LastFrame_]);
        if (Picture_[index] != Picture_[LastFrame_])
            WriteCopy(index, LastFrame_);
    }
    IDeckLinkMutableVideoFrame* frame = Frames_[index];
    if (!frame)
        return;
    if (Ancillary_ && Source_->GetTimeCodeOutput() != 0)
        WriteTimecode(frame);
    Output_->ScheduleVideoFrame(frame, TimeValue(ScheduledCount_) * FrameDuration_, FrameDuration_,
                                 TimeScale_);
    ScheduledAt_[index] = ScheduledCount_;
    FrameOfScheduled_[ScheduledCount_ % kScheduledRecord] = index;
    ++ScheduledCount_;
    if (index != LastFrame_)
        NextFrame_ = (index + 1) % kCardFrames;
    LastFrame_ = index;
}

bool ssDecklinkPlayout::WriteSlot(int32_t index, int32_t slot)
{
    void* bytes = nullptr;
    if (!Frames_[index] || !succeeded(Frames_[index]->GetBytes(&bytes)) || !bytes)
        return false;
    if (!Source_->CopyFramePixels(slot, static_cast<uint8_t*>(bytes), FrameBytes()))
        return false;
    Picture_[index] = ++PictureSerial_;
    return true;
}

void ssDecklinkPlayout::WriteCopy(int32_t index, int32_t from)
{
    void* to = nullptr;
    void* bytes = nullptr;
    if (index == from || !Frames_[index] || !Frames_[from] || !succeeded(Frames_[index]->GetBytes(&to)) || !to ||
        !succeeded(Frames_[from]->GetBytes(&bytes)) || !bytes)
        return;
    std::memcpy(to, bytes, FrameBytes());
    Picture_[index] = Picture_[from];
}

bool ssDecklinkPlayout::MayStillAir(int32_t index) const
{
    // Frames handed to the card within the lead (and the one on air) may still be read.
    return index == LastFrame_ || ScheduledAt_[index] >= ScheduledCount_.load() - (kPrerollFrames + 1);
}

int32_t ssDecklinkPlayout::FreeCardFrame() const
{
    int32_t oldest = LastFrame_;
    for (int32_t k = 0; k < kCardFrames; ++k) {
        const int32_t i = (NextFrame_ + k) % kCardFrames;
        if (!Frames_[i])
            continue;
        if (!MayStillAir(i))
            return i;
        if (ScheduledAt_[i] < ScheduledAt_[oldest] || !Frames_[oldest])
            oldest = i;
    }
    return oldest;
}

int32_t ssDecklinkPlayout::CardFrameForRepeat(uint64_t picture) const
{
    int32_t best = -1;
    bool bestHolds = false;
    for (int32_t i = 0; i < kCardFrames; ++i) {
        if (!Frames_[i] || MayStillAir(i))
            continue;
        const bool holds = Picture_[i] == picture;
        // Least recently handed over first: the frames a new picture would take next stay free longest.
        if (best < 0 || (holds && !bestHolds) || (holds == bestHolds && ScheduledAt_[i] < ScheduledAt_[best])) {
            best = i;
            bestHolds = holds;
        }
    }
    return best >= 0 ? best : LastFrame_;
}

double ssDecklinkPlayout::RewritablePeriodTime()
{
    int64_t now = 0;
    const int64_t origin = ReferenceOrigin_.load();
    if (!Output_ || origin == kUnknownOrigin || !CurrentReferencePeriod(&now))
        return -1.0;
    // The period after the one on air is chosen on the card's side already and may be read any
    // moment; the one after it is at least a whole period away.
    const int64_t first = std::max(now + 2, origin + LastNewPicture_ + 1);
    const int64_t end = ScheduledCount_.load();
    const int64_t from = std::max<int64_t>({now - origin, end - kScheduledRecord, 0});
    for (int64_t q = std::max<int64_t>(first - origin, 0); q < end; ++q)
        for (int64_t other = from; other < end; ++other)
            if (other != q && FrameOfScheduled_[other % kScheduledRecord] == FrameOfScheduled_[q % kScheduledRecord])
                return -1.0;
    return double(first) * GetPeriodDuration();
}

void ssDecklinkPlayout::RechooseScheduledFrom(double displayTime)
{
    const double duration = GetPeriodDuration();
    const int64_t origin = ReferenceOrigin_.load();
    if (!Output_ || origin == kUnknownOrigin || duration <= 0.0)
        return;
    const int64_t end = ScheduledCount_.load();
    int32_t previous = -1;
    for (int64_t q = std::max<int64_t>(std::llround(displayTime / duration) - origin, end - kScheduledRecord);
         q < end; ++q) {
        const int32_t index = FrameOfScheduled_[q % kScheduledRecord];
        ssOutputPeriod period;
        period.duration = duration;
        period.displayTime = double(origin + q) * duration;
        int32_t state = 0;
        const int32_t slot = Source_->GetFrameForOutput(&state, period);
        if (slot >= 0 && slot < ssRenderSlotCount && WriteSlot(index, slot)) {
            LastNewPicture_ = q;
        } else if (previous >= 0 && Picture_[index] != Picture_[previous])
            WriteCopy(index, previous); // nothing new yet: the play's frame before stays on air
        if (Ancillary_ && Source_->GetTimeCodeOutput() != 0 && Frames_[index])
            WriteTimecode(Frames_[index]);
        previous = index;
    }
}

double ssDecklinkPlayout::GetPeriodDuration() const
{
    return TimeScale_ > 0 ? double(FrameDuration_) / double(TimeScale_) : 0.0;
}

bool ssDecklinkPlayout::CurrentReferencePeriod(int64_t* period)
{
    TimeValue hardwareTime = 0, timeInFrame = 0, ticksPerFrame = 0;
    if (!Output_ || FrameDuration_ <= 0 ||
        !succeeded(Output_->GetHardwareReferenceClock(TimeScale_, &hardwareTime, &timeInFrame, &ticksPerFrame)))
        return false;
    *period = (hardwareTime - timeInFrame) / FrameDuration_;
    return true;
}

int64_t ssDecklinkPlayout::ReferencePeriodOfScheduled()
{
    int64_t now = 0;
    TimeValue streamTime = 0;
    double speed = 0.0;
    if (CurrentReferencePeriod(&now) && succeeded(Output_->GetScheduledStreamTime(TimeScale_, &streamTime, &speed))) {
        const int64_t origin = now - streamTime / FrameDuration_;
        if (origin < ReferenceOrigin_.load())
            ReferenceOrigin_.store(origin);
    }
    const int64_t origin = ReferenceOrigin_.load();
    return (origin == kUnknownOrigin ? 0 : origin) + ScheduledCount_.load();
}

double ssDecklinkPlayout::NextFreePeriodTime()
{
    // Counted from the reference alone, not from how far this card has scheduled: every card on
    // the reference gives the same answer within a period, so channels started together (linked
    // or all at once) start in the same period. During period p frames are chosen up to p + 2;
    // p + 4 leaves a period for a choice being made right now.
    int64_t period = 0;
    if (CurrentReferencePeriod(&period))
        period += kPrerollFrames + 1;
    else if (const int64_t origin = ReferenceOrigin_.load(); origin != kUnknownOrigin)
        period = origin + ScheduledCount_.load() + 1;
    return double(period) * GetPeriodDuration();
}

void ssDecklinkPlayout::WriteTimecode(IDeckLinkMutableVideoFrame* frame)
{
    double t = Source_->GetPosition();
    if (Source_->GetTimeCodeOutput() == 2)
        t = Source_->GetDuration() - t;
    const int32_t rate = std::max(1, int32_t(std::lround(FrameRate_)));
    const double frameDuration = TimeScale_ > 0 ? double(FrameDuration_) / double(TimeScale_) : 0.0;
    ssTimecodeParts parts = ssSdiTimecodeAt(t, frameDuration, rate, Source_->GetStartTimeCode());
    ssRP188Write slots[2];
    const int32_t count = ssRP188Slots(Interlaced_ != 0, FrameRate_, &parts, slots);
    for (int32_t i = 0; i < count; ++i) {
        const Result r = frame->SetTimecodeFromComponents(slots[i].format, uint8_t(parts.hours),
                                                          uint8_t(parts.minutes), uint8_t(parts.seconds),
                                                          uint8_t(parts.frames), slots[i].flags);
        if (!succeeded(r))
            ssMessage(0, "Could not set VITC1 timecode on interlaced frame - result = %08x", unsigned(r));
    }
}

void ssDecklinkPlayout::ReleaseLeftovers()
{
    for (int32_t s = 0; s < kMaxStreams; ++s) {
        if (Leftover_[s].samples)
            Source_->ReleaseAudioPacket(s);
        Leftover_[s] = {};
        LeftoverPosition_[s] = 0;
    }
}

int32_t ssDecklinkPlayout::RenderAudioSamples()
{
    if (!Output_)
        return -1;
    int32_t* block = AudioBlock_.data();
    std::memset(block, 0, size_t(kAudioFramesPerCall) * kAudioChannels * sizeof(int32_t));
    const bool playing = Source_->AudioPlaying();
    if (playing && Source_->GetAudioStreamCount() > 0 && Source_->AudioClockStarted()) {
        FillAudio(block);
    } else {
        // Silence; while playing the clock still runs.
        if (playing)
            AudioClock_.store(AudioClock_.load() + kAudioFramesPerCall * SampleDuration_);
        Source_->DecayMeters();
        ReleaseLeftovers();
    }
    uint32_t written = 0;
    const Result r = Output_->ScheduleAudioSamples(block, kAudioFramesPerCall, 0, 0, &written);
    if (!succeeded(r) || written < uint32_t(kAudioFramesPerCall))
        ssMessage(0, "err=%d tried to write %d, %d got written", r, kAudioFramesPerCall, int(written));
    return -1;
}

// Streams lie side by side in stream order; the block carries 8 channels and whatever lies beyond
// the eighth is left out (never written into the next frame's samples). Stream 0 drives the clock.
void ssDecklinkPlayout::FillAudio(int32_t* block)
{
    const int32_t streams = std::min(Source_->GetAudioStreamCount(), kMaxStreams);
    int32_t firstChannel = 0;
    for (int32_t s = 0; s < streams; ++s) {
        const int32_t streamChannels = std::max(1, Source_->GetStreamChannels(s));
        int32_t done = 0;
        while (done < kAudioFramesPerCall) {
            ssAudioPacket& packet = Leftover_[s];
            if (!packet.samples) {
                ssAudioPacket next;
                if (Source_->PullAudioPacket(s, &next) != 0 || !next.samples || next.frames <= 0) {
                    if (s == 0)
                        AudioClock_.store(AudioClock_.load() + (kAudioFramesPerCall - done) * SampleDuration_);
                    ssMessage(2, "Audio out of data");
                    break;
                }
                packet = next;
                LeftoverPosition_[s] = 0;
                if (s == 0)
                    AudioClock_.store(packet.time);
            }
            const int32_t n = std::min(kAudioFramesPerCall - done, packet.frames - LeftoverPosition_[s]);
            const int32_t usable = std::clamp(kAudioChannels - firstChannel, 0, std::min(packet.channels, streamChannels));
            const int32_t* from = packet.samples + size_t(LeftoverPosition_[s]) * size_t(packet.channels);
            int32_t* to = block + size_t(done) * kAudioChannels + firstChannel;
            for (int32_t f = 0; f < n; ++f) {
                for (int32_t c = 0; c < usable; ++c)
                    to[c] = from[c];
                to += kAudioChannels;
                from += packet.channels;
            }
            if (usable > 0)
                Source_->AccumulateMeterLevels(block + size_t(done) * kAudioChannels, n, kAudioChannels,
                                                firstChannel, usable);
            if (s == 0)
                AudioClock_.store(AudioClock_.load() + n * SampleDuration_);
            done += n;
            LeftoverPosition_[s] += n;
            if (LeftoverPosition_[s] >= packet.frames) {
                Source_->ReleaseAudioPacket(s);
                packet = {};
                LeftoverPosition_[s] = 0;
            }
        }
        firstChannel += streamChannels;
    }
}
