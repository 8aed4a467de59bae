#pragma once
// The channels as the command interpreter sees them (KLVChannelProviding): the application's
// channel controllers in column order, and the all-channel transport for commands that address
// no channel. Main thread.

#include "comm/core/app/KLVChannelProviding.h"

#include <functional>

class KLVChannelController;

class KLVChannelDirectory final : public KLVChannelProviding {
public:
    using Channels = std::function<QList<KLVChannelController*>()>;
    using Lookup = std::function<KLVChannelController*(long)>;
    KLVChannelDirectory(Channels channels, Lookup lookup, KLVMovieDelegate& allChannels)
        : channels_(std::move(channels)), lookup_(std::move(lookup)), allChannels_(allChannels)
    {
    }

    QList<KLVChannelControlling*> channelControllers() const override;
    KLVChannelControlling* channelControllerForTag(long tag) const override;
    KLVMovieDelegate& allChannelsMovieDelegate() override { return allChannels_; }

private:
    Channels channels_;
    Lookup lookup_;
    KLVMovieDelegate& allChannels_;
};
