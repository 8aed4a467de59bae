#include "ui/logic/inspector/KLVCueInspectorController.h"

#include "app/devices/KLVDVIOutput.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/util/KLVUtilities.h"
#include "engine/output/ssDVIOutput.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/inspector/KLVCueRangeCommand.h"
#include "ui/logic/inspector/KLVInspectorTime.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QUndoStack>
#include <QUrl>

KLVCueInspectorController::KLVCueInspectorController(KLVChannelControllerDelegate& delegate,
                                                     std::unique_ptr<KLVPlaybackEngine> engine)
    : delegate_(delegate), movieController_(std::make_unique<KLVMovieController>(std::move(engine), delegate.timers(), 1))
{
}

KLVCueInspectorController::~KLVCueInspectorController()
{
    *alive_ = false;
    nodeSubscription_.reset();
    // The engine lets go of the private output before either goes.
    if (dviOutput_ && movieController_->movie())
        movieController_->movie()->SetOutputDevice(nullptr, -1);
    movieController_.reset();
    dviHandle_.reset();
    dviOutput_.reset();
}

KLVDVIOutput* KLVCueInspectorController::attachPrivateOutput(int width, int height)
{
    if (dviOutput_)
        return dviHandle_.get();
    dviOutput_ = std::make_unique<ssDVIOutput>();
    dviOutput_->SetName("CueInspector");
    dviOutput_->Kind_ = ssBaseOutput::kKindScreen;
    outputMode mode;
    ssCopyName(mode.name, sizeof mode.name, QStringLiteral("%1x%2").arg(width).arg(height).toUtf8().constData());
    mode.width = width;
    mode.height = height;
    dviOutput_->AddMode(mode);
    if (KLVPlaybackEngine* engine = movieController_->movie())
        engine->SetOutputDevice(dviOutput_.get(), 0);
    dviHandle_ = std::make_unique<KLVDVIOutput>(dviOutput_.get());
    dviHandle_->setSize(width, height);
    return dviHandle_.get();
}

void KLVCueInspectorController::setViews(QMProgressBar* progressBar, KLVTimeLabel* timeIn, KLVTimeLabel* timeOut)
{
    progressBar_ = progressBar;
    movieController_->setProgressBar(progressBar);
    if (progressBar)
        progressBar->setDelegate(this);
    movieController_->setTimeIn(timeIn);
    movieController_->setTimeOut(timeOut);
}

void KLVCueInspectorController::inspectCue(const NodePtr& node, bool withSlateScreen)
{
    durationDidChange_ = false;
    nodeSubscription_.reset();
    // The engine shows a slate only for a cue that has its own: one asked for without its image,
    // or left on from an earlier cue, would show that cue's slate (or the stock one) instead.
    // Its own is in memory once a channel has loaded it, before that only on disk; the engine
    // reads it from there.
    const bool slate = withSlateScreen && node
        && (!node->slate().isNull() || KLVImageManager::slateImageExistsForPlaylistNode(*node, nullptr));
    if (KLVPlaybackEngine* engine = movieController_->movie())
        engine->SetShowSlate(slate ? 1 : 0);
    movieController_->loadMovieForNode(node, slate, false);
    currentNode_ = node;
    if (node) {
        nodeSubscription_ = node->observers().subscribe([this](const QString& key, bool before) {
            if (!before && (key == QLatin1String("inPoint") || key == QLatin1String("outPoint"))) {
                durationDidChange_ = true;
                refreshProgressBar();
            }
        });
    }
    refreshProgressBar();
}

void KLVCueInspectorController::goToBeginningAction() { movieController_->executeCommand(1); }
void KLVCueInspectorController::rewindAction() { movieController_->executeCommand(2); }
void KLVCueInspectorController::pauseAction() { movieController_->executeCommand(3); }
void KLVCueInspectorController::playAction() { movieController_->executeCommand(4); }
void KLVCueInspectorController::fastforwardAction() { movieController_->executeCommand(5); }
void KLVCueInspectorController::goToEndAction() { movieController_->executeCommand(6); }

bool KLVCueInspectorController::keyDown(int keyCode, bool shift)
{
    switch (keyCode) {
    case KeySpace:
        movieController_->isPlaying() ? pauseAction() : playAction();
        return true;
    case KeyLeft:
        shift ? goToBeginningAction() : rewindAction();
        return true;
    case KeyRight:
        shift ? goToEndAction() : fastforwardAction();
        return true;
    default:
        return false;
    }
}

bool KLVCueInspectorController::applyRange(bool outPoint, double t)
{
    KLVPlaybackEngine* engine = movieController_->movie();
    if (!currentNode_ || !engine)
        return false;
    const double duration = engine->GetDuration();
    if (outPoint) {
        // The range must stay a range: after the in point and inside the clip.
        if (t <= currentNode_->inPoint() || (duration > 0 && t > duration))
            return false;
        if (engine->SetOutPoint(t) != 0)
            return false;
        currentNode_->setOutPoint(t);
    } else {
        const double out = currentNode_->outPoint() > 0 ? currentNode_->outPoint() : duration;
        if (t < 0 || (out > 0 && t >= out))
            return false;
        if (engine->SetInPoint(t) != 0)
            return false;
        currentNode_->setInPoint(t);
    }
    return true;
}

bool KLVCueInspectorController::updateProgressBar(bool outField, const QString& text)
{
    KLVPlaybackEngine* engine = movieController_->movie();
    bool taken = false;
    const Range before = currentRange();
    if (engine && currentNode_) {
        if (const auto t = KLVInspectorTime::parse(text, engine->GetFrameRate())) {
            const double p = engine->GetCurrentTime();
            taken = applyRange(outField, *t);
            if (taken && ((outField && p > *t) || (!outField && *t > p)))
                engine->Seek(*t, 0);
        }
    }
    if (taken)
        rangeEdited(before);
    refreshProgressBar();
    return taken;
}

bool KLVCueInspectorController::setInOutValue(bool outPoint)
{
    KLVPlaybackEngine* engine = movieController_->movie();
    if (!engine || !currentNode_)
        return false;
    const Range before = currentRange();
    const double p = engine->GetCurrentTime();
    currentNode_->setFps(engine->GetFrameRate());
    const bool taken = applyRange(outPoint, p);
    if (taken)
        rangeEdited(before);
    refreshProgressBar();
    return taken;
}

void KLVCueInspectorController::resetInOutPoints()
{
    KLVPlaybackEngine* engine = movieController_->movie();
    if (!engine || !currentNode_)
        return;
    const double d = engine->GetDuration();
    if (!(d > 0))
        return;
    const Range before = currentRange();
    engine->SetInOutPoints(0, d);
    currentNode_->setInPoint(0);
    currentNode_->setOutPoint(d);
    rangeEdited(before);
    refreshProgressBar();
}

KLVCueInspectorController::Range KLVCueInspectorController::currentRange() const
{
    return currentNode_ ? Range{currentNode_->inPoint(), currentNode_->outPoint()} : Range{};
}

void KLVCueInspectorController::rangeEdited(const Range& before)
{
    rangeChanged(currentNode_);
    pushUndoStep(before);
}

void KLVCueInspectorController::rangeChanged(const NodePtr& node)
{
    if (!node)
        return;
    // The document holds the range; a channel that has this cue loaded plays the new one, and a
    // table that lists it shows it at once.
    delegate_.saveLocalData();
    for (KLVChannelController* channel : delegate_.channelControllers()) {
        if (!channel)
            continue;
        if (channel->currentPlaylistNode() == node)
            if (KLVPlaybackEngine* engine = channel->movie().movie())
                engine->SetInOutPoints(node->inPoint(), node->outPoint());
        KLVChannelTableEdits& table = channel->table();
        if (const long row = table.model().rowOf(node); row >= 0) {
            table.reloadRows({row}, KLVPlaylistTableModel::InPointColumn);
            table.reloadRows({row}, KLVPlaylistTableModel::OutPointColumn);
        }
    }
}

void KLVCueInspectorController::pushUndoStep(const Range& before)
{
    QUndoStack* stack = delegate_.undoManager();
    const Range after = currentRange();
    if (!stack || !currentNode_ || (before.in == after.in && before.out == after.out))
        return;
    std::weak_ptr<bool> alive = alive_;
    auto restore = [this, alive](const NodePtr& node, double in, double out) {
        if (!alive.expired())
            restoreRange(node, Range{in, out});
    };
    stack->push(new KLVCueRangeCommand(currentNode_, before.in, before.out, after.in, after.out, std::move(restore)));
}

void KLVCueInspectorController::restoreRange(const NodePtr& node, const Range& range)
{
    node->setInPoint(range.in);
    node->setOutPoint(range.out);
    if (node == currentNode_)
        if (KLVPlaybackEngine* engine = movieController_->movie())
            engine->SetInOutPoints(range.in, range.out);
    rangeChanged(node);
    refreshProgressBar();
}

// --- the progress bar ---

void KLVCueInspectorController::updateInOutPoints(QMProgressBar& bar)
{
    KLVPlaybackEngine* engine = movieController_->movie();
    if (!engine || !currentNode_) {
        movieController_->updateInOutPoints(bar);
        return;
    }
    if (!dragStart_)
        dragStart_ = currentRange();
    // One handle moves at a time; the in handle is the one off the cue's in point.
    const bool outMoved = bar.inValue() == currentNode_->inPoint();
    // A handle the range cannot take springs back to where the cue's range is.
    if (!applyRange(outMoved, outMoved ? bar.outValue() : bar.inValue())) {
        refreshProgressBar();
        return;
    }
    rangeChanged(currentNode_);
    if (engine->GetCurrentTime() > currentNode_->inPoint())
        engine->Seek(currentNode_->inPoint(), 0);
}

void KLVCueInspectorController::playFromSeek()
{
    // A handle drag ends: it is one step to undo, however many moves it took.
    if (dragStart_) {
        const Range before = *dragStart_;
        dragStart_.reset();
        pushUndoStep(before);
    }
    movieController_->playFromSeek();
}

void KLVCueInspectorController::pauseForSeek() { movieController_->pauseForSeek(); }

void KLVCueInspectorController::seek(double value, bool optionHeld) { movieController_->seek(value, optionHeld); }

void KLVCueInspectorController::refreshProgressBar()
{
    if (!progressBar_ || !currentNode_)
        return;
    progressBar_->setInValue(currentNode_->inPoint());
    progressBar_->setOutValue(currentNode_->outPoint());
}

void KLVCueInspectorController::showInFinder()
{
    if (!currentNode_)
        return;
    QString path = currentNode_->plnSourcePath().value_or(QString());
    if (path.startsWith(u'~'))
        path = QDir::homePath() + path.mid(1);
    KLVUtilities::selectFileInFinder({QUrl::fromLocalFile(path)});
}

void KLVCueInspectorController::windowWillClose()
{
    if (KLVPlaybackEngine* engine = movieController_->movie())
        engine->Pause();
    if (durationDidChange_ && currentNode_)
        recalculateSlateForChange(currentNode_);
    durationDidChange_ = false;
    nodeSubscription_.reset();
    currentNode_.reset();
}

void KLVCueInspectorController::recalculateSlateForChange(const NodePtr& node)
{
    // The media helper's client is main-thread only: the work is queued to the main thread,
    // after the window has closed.
    std::weak_ptr<bool> alive = alive_;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive, node] {
            if (alive.expired())
                return;
            KLVImageManager::removeSlateForNode(*node);
            delegate_.requestSlateForNode(node, [node](const platform::Error&, const QVariant&) {
                QString path;
                if (KLVImageManager::slateImageExistsForPlaylistNode(*node, &path)) {
                    const QImage slate(path);
                    if (!slate.isNull())
                        node->setSlate(slate);
                }
            });
        },
        Qt::QueuedConnection);
}
