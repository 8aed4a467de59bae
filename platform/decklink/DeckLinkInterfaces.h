#pragma once

// The SDI card layer: abstract interfaces a backend plugin implements (DeckLinkLoader.h finds the
// plugin). Objects are reference counted: a call that hands out an object adds a reference the
// receiver gives back with Release; an object dies at its last Release. Callback objects that the
// application sets are held by the card with AddRef until they are replaced.
//
// Threads: the Enable/Disable/Start/Stop/Set calls are made by the application; callbacks run on the
// card's own threads. Setting a callback to null returns only after every call into the previous
// callback has returned (unless it is made from inside that callback), and stopping playback or
// capture waits for the card's thread: neither may be called holding a lock the callbacks take.

#include "platform/decklink/DeckLinkTypes.h"

#include <cstdint>
#include <string>

namespace platform::decklink {

class IRefCounted {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~IRefCounted() = default;
};

class IDeckLinkDisplayMode : public IRefCounted {
public:
    virtual DisplayModeId GetDisplayMode() = 0;
    virtual Result GetName(std::string* name) = 0;
    virtual long GetWidth() = 0;
    virtual long GetHeight() = 0;
    // Frame rate = timeScale / frameDuration.
    virtual Result GetFrameRate(TimeValue* frameDuration, TimeScale* timeScale) = 0;
    virtual FieldDominance GetFieldDominance() = 0;
};

class IDeckLinkDisplayModeIterator : public IRefCounted {
public:
    // kFalse and null once every mode was handed out.
    virtual Result Next(IDeckLinkDisplayMode** mode) = 0;
};

class IDeckLinkTimecode : public IRefCounted {
public:
    virtual Result GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames) = 0;
    virtual TimecodeFlags GetFlags() = 0;
};

// Ancillary (vertical blanking) data shared by output frames.
class IDeckLinkVideoFrameAncillary : public IRefCounted {
public:
    virtual PixelFormat GetPixelFormat() = 0;
    virtual DisplayModeId GetDisplayMode() = 0;
};

class IDeckLinkVideoFrame : public IRefCounted {
public:
    virtual long GetWidth() = 0;
    virtual long GetHeight() = 0;
    virtual long GetRowBytes() = 0;
    virtual PixelFormat GetPixelFormat() = 0;
    virtual FrameFlags GetFlags() = 0;
    virtual Result GetBytes(void** buffer) = 0;
    // kFalse and null when the frame carries no time code of that format.
    virtual Result GetTimecode(TimecodeFormat format, IDeckLinkTimecode** timecode) = 0;
    virtual Result GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) = 0;
};

class IDeckLinkMutableVideoFrame : public IDeckLinkVideoFrame {
public:
    virtual Result SetFlags(FrameFlags flags) = 0;
    virtual Result SetTimecodeFromComponents(TimecodeFormat format, uint8_t hours, uint8_t minutes,
                                             uint8_t seconds, uint8_t frames, TimecodeFlags flags) = 0;
    virtual Result SetAncillaryData(IDeckLinkVideoFrameAncillary* ancillary) = 0;
};

class IDeckLinkVideoInputFrame : public IDeckLinkVideoFrame {
public:
    // When the frame was captured, counted from StartStreams, in the given time scale.
    virtual Result GetStreamTime(TimeValue* frameTime, TimeValue* frameDuration, TimeScale timeScale) = 0;
};

class IDeckLinkAudioInputPacket : public IRefCounted {
public:
    virtual long GetSampleFrameCount() = 0;
    virtual Result GetBytes(void** buffer) = 0;
    virtual Result GetPacketTime(TimeValue* packetTime, TimeScale timeScale) = 0;
};

class IDeckLinkVideoOutputCallback : public IRefCounted {
public:
    virtual Result ScheduledFrameCompleted(IDeckLinkVideoFrame* completedFrame, CompletionResult result) = 0;
    virtual Result ScheduledPlaybackHasStopped() = 0;
};

class IDeckLinkAudioOutputCallback : public IRefCounted {
public:
    // The card wants more samples (preroll: before playback starts).
    virtual Result RenderAudioSamples(bool preroll) = 0;
};

class IDeckLinkInputCallback : public IRefCounted {
public:
    virtual Result VideoInputFormatChanged(uint32_t notificationEvents, IDeckLinkDisplayMode* newMode,
                                           uint32_t detectedSignalFlags) = 0;
    // Either may be null: no video (no signal at all) or no audio for this frame.
    virtual Result VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                          IDeckLinkAudioInputPacket* audioPacket) = 0;
};

class IDeckLinkOutput : public IRefCounted {
public:
    virtual Result GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) = 0;

    virtual Result EnableVideoOutput(DisplayModeId mode, VideoOutputFlags flags) = 0;
    virtual Result DisableVideoOutput() = 0;
    virtual Result CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, PixelFormat format,
                                    FrameFlags flags, IDeckLinkMutableVideoFrame** frame) = 0;
    virtual Result CreateAncillaryData(PixelFormat format, IDeckLinkVideoFrameAncillary** ancillary) = 0;

    virtual Result SetScheduledFrameCompletionCallback(IDeckLinkVideoOutputCallback* callback) = 0;
    // The same frame may be scheduled again while an earlier scheduling is still pending.
    virtual Result ScheduleVideoFrame(IDeckLinkVideoFrame* frame, TimeValue displayTime,
                                      TimeValue displayDuration, TimeScale timeScale) = 0;
    virtual Result StartScheduledPlayback(TimeValue playbackStartTime, TimeScale timeScale,
                                          double playbackSpeed) = 0;
    // Stops at once; frames still scheduled complete as Flushed. stopTime is informational.
    virtual Result StopScheduledPlayback(TimeValue stopTime, TimeValue* actualStopTime, TimeScale timeScale) = 0;
    virtual Result GetScheduledStreamTime(TimeScale timeScale, TimeValue* streamTime, double* playbackSpeed) = 0;
    // The card's reference clock now: its time, how far into the current frame period it is and
    // the length of a period, all in timeScale units. Cards locked to one reference agree on it.
    // kFail while video output is not enabled.
    virtual Result GetHardwareReferenceClock(TimeScale timeScale, TimeValue* hardwareTime, TimeValue* timeInFrame,
                                             TimeValue* ticksPerFrame) = 0;

    virtual Result EnableAudioOutput(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount,
                                     AudioOutputStreamType streamType) = 0;
    virtual Result DisableAudioOutput() = 0;
    virtual Result SetAudioCallback(IDeckLinkAudioOutputCallback* callback) = 0;
    // Continuous stream: streamTime and timeScale are ignored; written says how many sample frames
    // fitted into the card's buffer.
    virtual Result ScheduleAudioSamples(const void* buffer, uint32_t sampleFrameCount, TimeValue streamTime,
                                        TimeScale timeScale, uint32_t* sampleFramesWritten) = 0;

    virtual Result GetReferenceStatus(ReferenceStatus* status) = 0;
};

class IDeckLinkInput : public IRefCounted {
public:
    virtual Result GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) = 0;
    virtual Result DoesSupportVideoMode(DisplayModeId mode, PixelFormat format, VideoInputFlags flags,
                                        bool* supported) = 0;

    virtual Result EnableVideoInput(DisplayModeId mode, PixelFormat format, VideoInputFlags flags) = 0;
    virtual Result DisableVideoInput() = 0;
    virtual Result EnableAudioInput(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount) = 0;
    virtual Result DisableAudioInput() = 0;

    virtual Result SetCallback(IDeckLinkInputCallback* callback) = 0;
    virtual Result StartStreams() = 0;
    virtual Result StopStreams() = 0;
};

class IDeckLink : public IRefCounted {
public:
    virtual Result GetDisplayName(std::string* name) = 0;
    // kNoInterface and null when the card has no such side (a capture-only card has no output).
    virtual Result QueryOutput(IDeckLinkOutput** output) = 0;
    virtual Result QueryInput(IDeckLinkInput** input) = 0;
};

class IDeckLinkIterator : public IRefCounted {
public:
    // kFalse and null after the last card.
    virtual Result Next(IDeckLink** deckLink) = 0;
};

} // namespace platform::decklink
