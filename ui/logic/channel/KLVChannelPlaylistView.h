#pragma once
// A channel's cues as the communications module reads them: each cue's one stable item.

#include "app/document/KLVChannel.h"
#include "comm/core/app/KLVPlaylistItem.h"

#include <memory>

class KLVChannelPlaylistView final : public KLVChannelPlaylist {
public:
    explicit KLVChannelPlaylistView(std::shared_ptr<KLVChannel> channel) : channel_(std::move(channel)) {}
    QList<std::shared_ptr<KLVPlaylistItem>> playlistItems() const override;

private:
    std::shared_ptr<KLVChannel> channel_;
};
