#pragma once
// One cue of a channel's playlist, as the communications module sees it; and the channel's
// cues in play order.
#include "comm/timecode/QMTimeCode.h"

#include <QList>
#include <QString>

#include <memory>

class KLVPlaylistItem {
public:
    virtual ~KLVPlaylistItem() = default;
    virtual QString plnName() const = 0;
    virtual QMTimeCode durationTimeCode() const = 0;
};

class KLVChannelPlaylist {
public:
    virtual ~KLVChannelPlaylist() = default;
    // Read and edited on the main thread.
    virtual QList<std::shared_ptr<KLVPlaylistItem>> playlistItems() const = 0;
};
