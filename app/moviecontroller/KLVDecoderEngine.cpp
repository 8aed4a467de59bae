#include "app/moviecontroller/KLVDecoderEngine.h"

#include "engine/base/ssMessage.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "platform/gl/ssGLContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {
// The longest a load waits for its cued picture (or slate) to be on air.
constexpr int32_t kOpenShownMilliseconds = 2000;
} // namespace

KLVDecoderEngine::KLVDecoderEngine(const std::string& resourceBase, std::unique_ptr<ssGLContext> context,
                                   const std::string& logName)
{
    notifier_ = std::make_unique<KLVChannelNotifier>([this] {
        // A prepared cue went on air: what its open learned is the engine's now (written by the
        // engine before it reported the hand-over).
        if (const uint64_t handOvers = decoder_->GetHandOvers(); handOvers != handOversSeen_) {
            handOversSeen_ = handOvers;
            timeCodeOffset_.store(decoder_->GetTimeCodeOffset());
            hasTimeCode_.store(decoder_->HasTimeCode() != 0);
        }
        std::function<void()> callback;
        {
            std::lock_guard lock(callbackLock_);
            callback = endpointReached_;
        }
        if (callback)
            callback();
    });
    decoder_ = std::make_unique<ssMediaDecoder3>(resourceBase.c_str(), std::move(context), logName.c_str());
    decoder_->SetDelegate(notifier_.get());
}

KLVDecoderEngine::~KLVDecoderEngine()
{
    // Destroying the decoder joins its threads; only then may the notifier go. The lane ends
    // first, with its running job.
    lane_->stop();
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

std::string KLVDecoderEngine::logNameOf(long tag)
{
    return tag > 0 ? "channel " + std::to_string(tag) : "inspector";
}

// Operations run under the engine's log name, on the caller's thread or the lane.
int32_t KLVDecoderEngine::call(std::function<int32_t()> operation)
{
    if (lane_->runsHere() || !lane_->busy()) {
        const ssMessageScope logName(decoder_->LogName());
        return operation();
    }
    return slow(std::move(operation));
}

int32_t KLVDecoderEngine::slow(std::function<int32_t()> operation, KLVEngineLane::Kind kind)
{
    if (lane_->runsHere())
        return operation();
    lane_->post([this, operation = std::move(operation)] {
        const ssMessageScope logName(decoder_->LogName());
        operation();
    }, kind);
    return 0;
}

void KLVDecoderEngine::Enqueue(std::function<void(KLVPlaybackEngine&)> job)
{
    slow([this, job = std::move(job)] {
        job(*this);
        return 0;
    });
}

bool KLVDecoderEngine::IsBusy() const { return lane_->busy(); }

int32_t KLVDecoderEngine::Open(const std::string& path, bool hasPreview, bool showFirstFrame)
{
    return slow([this, path, hasPreview, showFirstFrame] {
        const int32_t result = decoder_->Open(path.c_str(), hasPreview, showFirstFrame);
        timeCodeOffset_.store(decoder_->GetTimeCodeOffset());
        hasTimeCode_.store(decoder_->HasTimeCode() != 0);
        return result;
    });
}
int32_t KLVDecoderEngine::Play() { return call([this] { return decoder_->Play(); }); }
int32_t KLVDecoderEngine::Pause() { return call([this] { return decoder_->Pause(); }); }
int32_t KLVDecoderEngine::Stop() { return call([this] { return decoder_->Stop(); }); }
int32_t KLVDecoderEngine::Seek(double seconds, int32_t scrub)
{
    return slow([this, seconds, scrub] { return decoder_->Seek(seconds, scrub); }, KLVEngineLane::kSeek);
}
void KLVDecoderEngine::WaitForPositionShown()
{
    slow([this] {
        // A first open also makes the renderer's GL objects: far slower than a seek's frame.
        decoder_->WaitForPositionShown(kOpenShownMilliseconds);
        return 0;
    });
}
int32_t KLVDecoderEngine::StepForward() { return slow([this] { return decoder_->StepForward(); }); }
int32_t KLVDecoderEngine::StepBackward() { return slow([this] { return decoder_->StepBackward(); }); }
int32_t KLVDecoderEngine::AdjustForward() { return call([this] { return decoder_->AdjustForward(); }); }
int32_t KLVDecoderEngine::AdjustBackward() { return call([this] { return decoder_->AdjustBackward(); }); }
int32_t KLVDecoderEngine::SetInPoint(double seconds) { return call([this, seconds] { return decoder_->SetInPoint(seconds); }); }
int32_t KLVDecoderEngine::SetOutPoint(double seconds) { return call([this, seconds] { return decoder_->SetOutPoint(seconds); }); }
int32_t KLVDecoderEngine::SetInOutPoints(double in, double out)
{
    return call([this, in, out] { return decoder_->SetInOutPoints(in, out); });
}
int32_t KLVDecoderEngine::SetPlaybackBehavior(int32_t b) { return call([this, b] { return decoder_->SetPlaybackBehavior(b); }); }
int32_t KLVDecoderEngine::SetVolume(float volume) { return call([this, volume] { return decoder_->SetVolume(volume); }); }
int32_t KLVDecoderEngine::SetAudioDelay(int32_t ms) { return call([this, ms] { return decoder_->SetAudioDelay(ms); }); }
int32_t KLVDecoderEngine::SetAudioOutput(int32_t kind) { return call([this, kind] { return decoder_->SetAudioOutput(kind); }); }
int32_t KLVDecoderEngine::GetAudioOutput() const { return decoder_->GetAudioOutput(); }
int32_t KLVDecoderEngine::SetSyncMode(int32_t flag) { return call([this, flag] { return decoder_->SetSyncMode(flag); }); }
int32_t KLVDecoderEngine::SetTimeCodeOutput(int32_t mode) { return call([this, mode] { return decoder_->SetTimeCodeOutput(mode); }); }
int32_t KLVDecoderEngine::SetShowSlate(int32_t flag) { return call([this, flag] { return decoder_->SetShowSlate(flag); }); }
int32_t KLVDecoderEngine::SetSlateImage(int32_t w, int32_t h, const uint8_t* rgba)
{
    // Showing a slate repositions the engine; the pixels are the caller's only during the call.
    std::vector<uint8_t> pixels(rgba, rgba + (w > 0 && h > 0 && rgba ? size_t(w) * size_t(h) * 4 : 0));
    return slow([this, w, h, pixels = std::move(pixels)] {
        return decoder_->SetSlateImage(w, h, pixels.empty() ? nullptr : pixels.data());
    });
}
void KLVDecoderEngine::SetAnamorphic(int32_t flag)
{
    call([this, flag] {
        decoder_->SetAnamorphic(flag);
        return 0;
    });
}
int32_t KLVDecoderEngine::SetMaster(KLVPlaybackEngine* master, double offset)
{
    // Linking may seek this engine to the master's position.
    ssMediaDecoder3* m = master ? master->decoder() : nullptr;
    return slow([this, m, offset] { return decoder_->SetMaster(m, offset); });
}
bool KLVDecoderEngine::PassesSeamsWithMaster() { return decoder_->PassesSeamsWithMaster(); }
int32_t KLVDecoderEngine::SetOutputDevice(ssBaseOutput* device, int32_t mode)
{
    return call([this, device, mode] { return decoder_->SetOutputDevice(device, mode); });
}
void KLVDecoderEngine::SetOverlayImage(int32_t w, int32_t h, const uint8_t* rgba, float x, float y, float ow, float oh)
{
    std::vector<uint8_t> pixels(rgba, rgba + (w > 0 && h > 0 && rgba ? size_t(w) * size_t(h) * 4 : 0));
    call([this, w, h, pixels = std::move(pixels), x, y, ow, oh] {
        decoder_->SetOverlayImage(w, h, pixels.empty() ? nullptr : pixels.data(), x, y, ow, oh);
        return 0;
    });
}
void KLVDecoderEngine::FadeOverlay(int32_t direction, float fadeTime)
{
    call([this, direction, fadeTime] {
        decoder_->FadeOverlay(direction, fadeTime);
        return 0;
    });
}
void KLVDecoderEngine::SetEndpointReached(std::function<void()> callback)
{
    std::lock_guard lock(callbackLock_);
    endpointReached_ = std::move(callback);
}
int32_t KLVDecoderEngine::PrepareNext(const std::string& path, double in, double out, int32_t behaviour)
{
    return slow([this, path, in, out, behaviour] { return decoder_->PrepareNext(path.c_str(), in, out, behaviour); });
}
void KLVDecoderEngine::ClearNext()
{
    slow([this] {
        decoder_->ClearNext();
        return 0;
    });
}
uint64_t KLVDecoderEngine::HandOvers() const { return decoder_->GetHandOvers(); }
bool KLVDecoderEngine::BuffersReady() { return !lane_->busy() && decoder_->BuffersReady(); }
bool KLVDecoderEngine::IsFileOpen() const { return decoder_->IsFileOpen() != 0; }
double KLVDecoderEngine::GetCurrentTime() const { return decoder_->GetCurrentTime(); }
double KLVDecoderEngine::GetDuration() const { return decoder_->GetDuration(); }
float KLVDecoderEngine::GetFrameRate() const { return decoder_->GetFrameRate(); }
double KLVDecoderEngine::GetInPoint() const { return decoder_->GetInPoint(); }
double KLVDecoderEngine::GetOutPoint() const { return decoder_->GetOutPoint(); }
double KLVDecoderEngine::GetTimeCodeOffset() const { return timeCodeOffset_.load(); }
bool KLVDecoderEngine::HasTimeCode() const { return hasTimeCode_.load(); }
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
uint64_t KLVDecoderEngine::PreviewStamp() { return decoder_->PreviewStamp(); }
