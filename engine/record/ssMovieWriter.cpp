#include "engine/record/ssMovieWriter.h"

#include "engine/base/ssMessage.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/record/ssMovieAtoms.h"
#include "engine/record/ssTimecodeNumber.h"
#include "platform/encode/ProResFlavours.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Spare room after the movie atom: the final tables may grow by a second audio-chunk entry and a
// last chunk offset, and the gap left when they shrink must hold a 'free' atom header.
constexpr int64_t kMovieAtomSlack = 64;
constexpr int kWriterPriority = 99;

void putBig32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

void putBig64(uint8_t* p, uint64_t v)
{
    putBig32(p, uint32_t(v >> 32));
    putBig32(p + 4, uint32_t(v));
}

} // namespace

ssMovieWriter::ssMovieWriter() = default;

ssMovieWriter::~ssMovieWriter()
{
    if (threadStarted_ && !finished_.load())
        Finish();
    StopThread();
    file_.Close();
}

float ssMovieWriter::GetQueueHeadroom() const
{
    if (!videoQueue_)
        return 1.0f;
    return float(videoQueue_->Headroom(0)) / float(videoQueue_->GetSlotCount());
}

int32_t ssMovieWriter::Open(const char* path, int32_t width, int32_t height, int32_t interlaced,
                            int32_t bottomFieldFirst, double frameRate, double durationLimit, int32_t audioChannels,
                            int32_t videoSlotSize)
{
    if (file_.IsOpen() || !path || width <= 0 || height <= 0 || !(frameRate > 0 && frameRate <= 1000) ||
        !(durationLimit > 0) || audioChannels < 0 || audioChannels > 16 || videoSlotSize <= 0) {
        ssMessage(0, "Couldn't open file %s", path ? path : "");
        return -1;
    }
    width_ = width;
    height_ = height;
    interlaced_ = interlaced ? 1 : 0;
    bottomFieldFirst_ = interlaced && bottomFieldFirst ? 1 : 0;
    frameRate_ = frameRate;
    slotSize_ = videoSlotSize;
    channels_ = audioChannels;
    variableSize_ = platform::encode::proResFlavour(codecIndex_) == nullptr;
    if (variableSize_ && (decoderConfiguration_.empty() || videoSlotSize <= kFillerRoom)) {
        ssMessage(0, "Couldn't open file %s", path);
        return -1;
    }

    // Movie and track durations are 32-bit counts of the time scale (or of audio samples).
    const ssMovieTimeBase base = ssTimeBaseForRate(frameRate);
    const double longest = std::floor(double(UINT32_MAX) / double(std::max<uint32_t>(base.timeScale, kSampleRate))) - 2;
    if (durationLimit > longest) {
        ssMessage(0, "Recording limit of %.0f s is longer than a movie can describe; recording stops at %.0f s",
                  durationLimit, longest);
        durationLimit = longest;
    }
    durationLimit_ = durationLimit;
    maxFrames_ = std::max<int64_t>(1, std::llround(frameRate * durationLimit));
    chunkCount_ = channels_ > 0 ? std::llround(durationLimit) : 0;

    // The frames after which each second of audio is complete.
    chunkAfterFrame_.clear();
    double sum = 0;
    const double perFrame = kSampleRate / frameRate;
    for (int64_t f = 1; f <= maxFrames_ && int64_t(chunkAfterFrame_.size()) < chunkCount_; ++f) {
        sum += perFrame;
        if (sum + 1e-6 >= kSampleRate) {
            chunkAfterFrame_.push_back(f);
            sum -= kSampleRate;
        }
    }

    if (!file_.Open(path, O_RDWR | O_CREAT | O_TRUNC)) {
        ssMessage(0, "Couldn't open file %s", path);
        return -1;
    }
    chunkSize_ = int64_t(channels_) * kSampleRate * 2;

    // Six seconds of video may wait for the disk; audio needs a chunk per second only.
    const int depth = std::max(kQueueReserve + 2, int(frameRate * 6));
    ssMessage(0, "Allocated %d MB for video q, %d MB for audio q", int(int64_t(depth) * slotSize_ / 1000000),
              int(int64_t(kAudioQueueDepth) * chunkSize_ / 1000000));
    videoQueue_ = std::make_unique<ssSEBuffer>(depth, kQueueReserve);
    videoStore_.assign(size_t(depth) * size_t(slotSize_), 0);
    videoBuffers_.assign(size_t(depth), {});
    for (int i = 0; i < depth; ++i) {
        videoBuffers_[size_t(i)].data = videoStore_.data() + size_t(i) * size_t(slotSize_);
        videoQueue_->RegisterSlot(&videoBuffers_[size_t(i)], i);
    }
    audioQueue_ = std::make_unique<ssSEBuffer>(kAudioQueueDepth, kQueueReserve);
    audioStore_.assign(size_t(kAudioQueueDepth) * size_t(chunkSize_), 0);
    audioBuffers_.assign(size_t(kAudioQueueDepth), {});
    for (int i = 0; i < kAudioQueueDepth; ++i) {
        audioBuffers_[size_t(i)].data = audioStore_.data() + size_t(i) * size_t(chunkSize_);
        audioQueue_->RegisterSlot(&audioBuffers_[size_t(i)], i);
    }
    audio_.assign(size_t(chunkSize_) * 4, 0);
    audioFill_ = 0;
    zeros_.assign(size_t(chunkSize_), 0);

    // The movie atom's size does not depend on the offsets it holds: measure it, then place the
    // media data after it and its slack.
    creationTime_ = ssMovieTimeNow();
    videoOffsets_.assign(size_t(maxFrames_), 0);
    // Until Finish every H.264 sample is its whole slot, filler included.
    sampleSizes_.assign(variableSize_ ? size_t(maxFrames_) : 0, uint32_t(slotSize_));
    audioOffsets_.assign(size_t(chunkCount_ + 1), 0);
    std::vector<uint8_t> movie = MovieAtom(maxFrames_, chunkCount_, 0);
    if (movie.empty()) {
        ssMessage(0, "Couldn't open file %s", path);
        file_.Close();
        return -1;
    }
    moovReserved_ = int64_t(movie.size()) + kMovieAtomSlack;
    payloadOffset_ = moovReserved_ + 16;
    ComputeChunkOffsets();
    movie = MovieAtom(maxFrames_, chunkCount_, 0);

    uint8_t header[16 + 8];
    const int64_t gap = moovReserved_ - int64_t(movie.size());
    putBig32(header, uint32_t(gap));
    std::memcpy(header + 4, "free", 4);
    putBig32(header + 8, 1);
    std::memcpy(header + 12, "mdat", 4);
    putBig64(header + 16, uint64_t(maxFrames_ * slotSize_ + chunkCount_ * chunkSize_ + 20));
    if (!WriteAt(movie.data(), int64_t(movie.size()), 0) || !WriteAt(header, 8, int64_t(movie.size())) ||
        !WriteAt(header + 8, 16, moovReserved_)) {
        ssMessage(0, "Couldn't open file %s", path);
        file_.Close();
        return -1;
    }
    WriteTimecodeSample();
    framesWritten_.store(0);
    chunksWritten_ = 0;
    stop_.store(0);
    finished_.store(false);
    const int created = thread_.Create(kWriterPriority, this, &ssMovieWriter::ThreadEntry, ssEngineThreadStackSize);
    if (created != 0) {
        ssMessage(0, "Couldn't start the movie writer thread (%d)", created);
        file_.Close();
        return -1;
    }
    threadStarted_ = true;
    return 0;
}

void ssMovieWriter::ComputeChunkOffsets()
{
    int64_t offset = payloadOffset_ + 4;
    size_t chunk = 0;
    for (int64_t f = 1; f <= maxFrames_; ++f) {
        videoOffsets_[size_t(f - 1)] = offset;
        offset += slotSize_;
        if (chunk < chunkAfterFrame_.size() && chunkAfterFrame_[chunk] == f) {
            audioOffsets_[chunk++] = offset;
            offset += chunkSize_;
        }
    }
    // Chunks the frames never close (a limit rounded up) go at the end.
    for (; chunk < audioOffsets_.size(); ++chunk) {
        audioOffsets_[chunk] = offset;
        offset += chunkSize_;
    }
}

std::vector<uint8_t> ssMovieWriter::MovieAtom(int64_t frames, int64_t fullChunks, int64_t partialSamples)
{
    ssMovieDescription movie;
    movie.width = width_;
    movie.height = height_;
    movie.interlaced = interlaced_;
    movie.bottomFieldFirst = bottomFieldFirst_;
    movie.frameRate = frameRate_;
    movie.codecIndex = codecIndex_;
    movie.channels = channels_;
    movie.slotSize = slotSize_;
    movie.frames = frames;
    movie.videoOffsets = videoOffsets_.data();
    movie.fullChunks = fullChunks;
    movie.partialSamples = partialSamples;
    movie.audioOffsets = audioOffsets_.data();
    movie.timecodeOffset = payloadOffset_;
    movie.creationTime = creationTime_;
    movie.sampleSizes = variableSize_ ? sampleSizes_.data() : nullptr;
    movie.decoderConfiguration = &decoderConfiguration_;
    std::unique_ptr<ssAtom> moov = ssBuildMovieAtom(movie);
    moov->Measure();
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(moov->GetTotalSize()));
    if (!moov->Layout(bytes))
        bytes.clear();
    return bytes;
}

bool ssMovieWriter::WriteAt(const void* bytes, int64_t length, int64_t offset)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t n = ::pwrite(file_.GetDescriptor(), p, size_t(length), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ssMessage(0, "Write to %s failed at %lld (%s)", file_.GetPath().c_str(), static_cast<long long>(offset),
                      std::strerror(n < 0 ? errno : EIO));
            return false;
        }
        p += n;
        length -= n;
        offset += n;
    }
    return true;
}

void ssMovieWriter::SetStartTimecode(double seconds)
{
    startFrame_ = ssTimecodeFrameNumber(seconds, frameRate_);
    // Written at once, so a recording cut off before Finish still carries its start time code.
    if (file_.IsOpen() && !finished_.load())
        WriteTimecodeSample();
}

void ssMovieWriter::WriteTimecodeSample()
{
    uint8_t sample[4];
    putBig32(sample, startFrame_);
    WriteAt(sample, 4, payloadOffset_);
}

void ssMovieWriter::WriteAudio(const void* bytes, int32_t length)
{
    if (channels_ <= 0 || !file_.IsOpen() || length <= 0 || framesWritten_.load() >= maxFrames_)
        return;
    lock_.Lock();
    if (!finished_.load()) {
        if (audioFill_ + size_t(length) > audio_.size()) {
            ssMessage(0, "AudioOverflow");
        } else {
            std::memcpy(audio_.data() + audioFill_, bytes, size_t(length));
            audioFill_ += size_t(length);
        }
    }
    lock_.Unlock();
}

int32_t ssMovieWriter::WriteVideo(const void* frame, int32_t length)
{
    if (!file_.IsOpen() || finished_.load())
        return -1;
    if (framesWritten_.load() >= maxFrames_) {
        ssMessage(0, "Reached EOF");
        return 0;
    }
    lock_.Lock();
    if (finished_.load()) {
        lock_.Unlock();
        return -1;
    }
    int32_t result = 0;
    const int64_t room = variableSize_ ? slotSize_ - kFillerRoom : slotSize_;
    if (length > room) {
        ssMessage(0, "uh oh, video frame is %d and bigger than frame size of %d", length, int(room));
        result = -3;
    }
    length = std::max(length, 0);
    VideoBuffer* video = nullptr;
    if (videoQueue_->AcquireWrite(&video, 50) != 0) {
        ssMessage(0, "Media too slow. No room to store video frame, write queue full.");
        lock_.Unlock();
        return -2;
    }
    const int64_t number = framesWritten_.load();
    if (variableSize_) {
        bool cut = false;
        const int64_t kept = FillVariableSlot(video, static_cast<const uint8_t*>(frame), length, &cut);
        if (cut)
            result = -3;
        sampleSizes_[size_t(number)] = kept > 0 ? uint32_t(kept) : uint32_t(slotSize_);
    } else {
        length = int32_t(std::min<int64_t>(length, slotSize_));
        std::memcpy(video->data, frame, size_t(length));
        std::memset(video->data + length, 0, size_t(slotSize_ - length));
        video->length = slotSize_;
        video->fillerEnd = false;
    }
    video->offset = videoOffsets_[size_t(number)];
    video->audioChunk = -1;
    video->audioQueued = 0;
    framesWritten_.store(number + 1);
    if (chunksWritten_ < int64_t(chunkAfterFrame_.size()) && chunkAfterFrame_[size_t(chunksWritten_)] == number + 1) {
        const int64_t chunk = chunksWritten_++;
        video->audioChunk = chunk;
        AudioBuffer* audio = nullptr;
        uint8_t* target = nullptr;
        if (audioQueue_->AcquireWrite(&audio, 50) == 0) {
            if (chunk == 0)
                ssMessage(0, "Writing first audio frame at %llx of size %d",
                          static_cast<unsigned long long>(audioOffsets_[0]), int(chunkSize_));
            audio->offset = audioOffsets_[size_t(chunk)];
            target = audio->data;
        } else {
            ssMessage(0, "Media too slow. No room to store audio, write queue full.");
        }
        // The chunk's audio leaves the accumulation buffer either way, so later chunks keep their time.
        const size_t taken = std::min(audioFill_, size_t(chunkSize_));
        if (audioFill_ < size_t(chunkSize_))
            ssMessage(0, "Not enough audio for frame %d vs %d", int(audioFill_), int(chunkSize_));
        if (target) {
            std::memcpy(target, audio_.data(), taken);
            std::memset(target + taken, 0, size_t(chunkSize_) - taken);
        }
        if (audioFill_ < size_t(chunkSize_)) {
            audioFill_ = 0;
        } else {
            audioFill_ -= taken;
            std::memmove(audio_.data(), audio_.data() + taken, audioFill_);
        }
        if (target) {
            audioQueue_->Commit(0);
            video->audioQueued = 1;
        }
    }
    videoQueue_->Commit(0);
    lock_.Unlock();
    return result;
}

int64_t ssMovieWriter::FillVariableSlot(VideoBuffer* video, const uint8_t* frame, int64_t length, bool* cut)
{
    // Whole length-prefixed units, as many as leave room for the filler header.
    const int64_t room = slotSize_ - kFillerRoom;
    int64_t kept = 0;
    while (kept + 4 <= length) {
        const uint32_t unit = uint32_t(frame[kept]) << 24 | uint32_t(frame[kept + 1]) << 16 |
                              uint32_t(frame[kept + 2]) << 8 | uint32_t(frame[kept + 3]);
        const int64_t next = kept + 4 + int64_t(unit);
        if (next > length || next > room)
            break;
        kept = next;
    }
    *cut = kept < length;
    std::memcpy(video->data, frame, size_t(kept));
    // A filler unit (type 12) over the rest of the slot: its payload is left unwritten (a hole
    // that reads as zeros) and its last byte is the trailing bit.
    uint8_t* filler = video->data + kept;
    putBig32(filler, uint32_t(slotSize_ - kept - 4));
    filler[4] = 0x0C;
    video->length = kept + 5;
    video->fillerEnd = true;
    return kept > 0 ? kept : -1;
}

void* ssMovieWriter::ThreadEntry(void* self)
{
    static_cast<ssMovieWriter*>(self)->WriterLoop();
    return nullptr;
}

void ssMovieWriter::WriterLoop()
{
    for (;;) {
        VideoBuffer* video = nullptr;
        if (videoQueue_->Read(0, &video, 120) != 0) {
            if (stop_.load() != 0)
                break;
            continue;
        }
        WriteAt(video->data, video->length, video->offset);
        if (video->fillerEnd) {
            const uint8_t trailing = 0x80;
            WriteAt(&trailing, 1, video->offset + slotSize_ - 1);
        }
        if (video->audioChunk < 0)
            continue;
        AudioBuffer* audio = nullptr;
        if (video->audioQueued && audioQueue_->Read(0, &audio, 50) == 0) {
            WriteAt(audio->data, chunkSize_, audio->offset);
        } else {
            // A chunk that never arrived is written as silence in its own place.
            ssMessage(0, "big trouble - no audio frame to go with video frame");
            WriteAt(zeros_.data(), chunkSize_, audioOffsets_[size_t(video->audioChunk)]);
        }
    }
    stop_.store(2);
}

void ssMovieWriter::StopThread()
{
    if (!threadStarted_)
        return;
    stop_.store(1);
    thread_.Join();
    threadStarted_ = false;
}

void ssMovieWriter::Finish()
{
    lock_.Lock();
    if (finished_.load() || !file_.IsOpen()) {
        lock_.Unlock();
        return;
    }
    StopThread();
    const int64_t frames = framesWritten_.load();
    int64_t end = payloadOffset_ + 4 + frames * slotSize_ + chunksWritten_ * chunkSize_;
    // The audio of the last, unfinished second goes after everything written, as a shorter chunk.
    int64_t partialSamples = 0;
    const size_t frameBytes = size_t(channels_) * 2;
    if (channels_ > 0 && audioFill_ >= frameBytes && chunksWritten_ < int64_t(audioOffsets_.size())) {
        const size_t bytes = std::min(audioFill_, size_t(chunkSize_)) / frameBytes * frameBytes;
        if (WriteAt(audio_.data(), int64_t(bytes), end)) {
            audioOffsets_[size_t(chunksWritten_)] = end;
            partialSamples = int64_t(bytes / frameBytes);
            end += int64_t(bytes);
        }
    }
    audioFill_ = 0;
    WriteTimecodeSample();
    const std::vector<uint8_t> movie = MovieAtom(frames, chunksWritten_, partialSamples);
    if (movie.empty() || int64_t(movie.size()) + 8 > moovReserved_) {
        ssMessage(0, "Movie atom of %s does not fit its place; the file keeps its opening tables",
                  file_.GetPath().c_str());
    } else {
        uint8_t free[8];
        putBig32(free, uint32_t(moovReserved_ - int64_t(movie.size())));
        std::memcpy(free + 4, "free", 4);
        uint8_t size[8];
        putBig64(size, uint64_t(end - moovReserved_));
        WriteAt(movie.data(), int64_t(movie.size()), 0);
        WriteAt(free, 8, int64_t(movie.size()));
        WriteAt(size, 8, moovReserved_ + 8);
        if (::ftruncate(file_.GetDescriptor(), end) != 0)
            ssMessage(0, "Couldn't trim %s (%s)", file_.GetPath().c_str(), std::strerror(errno));
    }
    ::fdatasync(file_.GetDescriptor());
    finished_.store(true);
    file_.Close();
    lock_.Unlock();
}
