#include "ui/logic/channel/KLVChannelPlaylistView.h"

#include "app/document/KLVPlaylistNode.h"

QList<std::shared_ptr<KLVPlaylistItem>> KLVChannelPlaylistView::playlistItems() const
{
    QList<std::shared_ptr<KLVPlaylistItem>> items;
    for (const auto& node : channel_->playlistItems())
        items.append(node->playlistItem());
    return items;
}
