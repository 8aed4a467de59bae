#pragma once
// The application's channels (implemented by the application delegate).
#include "comm/core/app/KLVChannelControlling.h"
#include "comm/core/app/KLVMovieDelegate.h"

#include <QList>

class KLVChannelProviding {
public:
    virtual ~KLVChannelProviding() = default;
    // Every channel controller in column order (tags 1 to N).
    virtual QList<KLVChannelControlling*> channelControllers() const = 0;
    // The controller with this tag, or null.
    virtual KLVChannelControlling* channelControllerForTag(long tag) const = 0;
    // The transport target that acts on every channel's movie controller in column order.
    virtual KLVMovieDelegate& allChannelsMovieDelegate() = 0;
};
