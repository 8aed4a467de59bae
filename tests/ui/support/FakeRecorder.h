#pragma once
// A recorder that keeps the state a card input and encoder would and records every call; what
// the input and encoder answer is set by the test. Logs into a list that outlives it.

#include "ui/logic/record/KLVRecorder.h"

#include <cmath>
#include <memory>
#include <utility>
#include <string>
#include <vector>

namespace testsupport {

struct FakeRecorderScript {
    int openInputResult = 0;
    // What openEncoder answers without and with a file path (the encoder's -1 without one).
    int openWithoutPath = -1;
    int openWithPath = 0;
    KLVInputFormat format{1920, 1080, true, 30000.0 / 1001.0};
    double bytesPerSecond = 1.0e6;
    double elapsed = 0;
    int64_t frames = 0;               // frames in the file
    std::vector<float> writeHeadroom; // successive reads; 100 once used up
    int repeated = 0;
    std::vector<std::string> calls;   // every call of every recorder, in order
    int alive = 0;                    // recorders not yet destroyed
    KLVEncoderSettings lastSettings;
    std::string lastPath;
    uint64_t previewStamp = 0;        // what previewStamp answers (the input's picture)
};

class FakeRecorder final : public KLVRecorder {
public:
    explicit FakeRecorder(std::shared_ptr<FakeRecorderScript> s) : s_(std::move(s)) { ++s_->alive; }
    ~FakeRecorder() override
    {
        --s_->alive;
        s_->calls.push_back("destroy");
    }

    static KLVRecorderFactory factory(const std::shared_ptr<FakeRecorderScript>& s)
    {
        return [s] { return std::make_unique<FakeRecorder>(s); };
    }

    int openInput(ssBaseOutput*, int mode, int channels) override
    {
        s_->calls.push_back("openInput " + std::to_string(mode) + " " + std::to_string(channels));
        return s_->openInputResult;
    }
    KLVInputFormat inputFormat() const override { return s_->format; }
    void setFilePath(const std::string& path) override
    {
        path_ = path;
        s_->lastPath = path;
        s_->calls.push_back("setFilePath");
    }
    void setAudioMonitor(bool on) override { s_->calls.push_back(on ? "setAudioMonitor 1" : "setAudioMonitor 0"); }
    int openEncoder(const KLVEncoderSettings& settings) override
    {
        s_->lastSettings = settings;
        s_->calls.push_back("openEncoder");
        opened_ = !path_.empty();
        return path_.empty() ? s_->openWithoutPath : s_->openWithPath;
    }
    void start() override { s_->calls.push_back("start"); }
    void stopInput() override { s_->calls.push_back("stopInput"); }
    void resetBuffer() override { s_->calls.push_back("resetBuffer"); }
    void startRecording() override { s_->calls.push_back("startRecording " + path_); }
    void stopRecording() override { s_->calls.push_back("stopRecording"); }
    double estimatedFileSize(int, double seconds) override { return s_->bytesPerSecond * seconds; }
    double elapsedTime() override { return s_->elapsed; }
    double maxDuration() override { return opened_ ? s_->lastSettings.durationLimit : 0; }
    int64_t framesWritten() override { return opened_ ? s_->frames : 0; }
    int64_t frameCapacity() override
    {
        return opened_ ? std::llround(s_->lastSettings.durationLimit * s_->lastSettings.format.frameRate) : 0;
    }
    int repeatedFrameCount() override { return std::exchange(s_->repeated, 0); }
    int noSignalFrameCount() override { return 0; }
    int oversizeFrameCount() override { return 0; }
    float inputBufferHeadroom() override { return 100; }
    float writeBufferHeadroom() override
    {
        if (reads_ >= s_->writeHeadroom.size())
            return 100;
        return s_->writeHeadroom[reads_++];
    }
    void pollPreview() override { s_->calls.push_back("pollPreview"); }
    uint64_t previewStamp() override { return s_->previewStamp; }
    void drawPreview(float, float, float, float) override {}

private:
    std::shared_ptr<FakeRecorderScript> s_;
    std::string path_;
    bool opened_ = false;
    size_t reads_ = 0;
};

} // namespace testsupport
