#pragma once
// One channel's view controller, as the communications module drives it.
#include "comm/core/app/KLVMovieControlling.h"
#include "comm/core/app/KLVPlaylistItem.h"

#include <QString>

#include <memory>

class KLVChannelControlling {
public:
    virtual ~KLVChannelControlling() = default;
    virtual long tag() const = 0;
    // The label stored in the user default "KLVChannelLabel%ld" with the tag; null when unset.
    virtual QString channelName() const = 0;
    virtual KLVMovieControlling* movieController() = 0;
    virtual KLVChannelPlaylist* channelData() = 0;
    // True when other channels are linked to this one as slaves.
    virtual bool isMaster() const = 0;
    // Play, stop or pause this master together with its slaves (sender may be null).
    virtual void playMaster(void* sender) = 0;
    virtual void stopMaster(void* sender) = 0;
    virtual void pauseMaster(void* sender) = 0;
    // Seeks the master and its slaves, each slave with its own offset.
    virtual void seekMasterToTimeCode(const QMTimeCode& timeCode) = 0;
    virtual std::shared_ptr<KLVPlaylistItem> currentNode() const = 0;
    virtual long selectedIndex() const = 0;
    virtual void selectPlaylistItemAtIndex(long index) = 0;
    virtual void scrollToSelection() = 0;
    // The first cue whose name equals the string, or null.
    virtual std::shared_ptr<KLVPlaylistItem> nodeWithName(const QString& name) const = 0;
};
