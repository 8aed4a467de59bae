#include "ui/logic/record/KLVDeckLinkRecorder.h"

#include "app/moviecontroller/KLVDecoderEngine.h"
#include "engine/capture/ssDeckLinkInput.h"
#include "engine/output/ssDecklinkOutput.h"
#include "engine/record/ssRecordEncoder.h"

#include <epoxy/gl.h>

KLVDeckLinkRecorder::KLVDeckLinkRecorder(const std::string& resourceBase)
    : input_(std::make_unique<ssDeckLinkInput>()), encoder_(std::make_unique<ssRecordEncoder>(resourceBase.c_str()))
{
    encoder_->Input_ = input_.get();
}

KLVDeckLinkRecorder::~KLVDeckLinkRecorder()
{
    // Capture stops first so the encoder's last frames are the last the card delivered; the
    // encoder (which finishes a running file) goes before the input whose ring it reads.
    if (started_)
        input_->Stop();
    encoder_.reset();
    input_.reset();
}

KLVRecorderFactory KLVDeckLinkRecorder::factory()
{
    return [] { return std::make_unique<KLVDeckLinkRecorder>(KLVDecoderEngine::defaultResourceBase()); };
}

int KLVDeckLinkRecorder::openInput(ssBaseOutput* device, int modeIndex, int audioChannels)
{
    auto* card = dynamic_cast<ssDecklinkOutput*>(device);
    if (!card || !card->Device_)
        return -1;
    const int result = input_->Open(card->Device_, modeIndex, audioChannels);
    inputOpen_ = result == 0;
    return result;
}

KLVInputFormat KLVDeckLinkRecorder::inputFormat() const
{
    KLVInputFormat format;
    int interlaced = 0;
    input_->GetInputFormat(&format.width, &format.height, &interlaced, &format.frameRate);
    format.interlaced = interlaced != 0;
    return format;
}

void KLVDeckLinkRecorder::setFilePath(const std::string& path) { encoder_->SetFilePath(path.c_str()); }
void KLVDeckLinkRecorder::setAudioMonitor(bool enabled) { encoder_->SetAudioMonitor(enabled ? 1 : 0); }

int KLVDeckLinkRecorder::openEncoder(const KLVEncoderSettings& s)
{
    audioChannels_ = s.audioChannels;
    return encoder_->Open(s.format.width, s.format.height, s.format.interlaced ? 1 : 0, s.audioChannels,
                          s.durationLimit, s.format.frameRate, s.codec);
}

void KLVDeckLinkRecorder::start()
{
    if (!inputOpen_ || started_)
        return;
    encoder_->SetInputBuffer(input_->FrameBuffer_);
    encoder_->Start();
    started_ = input_->Start() == 0;
}

void KLVDeckLinkRecorder::stopInput()
{
    if (started_)
        input_->Stop();
    started_ = false;
}

void KLVDeckLinkRecorder::resetBuffer() { input_->ResetBuffer(); }
void KLVDeckLinkRecorder::startRecording() { encoder_->StartRecording(); }
void KLVDeckLinkRecorder::stopRecording() { encoder_->StopRecording(); }

double KLVDeckLinkRecorder::estimatedFileSize(int codec, double seconds)
{
    if (encoder_->GetMaxDuration() > 0)
        return double(encoder_->GetEstimatedFileSize(codec, seconds));
    // Before a file is prepared the encoder's writer knows no frame rate: the same estimate from
    // the input's format.
    const KLVInputFormat format = inputFormat();
    return double(ssRecordEncoder::EstimateFileSize(codec, format.width, format.height, format.frameRate,
                                                    audioChannels_, seconds));
}

double KLVDeckLinkRecorder::elapsedTime() { return encoder_->GetElapsedTime(); }
double KLVDeckLinkRecorder::maxDuration() { return encoder_->GetMaxDuration(); }
int64_t KLVDeckLinkRecorder::framesWritten() { return encoder_->GetWrittenFrameCount(); }
int64_t KLVDeckLinkRecorder::frameCapacity() { return encoder_->GetFrameCapacity(); }
int KLVDeckLinkRecorder::repeatedFrameCount() { return encoder_->GetRepeatedFrameCount(); }
int KLVDeckLinkRecorder::noSignalFrameCount() { return encoder_->GetNoSignalFrameCount(); }
int KLVDeckLinkRecorder::oversizeFrameCount() { return encoder_->GetOversizeFrameCount(); }
float KLVDeckLinkRecorder::inputBufferHeadroom() { return encoder_->GetInputBufferHeadroom(); }
float KLVDeckLinkRecorder::writeBufferHeadroom() { return encoder_->GetWriteBufferHeadroom(); }

void KLVDeckLinkRecorder::pollPreview() { encoder_->PollPreview(); }
uint64_t KLVDeckLinkRecorder::previewStamp() { return encoder_->PreviewStamp(); }

void KLVDeckLinkRecorder::drawPreview(float x, float y, float width, float height)
{
    if (width <= 0 || height <= 0) {
        // No preview frame was published: the drawable's viewport, inset like the frame would be.
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        x = float(viewport[0] + 2);
        y = float(viewport[1] + 2);
        width = float(viewport[2] - 4);
        height = float(viewport[3] - 4);
        if (width <= 0 || height <= 0)
            return;
    }
    encoder_->DrawPreview(x, y, width, height);
}
