#include "comm/showcontrol/dmxnet/FWNMXSocketPair.h"

#include "comm/showcontrol/dmxnet/FWNError.h"

using platform::net::AsyncUdpSocket;
using platform::net::DelegateQueue;

FWNMXSocketPair::FWNMXSocketPair(const QString& name, platform::net::AsyncUdpSocketDelegate* delegate)
    : queue_(std::make_unique<DelegateQueue>(QString::fromLatin1(FWNMXQueuePrefix) + name))
    , filterQueue_(std::make_unique<DelegateQueue>(QString::fromLatin1(FWNMXQueuePrefix) + name + QStringLiteral(".filter")))
    , sendSocket_(new AsyncUdpSocket(*queue_, delegate))
    , receiveSocket_(new AsyncUdpSocket(*filterQueue_, delegate))
{
}

void FWNMXSocketPair::shutdown()
{
    if (closing_.exchange(true))
        return;
    // Either queue may be the one this runs on, inside a socket callback: the sockets dispose of
    // themselves rather than be deleted under it.
    queue_->shutdown([this] {
        sendSocket_->dispose();
        sendSocket_ = nullptr;
    });
    filterQueue_->shutdown([this] {
        receiveSocket_->dispose();
        receiveSocket_ = nullptr;
    });
}
