#include "app/moviecontroller/KLVMovieController.h"

#include "engine/base/ssChangeStamp.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/ports/KLVTimerSource.h"
#include "app/util/KLVBitmapData.h"
#include "app/util/KLVUtilities.h"
#include "app/util/QMTimeCodeConversions.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kUpdateIntervalMs = 100;
constexpr int kFastStepIntervalMs = 100;
// The buffered start after a scrub gives up after this many ticks (5 s) rather than polling forever.
constexpr int kPlayWhenReadyMaxTicks = 50;

void logLine(const QString& text)
{
    platform::log("com.quenmark.Kalvanto", "movie", platform::LogLevel::Info, text);
}
} // namespace

KLVMovieController::KLVMovieController(std::unique_ptr<KLVPlaybackEngine> engine, KLVTimerSource& timers, long type)
    : engine_(std::move(engine)), timers_(timers), type_(type),
      alive_(std::make_shared<std::atomic<KLVMovieController*>>(this))
{
    if (engine_) {
        // The engine calls this from its presenting thread; the notice is handed to main and
        // dropped there when the controller has gone in the meantime.
        std::weak_ptr<std::atomic<KLVMovieController*>> alive = alive_;
        engine_->SetEndpointReached([alive] {
            platform::dispatchMain([alive] {
                if (auto a = alive.lock())
                    if (KLVMovieController* self = a->load(); self && self->delegate_)
                        self->delegate_->endpointReached();
            });
        });
    }
    setIsPlaying(false);
}

KLVMovieController::~KLVMovieController()
{
    alive_->store(nullptr);
    if (engine_)
        engine_->SetEndpointReached({});
    if (progressBar_)
        progressBar_->setDelegate(nullptr);
}

QMTimeCode KLVMovieController::timeCodeFor(double seconds) const
{
    // The time code carries the clip's rate, so a reader can count frames from it.
    QMTimeCode timeCode = QMTimeCodeConversions::timecodeWithTimeInterval(seconds, engine_->GetFrameRate());
    timeCode.setFramerate(engine_->GetFrameRate());
    return timeCode;
}

double KLVMovieController::secondsFor(const QMTimeCode& timeCode) const
{
    // Without a frame rate (nothing open, a still) the frames add nothing: never a division by 0.
    return QMTimeCodeConversions::secondsWithFrameRate(timeCode, engine_->GetFrameRate());
}

// --- transport ---

void KLVMovieController::play()
{
    if (!engine_)
        return;
    cancelPendingPlay();
    cancelShuttle();
    engine_->Play();
    setIsPlaying(true);
}

void KLVMovieController::pause()
{
    if (!engine_)
        return;
    cancelPendingPlay();
    // A shuttle ends with a pause (rate 0 after a reverse rate), or it would go on seeking.
    cancelShuttle();
    engine_->Pause();
    setIsPlaying(false);
}

void KLVMovieController::stop()
{
    if (!engine_)
        return;
    cancelPendingPlay();
    cancelShuttle();
    engine_->Stop();
    setIsPlaying(false);
}

void KLVMovieController::playAtRate(float rate)
{
    if (!engine_)
        return;
    if (rate < 0)
        rewind();
    else if (rate > 1)
        fastForward();
    else if (rate == 0)
        pause();
    else
        play();
}

void KLVMovieController::goToBeginning()
{
    if (engine_)
        seekToSeconds(std::max(0.0, engine_->GetInPoint()), 0);
}

void KLVMovieController::goToEnd()
{
    if (engine_)
        seekToSeconds(engine_->GetDuration(), 0);
}

void KLVMovieController::stepBackward()
{
    if (!engine_)
        return;
    engine_->StepBackward();
    setIsPlaying(false);
    updateProgress();
}

void KLVMovieController::stepForward()
{
    if (!engine_)
        return;
    engine_->StepForward();
    updateProgress();
}

void KLVMovieController::seekToSeconds(double seconds, int scrubMode)
{
    if (!engine_ || !std::isfinite(seconds))
        return;
    engine_->Seek(seconds, scrubMode);
    setIsPlaying(false);
    if (progressBar_)
        progressBar_->setDoubleValue(seconds);
    updateTimeCode();
}

void KLVMovieController::seekToTimeCode(const QMTimeCode& timeCode)
{
    if (!engine_)
        return;
    // The channel is cued once the engine stands at the position (a play then starts at once),
    // not when the seek was asked for.
    const uint64_t move = ++positionGeneration_;
    positioning_ = true;
    const bool afterLoad = loading_;
    std::weak_ptr<std::atomic<KLVMovieController*>> alive = alive_;
    // The in point and the rate are those of the cue being loaded, if one is: the target is
    // worked out where the engine runs, after the load.
    engine_->Enqueue([timeCode, afterLoad, alive, move](KLVPlaybackEngine& e) {
        const double frame = e.GetFrameRate() > 0 ? 1.0 / e.GetFrameRate() : 0.0;
        const double target = e.GetInPoint() + QMTimeCodeConversions::secondsWithFrameRate(timeCode, e.GetFrameRate());
        // A load leaves its cue at the in point, that frame (or the slate for it) on air: a seek
        // there would only show it again.
        const bool there = afterLoad && e.IsFileOpen() && std::abs(target - e.GetCurrentTime()) < 0.5 * frame;
        if (std::isfinite(target) && !there)
            e.Seek(target, 0);
        auto settled = [alive, move] {
            if (auto a = alive.lock())
                if (KLVMovieController* self = a->load(); self && self->positionGeneration_ == move)
                    self->positioning_ = false;
        };
        if (platform::isMainThread())
            settled();
        else
            platform::dispatchMain(std::move(settled));
    });
    setIsPlaying(false);
    if (!afterLoad && progressBar_)
        progressBar_->setDoubleValue(engine_->GetInPoint() + secondsFor(timeCode));
    updateTimeCode();
}

bool KLVMovieController::setInPoint(const QMTimeCode& inPoint)
{
    return engine_ && engine_->SetInPoint(secondsFor(inPoint)) == 0;
}

bool KLVMovieController::setOutPoint(const QMTimeCode& outPoint)
{
    return engine_ && engine_->SetOutPoint(secondsFor(outPoint)) == 0;
}

bool KLVMovieController::setOutPointAsDurationFromInPoint(const QMTimeCode& duration)
{
    if (!engine_)
        return false;
    if (engine_->IsBusy()) {
        engine_->Enqueue([duration](KLVPlaybackEngine& e) {
            e.SetOutPoint(e.GetInPoint() + QMTimeCodeConversions::secondsWithFrameRate(duration, e.GetFrameRate()));
        });
        return true;
    }
    return engine_->SetOutPoint(engine_->GetInPoint() + secondsFor(duration)) == 0;
}

void KLVMovieController::applyCueRange(KLVPlaybackEngine& engine, double in, double out)
{
    // A range the engine refuses (none stored, or not a range) leaves the file's whole length.
    if (engine.SetInOutPoints(in, out) != 0 && engine.GetDuration() > 0)
        engine.SetInOutPoints(0, engine.GetDuration());
}

void KLVMovieController::restoreCueRange()
{
    if (!engine_)
        return;
    // After a load still under way, in order with it.
    engine_->Enqueue([in = cueInPoint_, out = cueOutPoint_](KLVPlaybackEngine& e) {
        if (e.IsFileOpen())
            applyCueRange(e, in, out);
    });
}

QMTimeCode KLVMovieController::currentTime() const
{
    if (!engine_)
        return QMTimeCode();
    return timeCodeFor(engine_->GetCurrentTime() - engine_->GetInPoint());
}

QMTimeCode KLVMovieController::remainingTime() const
{
    if (!engine_)
        return QMTimeCode();
    return timeCodeFor(engine_->GetOutPoint() - engine_->GetCurrentTime());
}

QMTimeCode KLVMovieController::duration() const
{
    if (!engine_)
        return QMTimeCode();
    return timeCodeFor(engine_->GetOutPoint() - engine_->GetInPoint());
}

void KLVMovieController::rewind()
{
    if (engine_)
        startFastTimer(false);
}

void KLVMovieController::fastForward()
{
    if (!engine_)
        return;
    lastFFPos_ = -1;
    startFastTimer(true);
}

void KLVMovieController::cancelShuttle()
{
    fastControlTimer_.reset();
}

void KLVMovieController::startFastTimer(bool forward)
{
    cancelPendingPlay();
    cancelShuttle();
    engine_->Pause();
    fastControlTimer_ = timers_.schedule(kFastStepIntervalMs, true, [this, forward] {
        forward ? fastForwardTick() : rewindTick();
    });
}

void KLVMovieController::rewindTick()
{
    const double target = std::max(engine_->GetCurrentTime() - 2.0, engine_->GetInPoint());
    engine_->Seek(target, 1);
    updateProgress();
}

void KLVMovieController::fastForwardTick()
{
    const double cur = engine_->GetCurrentTime();
    if (lastFFPos_ != -1 && cur <= lastFFPos_) {
        logLine(QStringLiteral("ffBoost increased to %1").arg(ffBoost_, 0, 'f', 6));
        ffBoost_ += 1.0;
    }
    lastFFPos_ = cur;
    engine_->Seek(std::min(engine_->GetOutPoint(), cur + 2.0 + ffBoost_), 1);
    updateProgress();
}

void KLVMovieController::resumePlayRate()
{
    cancelShuttle();
    setDidPauseForSeek(true);
    playFromSeek();
}

void KLVMovieController::adjustBackward()
{
    if (engine_)
        engine_->AdjustBackward();
}

void KLVMovieController::adjustForward()
{
    if (engine_)
        engine_->AdjustForward();
}

void KLVMovieController::executeCommand(long code)
{
    if (!engine_)
        return;
    switch (code) {
    case 1: goToBeginning(); break;
    case 2: stepBackward(); break;
    case 3: pause(); break;
    case 4: play(); break;
    case 5: stepForward(); break;
    case 6: goToEnd(); break;
    case 7: stop(); break;
    default: break;
    }
    if (engine_->BuffersReady())
        updateProgress();
}

// --- loading ---

void KLVMovieController::loadMovieForNode(const std::shared_ptr<KLVPlaylistNode>& node, bool withSlateScreen,
                                          bool hasPreview)
{
    if (!engine_)
        return;
    pause();
    ffBoost_ = 0;
    timeCodeOffset_ = 0;
    hasTimeCode_ = false;
    const uint64_t generation = ++loadGeneration_;
    if (!node) {
        loading_ = false;
        engine_->Open(std::string(), hasPreview, true);
        stopUpdater();
        // Nothing is loaded: no position, and no time left of the cue that was.
        showNothingLoaded(0);
        return;
    }
    LoadRequest request;
    request.path = node->plnSourcePath().value_or(QString()).toStdString();
    request.hasPreview = hasPreview;
    const long tag = delegate_ ? delegate_->tag() : 0;
    request.anamorphic = platform::UserDefaults::sharedDefaults().boolForKey(
                             KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastAnamorphic, tag))
        ? 0
        : 1;
    request.behaviour = int32_t(node->playbackBehavior());
    request.in = node->inPoint();
    request.out = node->outPoint();
    // A cue with an in point waits there: the file's first frame is never shown.
    request.showFirstFrame = !(node->inPoint() > 0.0);
    cueInPoint_ = request.in;
    cueOutPoint_ = request.out;
    // The slate is uploaded before the seek: showing a slate repositions the engine, and the first
    // frame played must be the in point.
    if (withSlateScreen)
        request.slate = slateSource(node);
    // Opening waits on the file and the decoder: it runs on the engine's own thread, and the
    // channel takes the cue at once. What is asked of the engine meanwhile (play, a seek) follows
    // the load in order.
    loading_ = true;
    std::weak_ptr<std::atomic<KLVMovieController*>> alive = alive_;
    engine_->Enqueue([request = std::move(request), alive, generation](KLVPlaybackEngine& e) {
        LoadOutcome outcome;
        outcome.result = request.path.empty() ? -1 : e.Open(request.path, request.hasPreview, request.showFirstFrame);
        if (outcome.result == 0) {
            e.SetAnamorphic(request.anamorphic);
            e.SetPlaybackBehavior(request.behaviour);
            applyCueRange(e, request.in, request.out);
            if (SlatePixels slate; request.slate && slatePixels(*request.slate, slate) && slate.width > 0)
                e.SetSlateImage(slate.width, slate.height, slate.rgba.data());
            // The range the engine took (a refused one leaves the file's whole length).
            if (const double start = e.GetInPoint(); start != 0 || !request.showFirstFrame)
                e.Seek(start, 0);
            // Loaded means cued: the picture (or the slate for it) is on its way to air, so a
            // play asked for once the load is reported starts at once.
            e.WaitForPositionShown();
        }
        reportLoad(e, outcome, alive, generation);
    });
}

void KLVMovieController::adoptHandedOverCue(const std::shared_ptr<KLVPlaylistNode>& node)
{
    // The engine plays the cue already: only what the controller shows and keeps of it changes.
    if (!engine_ || !node)
        return;
    const uint64_t generation = ++loadGeneration_;
    cueInPoint_ = node->inPoint();
    cueOutPoint_ = node->outPoint();
    std::weak_ptr<std::atomic<KLVMovieController*>> alive = alive_;
    engine_->Enqueue([alive, generation](KLVPlaybackEngine& e) {
        LoadOutcome outcome;
        outcome.result = 0;
        reportLoad(e, outcome, alive, generation);
    });
}

void KLVMovieController::reportLoad(KLVPlaybackEngine& e, LoadOutcome outcome,
                                    const std::weak_ptr<std::atomic<KLVMovieController*>>& alive, uint64_t generation)
{
    outcome.timeCodeOffset = e.GetTimeCodeOffset();
    outcome.hasTimeCode = e.HasTimeCode();
    outcome.in = e.GetInPoint();
    outcome.out = e.GetOutPoint();
    outcome.duration = e.GetDuration();
    outcome.frameRate = e.GetFrameRate();
    auto finish = [alive, generation, outcome] {
        if (auto a = alive.lock())
            if (KLVMovieController* self = a->load(); self && self->loadGeneration_ == generation)
                self->finishLoad(outcome);
    };
    if (platform::isMainThread())
        finish();
    else
        platform::dispatchMain(std::move(finish));
}

void KLVMovieController::finishLoad(const LoadOutcome& outcome)
{
    loading_ = false;
    if (outcome.result != 0) {
        showNothingLoaded(outcome.frameRate);
        if (delegate_)
            delegate_->movieDidLoad();
        return;
    }
    timeCodeOffset_ = outcome.timeCodeOffset;
    hasTimeCode_ = outcome.hasTimeCode;
    if (progressBar_) {
        progressBar_->setInValue(outcome.in);
        progressBar_->setOutValue(outcome.out);
        if (type_ != 0) {
            progressBar_->setMaxValue(outcome.duration);
            progressBar_->setDoubleValue(0);
        } else {
            progressBar_->setMaxValue(outcome.out - outcome.in);
            progressBar_->setDoubleValue(outcome.in);
        }
    }
    startUpdater();
    if (delegate_)
        delegate_->movieDidLoad();
}

void KLVMovieController::showNothingLoaded(double frameRate)
{
    if (progressBar_) {
        progressBar_->setMaxValue(100);
        progressBar_->setInValue(0);
        progressBar_->setOutValue(0);
        progressBar_->setDoubleValue(0);
    }
    const QString zero = KLVUtilities::formatCurrentTime(0, frameRate);
    if (timeIn_)
        timeIn_->setText(zero);
    if (timeOut_)
        timeOut_->setText(zero);
}

KLVMovieController::SlateSource KLVMovieController::slateSource(const std::shared_ptr<KLVPlaylistNode>& node)
{
    SlateSource source;
    source.image = node->slate();
    source.uuid = node->UUID();
    source.name = node->plnName().value_or(QString());
    source.node = node;
    return source;
}

bool KLVMovieController::slatePixels(const SlateSource& source, SlatePixels& out)
{
    // On the engine's thread: the slate file is read and converted there, never on main.
    QImage image = source.image;
    if (image.isNull()) {
        QString path;
        if (KLVImageManager::slateImageExistsForPlaylistNodeUUID(source.uuid, &path))
            image.load(path);
        if (image.isNull()) {
            logLine(QStringLiteral("No slate image for: %1").arg(source.name));
            return false;
        }
        // The cue keeps it for its next load.
        auto keep = [node = source.node, image] {
            if (const auto n = node.lock(); n && n->slate().isNull())
                n->setSlate(image);
        };
        if (platform::isMainThread())
            keep();
        else
            platform::dispatchMain(std::move(keep));
    }
    return KLVBitmapData::generateBitmapData(image, [&out](int w, int h, const uint8_t* rgba) {
        out.width = w;
        out.height = h;
        out.rgba.assign(rgba, rgba + size_t(w) * size_t(h) * 4);
    });
}

void KLVMovieController::updateSlateImageForNode(const std::shared_ptr<KLVPlaylistNode>& node)
{
    if (!engine_ || !node)
        return;
    engine_->Enqueue([source = slateSource(node)](KLVPlaybackEngine& e) {
        if (SlatePixels slate; slatePixels(source, slate) && slate.width > 0)
            e.SetSlateImage(slate.width, slate.height, slate.rgba.data());
    });
}

// --- display ---

void KLVMovieController::startUpdater()
{
    if (timeUpdater_ && timeUpdater_->isActive())
        return;
    timeUpdater_ = timers_.scheduleDisplay(kUpdateIntervalMs, [this] { updateProgress(); });
}

void KLVMovieController::stopUpdater()
{
    timeUpdater_.reset();
}

void KLVMovieController::updateProgress()
{
    if (progressBar_)
        progressBar_->setDoubleValue(engine_ ? engine_->GetCurrentTime() : 0);
    updateTimeCode();
}

void KLVMovieController::updateTimeCode()
{
    QString elapsedText, remainingText;
    if (!engine_) {
        // Both labels empty.
    } else if (type_ == 1) {
        // The position and what is left of the file, counted in frames at the clip's rate as the
        // channels count them and as a time typed into these fields is read: the engine's own
        // texts pair whole seconds with a frame count that runs ahead of them at NTSC rates.
        const double fps = engine_->GetFrameRate();
        const double current = engine_->GetCurrentTime();
        elapsedText = KLVUtilities::formatCurrentTime(current, fps);
        remainingText = KLVUtilities::formatCurrentTime(std::max(0.0, engine_->GetDuration() - current), fps);
    } else if (type_ == 0) {
        const double fps = engine_->GetFrameRate();
        const double in = engine_->GetInPoint();
        const double elapsed = engine_->GetCurrentTime() - in;
        const double remaining = engine_->GetOutPoint() - in - elapsed;
        elapsedText = KLVUtilities::formatCurrentTime(showTimeCode_ ? timeCodeOffset_ + elapsed : elapsed, fps);
        remainingText = KLVUtilities::formatCurrentTime(remaining, fps);
    } else {
        return; // other kinds of controller leave their labels alone
    }
    if (timeIn_)
        timeIn_->setText(elapsedText);
    if (timeOut_)
        timeOut_->setText(remainingText);
}

void KLVMovieController::setIsPlaying(bool playing)
{
    isPlaying_ = playing;
    playing ? startUpdater() : stopUpdater();
}

void KLVMovieController::setShowTimeCode(bool show)
{
    showTimeCode_ = show;
    if (timeIn_)
        timeIn_->setTextColor(show ? QColor(255, 149, 0) : QColor());
    const long tag = delegate_ ? delegate_->tag() : 0;
    platform::UserDefaults::sharedDefaults().setBool(show,
                                                     KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kShowTimeCode, tag));
    updateTimeCode();
}

void KLVMovieController::setProgressBar(QMProgressBar* bar)
{
    if (progressBar_)
        progressBar_->setDelegate(nullptr);
    progressBar_ = bar;
    if (progressBar_)
        progressBar_->setDelegate(this);
}

void KLVMovieController::setTimeIn(KLVTimeLabel* label)
{
    timeIn_ = label;
    if (timeIn_)
        timeIn_->setTextColor(showTimeCode_ ? QColor(255, 149, 0) : QColor());
    updateTimeCode();
}

void KLVMovieController::setTimeOut(KLVTimeLabel* label)
{
    timeOut_ = label;
    updateTimeCode();
}

QImage KLVMovieController::playPauseButtonImage() const
{
    std::lock_guard lock(imageLock_);
    return playPauseButtonImage_;
}

void KLVMovieController::setPlayPauseButtonImage(const QImage& image)
{
    std::lock_guard lock(imageLock_);
    playPauseButtonImage_ = image;
}

void KLVMovieController::setPreviewFrames(const QRectF& frame, const QRectF& superviewFrame)
{
    std::lock_guard lock(previewLock_);
    previewFrameRect_ = frame;
    previewSuperviewFrameRect_ = superviewFrame;
}

void KLVMovieController::drawPreview()
{
    if (!engine_)
        return;
    QRectF frame, parent;
    {
        std::lock_guard lock(previewLock_);
        frame = previewFrameRect_;
        parent = previewSuperviewFrameRect_;
    }
    const QRectF r = frame.adjusted(2, 2, -2, -2);
    engine_->DrawPreview(int(parent.x() + 2), 2, int(r.width()), int(r.height()));
    if (delegate_)
        delegate_->setHasReference(engine_->HasReference() != 0);
}

uint64_t KLVMovieController::previewStamp()
{
    if (!engine_)
        return 0;
    ssChangeStamp stamp;
    {
        std::lock_guard lock(previewLock_);
        stamp.Add(previewFrameRect_.x()).Add(previewFrameRect_.width()).Add(previewFrameRect_.height());
        stamp.Add(previewSuperviewFrameRect_.x());
    }
    stamp.Add(engine_->PreviewStamp());
    // Drawing is what kept the reference light current; an unchanged preview is not drawn.
    if (delegate_)
        delegate_->setHasReference(engine_->HasReference() != 0);
    return stamp.Value();
}

// --- progress bar callbacks ---

void KLVMovieController::seek(double value, bool optionHeld)
{
    if (delegate_ && delegate_->isMaster() && optionHeld)
        delegate_->seekToSeconds(value, 0);
    else
        seekToSeconds(value, 1);
}

void KLVMovieController::pauseForSeek()
{
    if (delegate_ && delegate_->isMaster()) {
        delegate_->pauseForSeek();
        return;
    }
    if (isPlaying_) {
        didPauseForSeek_ = true;
        pause();
    }
}

void KLVMovieController::playFromSeek()
{
    if (delegate_ && delegate_->isMaster()) {
        delegate_->playFromSeek();
        return;
    }
    if (!didPauseForSeek_ || !engine_)
        return;
    didPauseForSeek_ = false;
    // One pending start per controller, bounded: a file that never fills its buffers (or none
    // open) does not poll forever.
    auto ticks = std::make_shared<int>(0);
    playWhenReady_ = timers_.schedule(kUpdateIntervalMs, true, [this, ticks] {
        if (engine_->BuffersReady()) {
            playWhenReady_.reset();
            play();
        } else if (++*ticks >= kPlayWhenReadyMaxTicks || !engine_->IsFileOpen()) {
            playWhenReady_.reset();
        }
    });
}

void KLVMovieController::cancelPendingPlay()
{
    playWhenReady_.reset();
}

void KLVMovieController::updateInOutPoints(QMProgressBar& bar)
{
    if (!engine_)
        return;
    if (engine_->SetInOutPoints(bar.inValue(), bar.outValue()) != 0) {
        showEngineRange(bar);
        return;
    }
    if (engine_->GetCurrentTime() > bar.inValue())
        seekToSeconds(bar.inValue(), 0);
}

void KLVMovieController::showEngineRange(QMProgressBar& bar)
{
    bar.setInValue(engine_->GetInPoint());
    bar.setOutValue(engine_->GetOutPoint());
}
