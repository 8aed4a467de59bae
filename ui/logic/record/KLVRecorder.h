#pragma once
// What record mode drives: one card input and the encoder reading it, built together when a
// channel enters record mode and destroyed together when it leaves. KLVDeckLinkRecorder is the
// real one; logic tests use a scripted fake.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ssBaseOutput;

struct KLVInputFormat {
    int width = 0;
    int height = 0;
    bool interlaced = false; // as the card reports it and the encoder takes it
    double frameRate = 0;
};

struct KLVEncoderSettings {
    KLVInputFormat format;
    int audioChannels = 2;
    double durationLimit = 0; // seconds
    int codec = 3;            // 0..4
};

class KLVRecorder {
public:
    virtual ~KLVRecorder() = default;

    // Opens the device's input in the mode with that many audio channels: 0, else the failure.
    virtual int openInput(ssBaseOutput* device, int modeIndex, int audioChannels) = 0;
    virtual KLVInputFormat inputFormat() const = 0;
    // Empty: the encoder encodes for the preview only and writes no file.
    virtual void setFilePath(const std::string& path) = 0;
    virtual void setAudioMonitor(bool enabled) = 0;
    // 0; -1 when the codec is refused or the file cannot be made (always -1 without a path).
    virtual int openEncoder(const KLVEncoderSettings& settings) = 0;
    // Connects the encoder to the input ring and starts encoding and capture.
    virtual void start() = 0;
    virtual void stopInput() = 0;
    virtual void resetBuffer() = 0;
    virtual void startRecording() = 0;
    // The file is finished; capture and preview go on.
    virtual void stopRecording() = 0;

    virtual double estimatedFileSize(int codec, double seconds) = 0;
    virtual double elapsedTime() = 0;
    virtual double maxDuration() = 0;
    // Frames in the file so far, and the most it takes; 0 without a file.
    virtual int64_t framesWritten() = 0;
    virtual int64_t frameCapacity() = 0;
    // Read-and-reset counters.
    virtual int repeatedFrameCount() = 0;
    virtual int noSignalFrameCount() = 0;
    virtual int oversizeFrameCount() = 0;
    // Percent free.
    virtual float inputBufferHeadroom() = 0;
    virtual float writeBufferHeadroom() = 0;
    // Takes the preview's newest input frame without drawing it.
    virtual void pollPreview() = 0;
    // Any thread, no GL: changes whenever drawPreview would draw something else.
    virtual uint64_t previewStamp() = 0;
    // Into the calling thread's current GL context; an empty rectangle: the current viewport.
    virtual void drawPreview(float x, float y, float width, float height) = 0;
};

using KLVRecorderFactory = std::function<std::unique_ptr<KLVRecorder>()>;
