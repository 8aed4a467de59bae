#include "ui/logic/channel/KLVChannelController.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/ports/KLVPrompter.h"
#include "app/ports/KLVTimerSource.h"
#include "engine/base/ssChangeStamp.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelLoadedCue.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/channel/KLVChannelPlaylistView.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <QUndoStack>

#include <algorithm>

namespace {
platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}
} // namespace

KLVChannelController::KLVChannelController(KLVChannelControllerDelegate& delegate, long tag,
                                           std::unique_ptr<KLVPlaybackEngine> engine)
    : delegate_(delegate), tag_(tag)
{
    KLVDefaultsKeys::registerChannelDefaults(tag_);
    output_ = std::make_unique<KLVChannelOutput>(*this);
    transport_ = std::make_unique<KLVChannelTransport>(*this);
    import_ = std::make_unique<KLVChannelImport>(*this);
    table_ = std::make_unique<KLVChannelTableEdits>(*this);
    dragDrop_ = std::make_unique<KLVChannelDragDrop>(*this);
    record_ = std::make_unique<KLVChannelRecord>(*this);
    overlay_ = std::make_unique<KLVChannelOverlay>(*this);
    setChannelData(delegate_.playlistDataForChannelNumber(tag_));
    // A step of the undo stack (a move takes a cue out and puts it back) has ended.
    if (QUndoStack* stack = delegate_.undoManager())
        connect(stack, &QUndoStack::indexChanged, this, [this] { transport_->loadedCue().stepEnded(); });
    movieController_ = std::make_unique<KLVMovieController>(std::move(engine), delegate_.timers(), 0);
    movieController_->setDelegate(this);
    operationMode();
    // Another channel's claim or release changes what this channel's device menu offers; the
    // rebuild waits for the next turn so that it never runs inside a claim being made.
    devicesObservation_ = KLVDeviceController::sharedController().devicesInUseChanged().subscribe([this] {
        if (menusRebuildPending_.exchange(true))
            return;
        platform::dispatchMain(this, [this] {
            menusRebuildPending_.store(false);
            platform::log("com.quenmark.Kalvanto", "channel", platform::LogLevel::Info, "devicesInUse changed");
            updateUI();
        });
    });
}

KLVChannelController::~KLVChannelController()
{
    currentNodeObservation_.reset();
    devicesObservation_.reset();
    channelObservation_.reset();
    // Neither side of a link may keep a pointer to this channel or follow its engine.
    if (linkedController_) {
        linkedController_->linkedControllerArray_.removeAll(this);
        if (KLVPlaybackEngine* e = movieController_->movie())
            e->SetMaster(nullptr, 0);
    }
    for (KLVChannelController* slave : std::as_const(linkedControllerArray_)) {
        slave->linkedController_ = nullptr;
        if (KLVPlaybackEngine* e = slave->movie().movie())
            e->SetMaster(nullptr, 0);
    }
    if (channelData_)
        channelData_->setDelegate(nullptr);
    transport_->cancelPendingStarts();
    output_->releaseClaims();
    // The movie controller's engine may still call back into the components while it stops.
    movieController_.reset();
}

void KLVChannelController::setupInitialUI()
{
    auto& d = defaults();
    const auto key = [this](const char* format) { return KLVDefaultsKeys::channelKey(format, tag_); };
    if (d.objectForKey(key(KLVDefaultsKeys::kShowTimeCode)).isValid())
        setShowTimeCode(d.boolForKey(key(KLVDefaultsKeys::kShowTimeCode)));
    const QVariant slate = d.objectForKey(key(KLVDefaultsKeys::kShowSlate));
    transport_->setShowSlate(slate.isValid() ? slate.toBool() : KLVDefaultsKeys::kShowSlateDefault);
    const QVariant mutePreview = d.objectForKey(key(KLVDefaultsKeys::kMutePreview));
    transport_->setMutePreview(mutePreview.isValid() ? mutePreview.toBool() : KLVDefaultsKeys::kMutePreviewDefault);
    record_->setOperationMode(operationMode(), false);
    const QVariant sync = d.objectForKey(key(KLVDefaultsKeys::kSelectedSyncMode));
    output_->setSyncMode(sync.isValid() ? long(d.integerForKey(key(KLVDefaultsKeys::kSelectedSyncMode)))
                                        : KLVDefaultsKeys::kSyncModeDefault);
    updateUI();
    output_->restoreAudio();
    establishLinkedChannel();
    output_->setDeviceEnabled(false);
    output_->restoreOutputDevice();
    updateUI();
}

void KLVChannelController::updateUI()
{
    output_->updateMenus();
    record_->updateFileSizeDescription(false);
    emit menusChanged();
}

void KLVChannelController::setChannelData(std::shared_ptr<KLVChannel> channel)
{
    channelObservation_.reset();
    if (channelData_)
        channelData_->setDelegate(nullptr);
    if (!channel)
        channel = KLVChannel::create(tag_);
    channelData_ = std::move(channel);
    channelData_->setDelegate(this);
    // The overlay follows the document's image and rectangle, whoever changes them.
    channelObservation_ = channelData_->observers().subscribe([this](const QString& key, bool before) {
        if (!before && (key == QLatin1String("graphicOverlayImageDisplayRect")
                        || key == QLatin1String("graphicOverlayImagePath")))
            overlay_->graphicOverlayChanged();
        // Whoever took the loaded cue away (a delete, a smart folder, a controller), it never airs.
        if (!before && key == QLatin1String("playlistItems"))
            transport_->loadedCue().playlistChanged(table_->model().isCommitting());
    });
    output_->takeTimeCodeSetting(channelData_->timeCodeSetting());
    playlistView_ = std::make_unique<KLVChannelPlaylistView>(channelData_);
    emit playlistChanged();
}

QString KLVChannelController::channelName() const
{
    const QVariant label = defaults().objectForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kChannelLabel, tag_));
    // An empty label (stored by older versions when the field was cleared) names nothing.
    return label.isValid() && !label.toString().isEmpty() ? label.toString() : QString();
}

KLVMovieControlling* KLVChannelController::movieController()
{
    return movieController_.get();
}

KLVChannelPlaylist* KLVChannelController::channelData()
{
    return playlistView_.get();
}

bool KLVChannelController::isMaster() const
{
    return !linkedControllerArray_.isEmpty();
}

void KLVChannelController::playMaster(void* sender) { transport_->playMaster(sender); }
void KLVChannelController::stopMaster(void* sender) { transport_->stopMaster(sender); }
void KLVChannelController::pauseMaster(void* sender) { transport_->pauseMaster(sender); }
void KLVChannelController::seekMasterToTimeCode(const QMTimeCode& tc) { transport_->seekMasterToTimeCode(tc); }

std::shared_ptr<KLVPlaylistItem> KLVChannelController::currentNode() const
{
    return currentNode_ ? currentNode_->playlistItem() : nullptr;
}

void KLVChannelController::setCurrentNode(const NodePtr& node)
{
    currentNodeObservation_.reset();
    currentNode_ = node;
    transport_->loadedCue().loaded(node);
    if (node) {
        // An edit of the loaded cue's behaviour (the inspector, a remote command) reaches the
        // engine at once.
        std::weak_ptr<KLVPlaylistNode> weak = node;
        currentNodeObservation_ = node->observers().subscribe([this, weak](const QString& key, bool before) {
            if (before || key != QLatin1String("playbackBehavior"))
                return;
            if (const auto n = weak.lock())
                if (KLVPlaybackEngine* e = movieController_ ? movieController_->movie() : nullptr)
                    e->SetPlaybackBehavior(int32_t(n->playbackBehavior()));
        });
    }
    emit currentNodeChanged();
}

long KLVChannelController::selectedIndex() const { return import_->selectedIndex(); }
void KLVChannelController::selectPlaylistItemAtIndex(long index) { import_->selectPlaylistItemAtIndex(index); }
void KLVChannelController::scrollToSelection() { table_->scrollToSelection(); }

std::shared_ptr<KLVPlaylistItem> KLVChannelController::nodeWithName(const QString& name) const
{
    const NodePtr node = import_->nodeWithName(name);
    return node ? node->playlistItem() : nullptr;
}

void KLVChannelController::endpointReached() { transport_->endpointReached(); }
void KLVChannelController::seekToSeconds(double seconds, int mode) { transport_->seekToSeconds(seconds, mode); }
void KLVChannelController::pauseForSeek() { transport_->pauseForSeek(); }
void KLVChannelController::playFromSeek() { transport_->playFromSeek(); }
bool KLVChannelController::showSlate() const { return transport_->showSlate(); }

void KLVChannelController::movieDidLoad()
{
    emit stateChanged();
}

void KLVChannelController::setHasReference(bool hasReference)
{
    // Called at the preview's frame rate on its thread: only a change is handed to main, once.
    if (hasReference_.exchange(hasReference) == hasReference || referenceNoticePending_.exchange(true))
        return;
    platform::dispatchMain(this, [this] {
        referenceNoticePending_.store(false);
        emit stateChanged();
    });
}

QList<QObject*> KLVChannelController::channelControllers() const
{
    QList<QObject*> list;
    for (KLVChannelController* c : delegate_.channelControllers())
        list.append(c);
    return list;
}

// --- links ---

bool KLVChannelController::linkRefused(KLVChannelController* target) const
{
    // Following the target's masters must never come back here: a link that closes a loop
    // (a self-link, a master linking to its own slave, or a longer ring read from a document)
    // would recurse forever in stub filling and the transport. The walk is bounded by the number
    // of channels in case a ring exists among the others already.
    qsizetype steps = delegate_.channelControllers().size() + 1;
    for (const KLVChannelController* m = target; m && steps-- > 0; m = m->linkedController_)
        if (m == this)
            return true;
    return steps < 0;
}

QList<KLVChannelController*> KLVChannelController::linkedBelow() const
{
    QList<KLVChannelController*> below;
    const qsizetype most = delegate_.channelControllers().size();
    for (qsizetype next = -1; next < below.size() && below.size() < most; ++next) {
        const KLVChannelController* master = next < 0 ? this : below.at(next);
        for (KLVChannelController* slave : master->linkedControllerArray_)
            if (slave != this && !below.contains(slave) && below.size() < most)
                below.append(slave);
    }
    return below;
}

void KLVChannelController::refuseLink()
{
    KLVAlert alert;
    alert.messageText = KLVChannelTexts::localized(KLVChannelTexts::kError);
    alert.informativeText =
        QStringLiteral("Channel %1 is already a slave to this channel").arg(channelData_->linkedChannelNumber());
    alert.buttons = {KLVChannelTexts::localized(KLVChannelTexts::kOK)};
    channelData_->setLinkedChannelNumber(0);
    delegate_.prompter().runModal(alert);
    emit menusChanged();
}

void KLVChannelController::establishLinkedChannel()
{
    if (linkedController_) {
        KLVChannelController* oldMaster = linkedController_;
        linkedController_ = nullptr;
        oldMaster->removeLinkedChannel(this);
    }
    const long number = long(channelData_->linkedChannelNumber());
    KLVChannelController* target = number > 0 ? delegate_.channelControllerForTag(number) : nullptr;
    if (target && linkRefused(target)) {
        refuseLink();
        return;
    }
    if (target) {
        linkedController_ = target;
        target->addLinkedChannel(this);
    } else {
        setControlButtonsEnabled(true);
    }
    emit menusChanged();
    delegate_.saveLocalData();
}

void KLVChannelController::addLinkedChannel(KLVChannelController* slave)
{
    if (!slave || linkedControllerArray_.contains(slave))
        return;
    linkedControllerArray_.append(slave);
    slave->table().addStubItemsToPlaylist(table_->playlistItemCount());
    emit stateChanged();
}

void KLVChannelController::removeLinkedChannel(KLVChannelController* slave)
{
    if (!slave)
        return;
    if (KLVPlaybackEngine* e = slave->movie().movie())
        e->SetMaster(nullptr, 0);
    linkedControllerArray_.removeAll(slave);
    slave->channel()->removeStubs();
    slave->table().reloadTable();
    emit slave->playlistChanged();
    if (linkedControllerArray_.isEmpty())
        setControlButtonsEnabled(true);
    emit stateChanged();
    delegate_.saveLocalData();
}

QStringList KLVChannelController::linkMenuTitles() const
{
    QStringList titles{KLVChannelTexts::localized(KLVChannelTexts::kNone)};
    const long count = std::max<long>(long(delegate_.channelControllers().size()), tag_);
    for (long k = 1; k <= count; ++k)
        titles.append(QStringLiteral("Channel %1").arg(k));
    return titles;
}

long KLVChannelController::selectedLinkIndex() const
{
    const long number = long(channelData_->linkedChannelNumber());
    return number > 0 && number < linkMenuTitles().size() ? number : 0;
}

void KLVChannelController::selectLinkSetting(long index)
{
    channelData_->setLinkedChannelNumber(std::max<long>(index, 0));
    establishLinkedChannel();
}

// --- shared state ---

void KLVChannelController::setControlButtonsEnabled(bool enabled)
{
    controlButtonsEnabled_ = enabled;
    emit stateChanged();
}

bool KLVChannelController::isPlaying() const
{
    return movieController_ && movieController_->isPlaying();
}

long KLVChannelController::operationMode() const
{
    const long mode = record_->operationMode();
    cachedOperationMode_.store(mode, std::memory_order_relaxed);
    return mode;
}

void KLVChannelController::operationModeDidChange(long mode)
{
    cachedOperationMode_.store(mode, std::memory_order_relaxed);
    output_->reclaimForOperationMode(mode);
    updateUI();
}

QString KLVChannelController::noDeviceSelectedMenuItemTitle() const
{
    return KLVChannelTexts::noDeviceSelectedMenuItemTitle(operationMode());
}

void KLVChannelController::setShowTimeCode(bool show)
{
    movieController_->setShowTimeCode(show);
    emit stateChanged();
}

void KLVChannelController::selectAlphaSetting(const QString& title)
{
    platform::log("com.quenmark.Kalvanto", "channel", platform::LogLevel::Info,
                  QStringLiteral("Alpha Setting Changed to: %1").arg(title));
}

// --- preview ---

void KLVChannelController::setPreviewFrames(const QRectF& frame, const QRectF& superviewFrame)
{
    movieController_->setPreviewFrames(frame, superviewFrame);
    record_->setPreviewFrames(frame.toRect(), superviewFrame.toRect());
}

void KLVChannelController::drawPreview()
{
    // Never a settings read here: this runs at the display's rate off the main thread.
    switch (cachedOperationMode_.load(std::memory_order_relaxed)) {
    case 0: {
        std::lock_guard lock(previewLock_);
        movieController_->drawPreview();
        break;
    }
    case 1: {
        std::lock_guard lock(previewLock_);
        if (recordHooks_.drawPreview)
            recordHooks_.drawPreview();
        break;
    }
    default: break;
    }
}

uint64_t KLVChannelController::previewStamp()
{
    const long mode = cachedOperationMode_.load(std::memory_order_relaxed);
    ssChangeStamp stamp;
    stamp.Add(int64_t(mode));
    std::lock_guard lock(previewLock_);
    if (mode == 0)
        stamp.Add(movieController_->previewStamp());
    else if (mode == 1 && recordHooks_.previewStamp)
        stamp.Add(recordHooks_.previewStamp());
    return stamp.Value();
}
