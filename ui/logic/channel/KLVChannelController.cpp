#include "ui/logic/channel/KLVChannelController.h"

#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/channel/KLVChannelPlaylistView.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/logic/defaults/KLVDefaultsKeys.h"
#include "ui/logic/ports/KLVTimerSource.h"

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
    movieController_ = std::make_unique<KLVMovieController>(std::move(engine), delegate_.timers(), 0);
    movieController_->setDelegate(this);
}

KLVChannelController::~KLVChannelController()
{
    // The movie controller's engine may still call back into the components while it stops.
    movieController_.reset();
}

void KLVChannelController::setupInitialUI() {}

void KLVChannelController::updateUI()
{
    output_->updateMenus();
    emit menusChanged();
}

void KLVChannelController::setChannelData(std::shared_ptr<KLVChannel> channel)
{
    if (!channel)
        channel = KLVChannel::create(tag_);
    channelData_ = std::move(channel);
    playlistView_ = std::make_unique<KLVChannelPlaylistView>(channelData_);
    emit playlistChanged();
}

QString KLVChannelController::channelName() const
{
    const QVariant label = platform::UserDefaults::sharedDefaults().objectForKey(
        KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kChannelLabel, tag_));
    return label.isValid() ? label.toString() : QString();
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
    currentNode_ = node;
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
void KLVChannelController::setHasReference(bool) {}
bool KLVChannelController::showSlate() const { return transport_->showSlate(); }

QList<QObject*> KLVChannelController::channelControllers() const
{
    QList<QObject*> list;
    for (KLVChannelController* c : delegate_.channelControllers())
        list.append(c);
    return list;
}

void KLVChannelController::establishLinkedChannel() {}
void KLVChannelController::addLinkedChannel(KLVChannelController*) {}
void KLVChannelController::removeLinkedChannel(KLVChannelController*) {}

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
    return record_->operationMode();
}
