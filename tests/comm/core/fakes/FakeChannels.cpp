#include "tests/comm/core/fakes/FakeChannels.h"

void FakeMovieController::playAtRate(float rate)
{
    calls << QStringLiteral("playAtRate %1").arg(double(rate));
    playing = true;
}

std::shared_ptr<KLVPlaylistItem> FakeChannelController::currentNode() const
{
    if (selected < 0 || selected >= playlist.items.size())
        return nullptr;
    return playlist.items.at(selected);
}

void FakeChannelController::selectPlaylistItemAtIndex(long index)
{
    calls << QStringLiteral("selectPlaylistItemAtIndex %1").arg(index);
    selected = index;
}

std::shared_ptr<KLVPlaylistItem> FakeChannelController::nodeWithName(const QString& wanted) const
{
    for (const auto& item : playlist.items) {
        if (item->plnName() == wanted)
            return item;
    }
    return nullptr;
}

FakeChannelProvider::FakeChannelProvider(int count)
{
    for (int tag = 1; tag <= count; ++tag)
        channels.push_back(std::make_unique<FakeChannelController>(tag));
}

QList<KLVChannelControlling*> FakeChannelProvider::channelControllers() const
{
    QList<KLVChannelControlling*> list;
    for (const auto& c : channels)
        list.append(c.get());
    return list;
}

KLVChannelControlling* FakeChannelProvider::channelControllerForTag(long tag) const
{
    for (const auto& c : channels) {
        if (c->tag() == tag)
            return c.get();
    }
    return nullptr;
}
