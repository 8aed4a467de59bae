#pragma once
// The sockets and queues of an I/O controller: the send socket on the protocol's queue, where
// the delegate is called, and the receive socket on the filter queue, where datagrams are
// tested. shutdown() stops both queues and deletes the sockets; after it no socket callback runs.
#include "platform/net/AsyncUdpSocket.h"
#include "platform/net/DelegateQueue.h"

#include <QString>

#include <atomic>
#include <memory>

class FWNMXSocketPair {
public:
    // Queues labelled with the library's prefix followed by name and name + ".filter".
    FWNMXSocketPair(const QString& name, platform::net::AsyncUdpSocketDelegate* delegate);
    ~FWNMXSocketPair() { shutdown(); }
    FWNMXSocketPair(const FWNMXSocketPair&) = delete;
    FWNMXSocketPair& operator=(const FWNMXSocketPair&) = delete;

    // Idempotent; call it first in the owner's destructor, before the owner's fields go.
    void shutdown();
    bool isShuttingDown() const { return closing_.load(); }

    platform::net::DelegateQueue& queue() { return *queue_; }
    platform::net::DelegateQueue& filterQueue() { return *filterQueue_; }
    platform::net::AsyncUdpSocket& sendSocket() { return *sendSocket_; }
    platform::net::AsyncUdpSocket& receiveSocket() { return *receiveSocket_; }
    const platform::net::AsyncUdpSocket& receiveSocket() const { return *receiveSocket_; }

private:
    std::atomic<bool> closing_{false};
    std::unique_ptr<platform::net::DelegateQueue> queue_;
    std::unique_ptr<platform::net::DelegateQueue> filterQueue_;
    platform::net::AsyncUdpSocket* sendSocket_ = nullptr;    // lives on the queue
    platform::net::AsyncUdpSocket* receiveSocket_ = nullptr; // lives on the filter queue
};
