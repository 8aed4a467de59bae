#include "tests/ui/support/FakeChannelDelegate.h"

#include "app/document/KLVChannel.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelRecord.h"

namespace testsupport {

std::shared_ptr<KLVChannel> FakeChannelDelegate::playlistDataForChannelNumber(long tag)
{
    auto& channel = channels[tag];
    if (!channel)
        channel = KLVChannel::create(tag);
    return channel;
}

KLVChannelController* FakeChannelDelegate::channelControllerForTag(long tag) const
{
    for (KLVChannelController* c : controllers)
        if (c->tag() == tag)
            return c;
    return nullptr;
}

void FakeChannelDelegate::request(const char* kind, const NodePtr& node, CompletionBlock completion)
{
    if (mediaHelper)
        mediaHelper(kind, node, completion);
    else
        pending.push_back({kind, node, std::move(completion)});
}

void FakeChannelDelegate::requestMetadataForNode(const NodePtr& node, CompletionBlock completion)
{
    request("metadata", node, std::move(completion));
}

void FakeChannelDelegate::requestThumbForNode(const NodePtr& node, CompletionBlock completion)
{
    request("thumb", node, std::move(completion));
}

void FakeChannelDelegate::requestSlateForNode(const NodePtr& node, CompletionBlock completion)
{
    request("slate", node, std::move(completion));
}

float FakeChannelDelegate::spaceOnVolumeForChannel(KLVChannelController* asking)
{
    float sum = 0;
    const QString volume = asking->record().getVolume();
    for (KLVChannelController* c : controllers)
        if (c != asking)
            sum += c->record().spaceNeededOnVolume(volume);
    return sum;
}

void FakeChannelDelegate::updateRecordingFiles(const QString& path)
{
    if (!recordingFiles.contains(path))
        recordingFiles.append(path);
}

} // namespace testsupport
