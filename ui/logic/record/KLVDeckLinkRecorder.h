#pragma once
// The recorder over the card input (ssDeckLinkInput) and the record encoder (ssRecordEncoder).

#include "ui/logic/record/KLVRecorder.h"

class ssDeckLinkInput;
class ssRecordEncoder;

class KLVDeckLinkRecorder final : public KLVRecorder {
public:
    // resourceBase: the folder holding "Contents/Resources" (the preview's fonts and shaders).
    explicit KLVDeckLinkRecorder(const std::string& resourceBase);
    ~KLVDeckLinkRecorder() override;

    // Makes recorders with the application's resource base.
    static KLVRecorderFactory factory();

    int openInput(ssBaseOutput* device, int modeIndex, int audioChannels) override;
    KLVInputFormat inputFormat() const override;
    void setFilePath(const std::string& path) override;
    void setAudioMonitor(bool enabled) override;
    int openEncoder(const KLVEncoderSettings& settings) override;
    void start() override;
    void stopInput() override;
    void resetBuffer() override;
    void startRecording() override;
    void stopRecording() override;
    double estimatedFileSize(int codec, double seconds) override;
    double elapsedTime() override;
    double maxDuration() override;
    int64_t framesWritten() override;
    int64_t frameCapacity() override;
    int repeatedFrameCount() override;
    int noSignalFrameCount() override;
    int oversizeFrameCount() override;
    float inputBufferHeadroom() override;
    float writeBufferHeadroom() override;
    void pollPreview() override;
    uint64_t previewStamp() override;
    void drawPreview(float x, float y, float width, float height) override;

private:
    std::unique_ptr<ssDeckLinkInput> input_;
    std::unique_ptr<ssRecordEncoder> encoder_;
    int audioChannels_ = 2;
    bool inputOpen_ = false;
    bool started_ = false;
};
