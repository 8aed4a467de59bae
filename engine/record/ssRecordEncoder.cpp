#include "engine/record/ssRecordEncoder.h"

#include "engine/base/ssChangeStamp.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/capture/ssDeckLinkInput.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/decoder/ssDecoderTypes.h"
#include "engine/record/ssMovieWriter.h"
#include "engine/record/ssRecordPreview.h"
#include "platform/encode/ProResFlavours.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kEncoderPriority = 99;
constexpr int kMonitorBlocks = 96;
// Largest audio a captured frame carries: 16 channels of a 23.98 frame period, with room to spare.
constexpr size_t kFrameAudioReserve = 16 * 2 * 2048;

} // namespace

ssRecordEncoder::ssRecordEncoder(const char* bundlePath)
{
    resourceDirectory_ = std::string(bundlePath ? bundlePath : "") + "/Contents/Resources";
    for (FrameRecord& record : records_)
        record.audio.reserve(kFrameAudioReserve);
}

ssRecordEncoder::~ssRecordEncoder()
{
    // No new frames, but the thread's shutdown still writes what is inside the compressor: a
    // recording stopped just before the channel closes keeps its last frames.
    accepting_.store(0);
    SetState(kShutdown);
    if (threadRunning_) {
        thread_.Join();
        threadRunning_ = false;
    } else if (writer_) {
        writer_->Finish();
    }
    if (monitor_)
        monitor_->Abort();
    monitor_.reset();
    for (SAMPLE_HEADER& block : monitorBlocks_)
        std::free(block.data);
    stateLock_.Lock();
    writer_.reset();
    stateLock_.Unlock();
}

void ssRecordEncoder::SetFilePath(const char* path)
{
    filePath_ = path ? path : "";
}

void ssRecordEncoder::SetAudioMonitor(int32_t enabled)
{
    audioMonitor_.store(enabled);
}

void ssRecordEncoder::SetState(int32_t state)
{
    stateLock_.Lock();
    state_ = state;
    stateLock_.Unlock();
}

int32_t ssRecordEncoder::GetState()
{
    stateLock_.Lock();
    const int32_t state = state_;
    stateLock_.Unlock();
    return state;
}

void ssRecordEncoder::StopThread()
{
    if (!threadRunning_)
        return;
    // The previous recording, if any, is finished before the thread ends.
    SetState(kShutdown);
    thread_.Join();
    threadRunning_ = false;
}

int32_t ssRecordEncoder::Open(int32_t width, int32_t height, int32_t interlaced, int32_t audioChannels,
                              double durationLimit, double frameRate, int32_t codecIndex)
{
    StopThread();
    recording_.store(0);
    width_ = width;
    height_ = height;
    codecIndex_ = codecIndex;
    frameInterval_ = 1.0 / frameRate * 1.01;
    // Standard-definition NTSC is the one interlaced format whose bottom field comes first.
    const int32_t bottomFirst = interlaced && height == 486 ? 1 : 0;

    // The session first: an H.264 movie's sample description carries the encoder's parameter sets.
    std::string error;
    int32_t result = 0;
    const platform::encode::ProResFlavour* flavour = platform::encode::proResFlavour(codecIndex);
    if (flavour) {
        platform::encode::ProResSettings settings;
        settings.width = width;
        settings.height = height;
        settings.codecIndex = codecIndex;
        settings.interlaced = interlaced != 0;
        settings.topFieldFirst = !bottomFirst;
        settings.frameRate = frameRate;
        h264_.close();
        session_ = &proRes_;
        result = proRes_.open(settings, &error);
        slotSize_ = int32_t(double(width) * double(height) * flavour->bytesPerPixel);
    } else {
        platform::encode::H264Settings settings;
        settings.width = width;
        settings.height = height;
        settings.interlaced = interlaced != 0;
        settings.topFieldFirst = !bottomFirst;
        settings.frameRate = frameRate;
        proRes_.close();
        session_ = &h264_;
        result = h264_.open(settings, &error);
        slotSize_ = int32_t(platform::encode::H264Session::maxFrameBytes(width, height) + ssMovieWriter::kFillerRoom);
    }

    auto writer = std::make_unique<ssMovieWriter>();
    writer->SetCodecIndex(codecIndex);
    if (!flavour)
        writer->SetDecoderConfiguration(h264_.decoderConfiguration());
    const int32_t opened = result != 0 ? -1
                                       : writer->Open(filePath_.c_str(), width, height, interlaced, bottomFirst,
                                                      frameRate, durationLimit, audioChannels, slotSize_);
    stateLock_.Lock();
    writer_ = std::move(writer);
    stateLock_.Unlock();
    if (result != 0) {
        ssMessage(0, "Compression session failed: %s", error.c_str());
        return result;
    }
    submitted_ = 0;

    audioChannels_ = audioChannels;
    if (!monitor_) {
        monitor_ = std::make_unique<ssAudioMTosx>();
        monitorQueue_ = std::make_unique<ssEBuffer>(kMonitorBlocks);
        monitorBlocks_.assign(kMonitorBlocks, {});
        for (int i = 0; i < kMonitorBlocks; ++i)
            monitorQueue_->SetSlot(&monitorBlocks_[size_t(i)], i);
    } else {
        monitor_->Abort();
        monitor_->ClearQueues();
        monitorQueue_->Flush();
    }
    monitorQueue_->SetUserData(std::max(audioChannels, 1));
    monitor_->Configure(nullptr, std::max(audioChannels, 1), 4, 1, ssOutputSampleRate);
    monitor_->AddQueue(monitorQueue_.get());
    monitor_->Start();
    monitor_->Play();
    monitorStart_ = -2;

    SetState(kEncoding);
    const int created = thread_.Create(kEncoderPriority, this, &ssRecordEncoder::ThreadEntry, ssEngineThreadStackSize);
    if (created != 0) {
        ssMessage(0, "Couldn't start the record encoder thread (%d)", created);
        return -1;
    }
    threadRunning_ = true;
    return opened == 0 ? 0 : -1;
}

void ssRecordEncoder::SetInputBuffer(ssSEBuffer* ring)
{
    // Reader 0 exists with the ring and is the encoder's; the preview follows it without ever
    // holding the card up (a paused preview must not cost the recording frames).
    previewReader_ = -1;
    if (ring) {
        previewReader_ = ring->AddFollower();
        if (previewReader_ < 0)
            previewReader_ = ring->AddReader();
    }
    ring_.store(ring);
}

void ssRecordEncoder::Start()
{
    stateLock_.Lock();
    state_ = kStart;
    recording_.store(0);
    accepting_.store(0);
    stateLock_.Unlock();
    timer_.Reset();
}

void ssRecordEncoder::StartRecording()
{
    stateLock_.Lock();
    state_ = kStart;
    firstFrameTime_.store(-1);
    lastWrittenTime_.store(-1);
    limitReached_.store(0);
    if (Input_)
        Input_->NoSignalCount_.store(0);
    recording_.store(1);
    accepting_.store(1);
    stateLock_.Unlock();
    timer_.Reset();
}

void ssRecordEncoder::StopRecording()
{
    // Frames taken from now on stay out of the file; the encoder thread writes what is still
    // being compressed, then finishes the file.
    accepting_.store(0);
    SetState(kStopRecording);
}

int32_t ssRecordEncoder::GetNoSignalFrameCount()
{
    if (!recording_.load() || !Input_)
        return 0;
    return Input_->NoSignalCount_.exchange(0);
}

int64_t ssRecordEncoder::GetEstimatedFileSize(int32_t codecIndex, double seconds)
{
    stateLock_.Lock();
    const double rate = writer_ ? writer_->GetFrameRate() : 0;
    const bool haveWriter = writer_ != nullptr;
    stateLock_.Unlock();
    if (!haveWriter)
        return 0;
    return EstimateFileSize(codecIndex, width_, height_, rate, audioChannels_, seconds);
}

int64_t ssRecordEncoder::EstimateFileSize(int32_t codecIndex, int32_t width, int32_t height, double frameRate,
                                          int32_t audioChannels, double seconds)
{
    const auto* flavour = platform::encode::proResFlavour(codecIndex);
    const double audio = seconds * audioChannels * 96000.0;
    // H.264 frames vary in size: the peak rate bounds what a recording may need.
    if (!flavour)
        return int64_t(platform::encode::H264Session::peakBytesPerSecond(width, height, frameRate) * seconds + audio);
    const auto frames = static_cast<long>((frameRate + 0.5) * seconds);
    return int64_t(double(width) * double(height) * flavour->bytesPerPixel * double(frames) + audio);
}

double ssRecordEncoder::GetElapsedTime()
{
    const double first = firstFrameTime_.load();
    if (first < 0)
        return 0;
    return lastWrittenTime_.load() - first;
}

double ssRecordEncoder::GetMaxDuration()
{
    stateLock_.Lock();
    const double limit = writer_ ? writer_->GetDurationLimit() : -1;
    stateLock_.Unlock();
    return limit;
}

int64_t ssRecordEncoder::GetWrittenFrameCount()
{
    stateLock_.Lock();
    const int64_t frames = writer_ ? writer_->GetFramesWritten() : 0;
    stateLock_.Unlock();
    return frames;
}

int64_t ssRecordEncoder::GetFrameCapacity()
{
    stateLock_.Lock();
    const int64_t frames = writer_ && writer_->GetDurationLimit() > 0 ? writer_->GetMaxFrames() : 0;
    stateLock_.Unlock();
    return frames;
}

void* ssRecordEncoder::ThreadEntry(void* self)
{
    static_cast<ssRecordEncoder*>(self)->EncodeLoop();
    return nullptr;
}

void ssRecordEncoder::EncodeLoop()
{
    // Before any recording: the compressor's first use would otherwise stall the first frames.
    WarmUp();
    int32_t state = kEncoding;
    while (state != kEnded) {
        switch (state) {
        case kIdle:
            usleep(4000);
            break;
        case kStart:
            SetState(kEncoding);
            break;
        case kEncoding:
            EncodeNextFrame();
            break;
        case kShutdown:
            FinishRecording();
            stateLock_.Lock();
            writer_.reset();
            state_ = kEnded;
            stateLock_.Unlock();
            break;
        case kHold:
            usleep(4000);
            break;
        case kStopRecording:
            FinishRecording();
            // Finishing restarted the compressor: ready it again for the next recording.
            WarmUp();
            stateLock_.Lock();
            if (state_ == kStopRecording)
                state_ = kEncoding;
            stateLock_.Unlock();
            break;
        default:
            usleep(4000);
            break;
        }
        state = GetState();
    }
}

void ssRecordEncoder::WarmUp()
{
    if (!session_->isOpen())
        return;
    if (const int result = session_->warmUp(*this); result < 0)
        ssMessage(0, "Compression warm-up failed (%d)", result);
}

void ssRecordEncoder::FinishRecording()
{
    // Frames still inside the compressor belong to the recording: write them first.
    if (session_->isOpen() && session_->framesInFlight() > 0)
        session_->drain(*this);
    recording_.store(0);
    accepting_.store(0);
    if (writer_)
        writer_->Finish();
}

void ssRecordEncoder::EncodeNextFrame()
{
    ssSEBuffer* ring = ring_.load();
    if (!ring) {
        usleep(4000);
        return;
    }
    ssCaptureFrame* slot = nullptr;
    if (ring->Read(0, &slot, 10) != 0)
        return;
    const auto* audio = reinterpret_cast<const uint8_t*>(slot->Audio_);
    const int32_t audioBytes = slot->HasAudio_ && audio ? slot->AudioBytes_ : 0;
    if (audioMonitor_.load())
        Monitor(audio, audioBytes, slot->VideoTime_);
    if (!recording_.load() || !accepting_.load() || !session_->isOpen())
        return;
    // The ring may hand the slot to the card again once we return: keep what the file needs.
    FrameRecord& record = records_[submitted_ % int64_t(std::size(records_))];
    record.time = slot->VideoTime_;
    record.timecode = slot->Timecode_;
    record.audio.assign(audio, audio + audioBytes);
    record.audioBytes = audioBytes;
    const int result = session_->encode(slot->Pixels_, slot->RowBytes_, submitted_, *this);
    ++submitted_;
    if (result < 0)
        ssMessage(0, "Compression failed (%d)", result);
    if (limitReached_.exchange(0)) {
        // The duration limit ended the recording inside the compressor's callback.
        FinishRecording();
    }
}

void ssRecordEncoder::Monitor(const uint8_t* samples, int32_t bytes, double time)
{
    SAMPLE_HEADER* block = nullptr;
    if (!monitorQueue_ || monitorQueue_->GetWriteSlot(&block, 1) != 0)
        return;
    const int32_t needed = bytes * 2; // 16-bit samples become 32-bit
    if (block->capacity < needed) {
        auto* grown = static_cast<uint8_t*>(std::realloc(block->data, size_t(needed) + 64));
        if (!grown) {
            monitorQueue_->CommitWrite(1);
            return;
        }
        block->data = grown;
        block->capacity = needed;
    }
    auto* out = reinterpret_cast<int32_t*>(block->data);
    const int32_t count = bytes / 2;
    if (samples) {
        int16_t sample = 0;
        for (int32_t i = 0; i < count; ++i) {
            std::memcpy(&sample, samples + 2 * i, 2);
            out[i] = int32_t(sample) * 65536;
        }
    } else {
        std::fill(out, out + count, 0);
    }
    block->filled = count * 4;
    block->time = time;
    monitorQueue_->CommitWrite(0);
    monitorStart_ = monitorStart_ == -1 ? 1 : monitorStart_ + 1;
}

void ssRecordEncoder::compressedFrame(const uint8_t* data, int size, int64_t tag)
{
    if (!recording_.load() || tag < 0 || !writer_)
        return;
    FrameRecord& record = records_[tag % int64_t(std::size(records_))];
    if (firstFrameTime_.load() < 0) {
        firstFrameTime_.store(record.time);
        // One period before the first frame, so the loop below writes the first frame too.
        lastWrittenTime_.store(record.time - frameInterval_ / 1.01);
        writer_->SetStartTimecode(record.timecode);
    }
    double last = lastWrittenTime_.load();
    int passes = 0;
    while (last < record.time) {
        if (passes > 0) {
            // A made-up frame carries silence.
            std::fill(record.audio.begin(), record.audio.end(), uint8_t(0));
            if (audioMonitor_.load())
                Monitor(nullptr, record.audioBytes, record.time);
        }
        writer_->WriteAudio(record.audio.data(), record.audioBytes);
        if (writer_->WriteVideo(data, size) == -3)
            oversizeFrames_.fetch_add(1);
        ++passes;
        last += frameInterval_;
        lastWrittenTime_.store(last);
        if (last - firstFrameTime_.load() > writer_->GetDurationLimit()) {
            recording_.store(0);
            limitReached_.store(1);
            break;
        }
    }
    if (passes > 1) {
        ssMessage(0, "repeated %d frames", passes - 1);
        repeatedFrames_.fetch_add(passes - 1);
    }
    if (passes > 0 || last < record.time)
        lastWrittenTime_.store(record.time);
}

const ssCaptureFrame* ssRecordEncoder::PollPreview()
{
    const ssCaptureFrame* shown = nullptr;
    ssCaptureFrame* slot = nullptr;
    ssSEBuffer* ring = ring_.load();
    if (ring && previewReader_ > 0 && ring->ReadLatest(previewReader_, &slot, 5) == 0) {
        shown = slot;
        noSignal_.store(false);
        emptyPolls_ = 0;
        lastPreviewTime_ = slot->VideoTime_;
    } else if (++emptyPolls_ >= 12) {
        noSignal_.store(true);
    }
    if (++previewCount_ % 20 == 0 && recording_.load()) {
        auto health = [](float headroom) { return headroom < 0.25f ? kCritical : headroom < 0.4f ? kLow : kHealthy; };
        if (ring) {
            const float input = float(ring->Headroom(0)) / float(ring->GetSlotCount());
            inputHeadroom_.store(input);
            inputState_.store(health(input));
        }
        stateLock_.Lock();
        const float writer = writer_ ? writer_->GetQueueHeadroom() : 1.0f;
        stateLock_.Unlock();
        writerHeadroom_.store(writer);
        writerState_.store(health(writer));
    }
    return shown;
}

uint64_t ssRecordEncoder::PreviewStamp()
{
    ssChangeStamp stamp;
    ssSEBuffer* ring = ring_.load();
    stamp.Add(ring ? ring->CommitCount() : uint64_t(0)).Add(noSignal_.load());
    stamp.Add(std::max(inputState_.load(), writerState_.load()));
    float levels[16] = {};
    const int32_t channels = monitor_ ? monitor_->GetLevels(levels, 16) : 0;
    stamp.Add(channels);
    for (int32_t i = 0; i < channels; ++i)
        stamp.AddLevelDb(levels[i]);
    return stamp.Value();
}

int32_t ssRecordEncoder::DrawPreview(float x, float y, float width, float height)
{
    if (!preview_)
        preview_ = std::make_unique<ssRecordPreview>(resourceDirectory_.c_str());
    const ssCaptureFrame* frame = PollPreview();
    float levels[16] = {};
    const int32_t channels = monitor_ ? monitor_->GetLevels(levels, 16) : 0;
    const int32_t health = std::max(inputState_.load(), writerState_.load());
    return preview_->Draw(frame, noSignal_.load(), levels, channels, health, x, y, width, height);
}
