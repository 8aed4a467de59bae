#include "shell/KLVChannelDirectory.h"

#include "ui/logic/channel/KLVChannelController.h"

QList<KLVChannelControlling*> KLVChannelDirectory::channelControllers() const
{
    QList<KLVChannelControlling*> list;
    for (KLVChannelController* channel : channels_())
        list.append(channel);
    return list;
}

KLVChannelControlling* KLVChannelDirectory::channelControllerForTag(long tag) const
{
    return lookup_(tag);
}
