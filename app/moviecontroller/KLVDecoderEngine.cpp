#include "app/moviecontroller/KLVDecoderEngine.h"

#include "engine/decoder/ssMediaDecoder3.h"
#include "platform/gl/ssGLContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

KLVDecoderEngine::KLVDecoderEngine(const std::string& resourceBase, std::unique_ptr<ssGLContext> context)
{
    notifier_ = std::make_unique<KLVChannelNotifier>([this] {
        std::function<void()> callback;
        {
            std::lock_guard lock(callbackLock_);
            callback = endpointReached_;
        }
        if (callback)
            callback();
    });
    decoder_ = std::make_unique<ssMediaDecoder3>(resourceBase.c_str(), std::move(context));
    decoder_->SetDelegate(notifier_.get());
}

KLVDecoderEngine::~KLVDecoderEngine()
{
    // Destroying the decoder joins its threads; only then may the notifier go.
    decoder_.reset();
    notifier_.reset();
}

std::string KLVDecoderEngine::defaultResourceBase()
{
    if (const QByteArray base = qgetenv("KLV_RESOURCE_BASE"); !base.isEmpty())
        return base.toStdString();
    // Build tree: <build>/bin/Kalvanto with <build>/Contents/Resources. Installed:
    // <prefix>/bin/Kalvanto with <prefix>/share/kalvanto/Contents/Resources.
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString buildBase = QDir::cleanPath(bin.filePath(QStringLiteral("..")));
    if (QFileInfo::exists(buildBase + QStringLiteral("/Contents/Resources")))
        return buildBase.toStdString();
    return QDir::cleanPath(bin.filePath(QStringLiteral("../share/kalvanto"))).toStdString();
}

int32_t KLVDecoderEngine::Open(const std::string& path, bool hasPreview, bool showFirstFrame)
{
    return decoder_->Open(path.c_str(), hasPreview, showFirstFrame);
}
int32_t KLVDecoderEngine::Play() { return decoder_->Play(); }
int32_t KLVDecoderEngine::Pause() { return decoder_->Pause(); }
int32_t KLVDecoderEngine::Stop() { return decoder_->Stop(); }
int32_t KLVDecoderEngine::Seek(double seconds, int32_t scrub) { return decoder_->Seek(seconds, scrub); }
int32_t KLVDecoderEngine::StepForward() { return decoder_->StepForward(); }
int32_t KLVDecoderEngine::StepBackward() { return decoder_->StepBackward(); }
int32_t KLVDecoderEngine::AdjustForward() { return decoder_->AdjustForward(); }
int32_t KLVDecoderEngine::AdjustBackward() { return decoder_->AdjustBackward(); }
int32_t KLVDecoderEngine::SetInPoint(double seconds) { return decoder_->SetInPoint(seconds); }
int32_t KLVDecoderEngine::SetOutPoint(double seconds) { return decoder_->SetOutPoint(seconds); }
int32_t KLVDecoderEngine::SetInOutPoints(double in, double out) { return decoder_->SetInOutPoints(in, out); }
int32_t KLVDecoderEngine::SetPlaybackBehavior(int32_t b) { return decoder_->SetPlaybackBehavior(b); }
int32_t KLVDecoderEngine::SetVolume(float volume) { return decoder_->SetVolume(volume); }
int32_t KLVDecoderEngine::SetAudioDelay(int32_t ms) { return decoder_->SetAudioDelay(ms); }
int32_t KLVDecoderEngine::SetAudioOutput(int32_t kind) { return decoder_->SetAudioOutput(kind); }
int32_t KLVDecoderEngine::GetAudioOutput() const { return decoder_->GetAudioOutput(); }
int32_t KLVDecoderEngine::SetSyncMode(int32_t flag) { return decoder_->SetSyncMode(flag); }
int32_t KLVDecoderEngine::SetTimeCodeOutput(int32_t mode) { return decoder_->SetTimeCodeOutput(mode); }
int32_t KLVDecoderEngine::SetShowSlate(int32_t flag) { return decoder_->SetShowSlate(flag); }
int32_t KLVDecoderEngine::SetSlateImage(int32_t w, int32_t h, const uint8_t* rgba) { return decoder_->SetSlateImage(w, h, rgba); }
void KLVDecoderEngine::SetAnamorphic(int32_t flag) { decoder_->SetAnamorphic(flag); }
int32_t KLVDecoderEngine::SetMaster(KLVPlaybackEngine* master, double offset)
{
    return decoder_->SetMaster(master ? master->decoder() : nullptr, offset);
}
int32_t KLVDecoderEngine::SetOutputDevice(ssBaseOutput* device, int32_t mode) { return decoder_->SetOutputDevice(device, mode); }
void KLVDecoderEngine::SetOverlayImage(int32_t w, int32_t h, const uint8_t* rgba, float x, float y, float ow, float oh)
{
    decoder_->SetOverlayImage(w, h, rgba, x, y, ow, oh);
}
void KLVDecoderEngine::FadeOverlay(int32_t direction, float fadeTime) { decoder_->FadeOverlay(direction, fadeTime); }
void KLVDecoderEngine::SetEndpointReached(std::function<void()> callback)
{
    std::lock_guard lock(callbackLock_);
    endpointReached_ = std::move(callback);
}
bool KLVDecoderEngine::BuffersReady() { return decoder_->BuffersReady(); }
bool KLVDecoderEngine::IsFileOpen() const { return decoder_->IsFileOpen() != 0; }
double KLVDecoderEngine::GetCurrentTime() const { return decoder_->GetCurrentTime(); }
double KLVDecoderEngine::GetDuration() const { return decoder_->GetDuration(); }
float KLVDecoderEngine::GetFrameRate() const { return decoder_->GetFrameRate(); }
double KLVDecoderEngine::GetInPoint() const { return decoder_->GetInPoint(); }
double KLVDecoderEngine::GetOutPoint() const { return decoder_->GetOutPoint(); }
double KLVDecoderEngine::GetTimeCodeOffset() const { return decoder_->GetTimeCodeOffset(); }
std::string KLVDecoderEngine::GetCurrentTimeCodeString()
{
    char buffer[256] = {};
    decoder_->GetCurrentTimeCodeString(buffer);
    return buffer;
}
std::string KLVDecoderEngine::GetRemainingTimeCodeString()
{
    char buffer[256] = {};
    decoder_->GetRemainingTimeCodeString(buffer);
    return buffer;
}
int32_t KLVDecoderEngine::HasReference() const { return decoder_->HasReference(); }
void KLVDecoderEngine::GetOutputSize(int32_t* w, int32_t* h) const { decoder_->GetOutputSize(w, h); }
int32_t KLVDecoderEngine::DrawPreview(int32_t x, int32_t y, int32_t w, int32_t h) { return decoder_->DrawPreview(x, y, w, h); }
