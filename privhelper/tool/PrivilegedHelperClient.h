#pragma once
// The helper's listener and connection bookkeeping. Each accepted connection whose peer the
// configuration allows is served by its own thread, one message after another. The tool quits
// once its last connection is gone: it stops accepting, then re-checks under the lock that no
// connection arrived meanwhile, so none is accepted only to be dropped.

#include "platform/privileged/HelperConfig.h"
#include "platform/privileged/PeerCredentials.h"
#include "platform/privileged/SafePath.h"
#include "platform/privileged/SeqPacketSocket.h"
#include "privhelper/tool/HelperOperations.h"

#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PrivilegedHelperClient {
public:
    // ownedSocketPath: the socket file this process created (--socket), removed when it stops
    // accepting; empty under socket activation, where systemd keeps the socket.
    PrivilegedHelperClient(platform::privileged::SeqPacketSocket listener,
                           std::string ownedSocketPath, platform::privileged::HelperConfig config,
                           platform::privileged::PathPolicy policy,
                           int idleTimeoutMs = kDefaultIdleTimeoutMs);
    ~PrivilegedHelperClient();
    PrivilegedHelperClient(const PrivilegedHelperClient&) = delete;
    PrivilegedHelperClient& operator=(const PrivilegedHelperClient&) = delete;

    // Serves until the last connection is gone; a tool that never gets one keeps running.
    void run();

    // At most this many connections are served at once, and at most kMaxConnectionsPerUser of
    // them for one user; more are closed at once.
    static constexpr std::size_t kMaxConnections = 32;
    static constexpr std::size_t kMaxConnectionsPerUser = 8;
    static constexpr int kDefaultIdleTimeoutMs = 60 * 1000;

private:
    struct Connection {
        std::uint64_t id = 0;
        uid_t uid = 0;
        std::thread thread;
    };

    bool acceptPending(int timeoutMs);
    bool peerAllowed(const platform::privileged::PeerCredentials& peer) const;
    void serve(std::uint64_t id, platform::privileged::SeqPacketSocket socket,
               platform::privileged::PeerCredentials peer);
    void removeConnection(std::uint64_t id);
    void joinFinished();
    bool quitting();

    platform::privileged::SeqPacketSocket listener_;
    std::string ownedSocketPath_;
    platform::privileged::HelperConfig config_;
    platform::privileged::PathPolicy policy_;
    HelperOperations operations_;
    const int idleTimeoutMs_;

    std::mutex mutex_; // guards everything below
    bool shouldQuit_ = false;
    std::uint64_t nextId_ = 1;
    std::list<Connection> connections_;
    std::vector<std::thread> finished_;
};
