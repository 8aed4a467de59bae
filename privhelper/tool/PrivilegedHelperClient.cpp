#include "privhelper/tool/PrivilegedHelperClient.h"

#include "platform/privileged/TlvMessage.h"
#include "privhelper/shared/HelperService.h"
#include "privhelper/tool/ToolLog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

using namespace platform::privileged;
namespace proto = PrivilegedHelperProtocol;

namespace {

// A reply for a request that could not even be decoded: it still carries the request's id
// and op when the header could be read.
std::string errorReplyFor(std::string_view received, int err)
{
    TlvMessage header;
    proto::Reply reply;
    if (TlvMessage::peekHeader(received, header)) {
        reply.op = static_cast<std::uint16_t>(header.op() & ~proto::kReplyFlag);
        reply.requestId = header.requestId();
    }
    reply.error = proto::posixError(err);
    std::string bytes;
    proto::encodeReply(reply).encode(bytes);
    return bytes;
}

} // namespace

PrivilegedHelperClient::PrivilegedHelperClient(SeqPacketSocket listener,
                                               std::string ownedSocketPath, HelperConfig config,
                                               PathPolicy policy, int idleTimeoutMs)
    : listener_(std::move(listener)),
      ownedSocketPath_(std::move(ownedSocketPath)),
      config_(std::move(config)),
      policy_(std::move(policy)),
      operations_(policy_, HelperService::version),
      idleTimeoutMs_(idleTimeoutMs)
{
}

PrivilegedHelperClient::~PrivilegedHelperClient()
{
    std::list<Connection> remaining;
    {
        std::lock_guard lock(mutex_);
        remaining.swap(connections_);
    }
    for (auto& c : remaining) {
        if (c.thread.joinable())
            c.thread.join();
    }
    joinFinished();
}

void PrivilegedHelperClient::run()
{
    toolLog(ToolLogLevel::standard, "starting…");
    // Listening: one-second slices, so a quit is seen at most a slice after the last
    // connection has gone.
    while (!quitting()) {
        acceptPending(1000);
        joinFinished();
    }
    // Stop accepting: with our own socket file, remove it so no new client can reach this
    // process; under socket activation systemd keeps the socket and starts the tool again for
    // the next client. Then take anything that queued meanwhile, and quit only when nothing did
    // and no connection is open.
    if (!ownedSocketPath_.empty())
        ::unlink(ownedSocketPath_.c_str());
    for (;;) {
        while (acceptPending(0)) {
        }
        if (quitting())
            break;
        acceptPending(1000);
        joinFinished();
    }
    listener_.close();
    joinFinished();
}

bool PrivilegedHelperClient::quitting()
{
    std::lock_guard lock(mutex_);
    return shouldQuit_ && connections_.empty();
}

bool PrivilegedHelperClient::acceptPending(int timeoutMs)
{
    pollfd p{listener_.fd(), POLLIN, 0};
    int rc = ::poll(&p, 1, timeoutMs);
    if (rc <= 0 || !(p.revents & POLLIN))
        return false;
    SeqPacketSocket socket;
    if (int err = listener_.accept(socket)) {
        // Out of descriptors: the pending connection stays readable, so pause instead of
        // spinning until one is freed.
        if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return false;
    }
    PeerCredentials peer;
    if (int err = readPeerCredentials(socket.fd(), peer)) {
        toolLog(ToolLogLevel::error, std::string("refused connection: no peer credentials (errno ")
                                         + std::to_string(err) + ")");
        return true;
    }
    if (!peerAllowed(peer))
        return true;
    std::lock_guard lock(mutex_);
    if (connections_.size() >= kMaxConnections) {
        toolLog(ToolLogLevel::error, "refused connection: too many connections");
        return true;
    }
    const auto sameUser = std::count_if(connections_.begin(), connections_.end(),
                                        [&](const Connection& c) { return c.uid == peer.uid; });
    if (static_cast<std::size_t>(sameUser) >= kMaxConnectionsPerUser) {
        toolLog(ToolLogLevel::error, "refused connection from uid " + std::to_string(peer.uid)
                                         + ": too many connections of this user");
        return true;
    }
    const std::uint64_t id = nextId_++;
    const uid_t uid = peer.uid;
    connections_.push_back({id, uid, std::thread(&PrivilegedHelperClient::serve, this, id,
                                                 std::move(socket), std::move(peer))});
    toolLog(ToolLogLevel::standard, "accepted new connection");
    return true;
}

bool PrivilegedHelperClient::peerAllowed(const PeerCredentials& peer) const
{
    const std::string who = "uid " + std::to_string(peer.uid) + ", pid " + std::to_string(peer.pid);
    if (!config_.allowsUid(peer.uid)) {
        toolLog(ToolLogLevel::error, "refused connection from " + who + ": user not allowed");
        return false;
    }
    if (!config_.clientExecutables.empty()) {
        const std::string exe = executablePathOfProcess(peer.pid);
        if (!config_.allowsExecutable(exe) || exe.empty()) {
            toolLog(ToolLogLevel::error,
                    "refused connection from " + who + ": program \"" + exe + "\" not allowed");
            return false;
        }
    }
    return true;
}

void PrivilegedHelperClient::serve(std::uint64_t id, SeqPacketSocket socket, PeerCredentials peer)
{
    std::string buffer;
    buffer.reserve(kMaxMessageSize);
    for (;;) {
        const ReceiveStatus status = socket.receive(buffer, kMaxMessageSize, idleTimeoutMs_);
        if (status == ReceiveStatus::timedOut)
            toolLog(ToolLogLevel::standard, "closing idle connection");
        if (status == ReceiveStatus::closed || status == ReceiveStatus::failed
            || status == ReceiveStatus::timedOut)
            break;
        std::string reply;
        TlvMessage message;
        proto::Request request;
        if (status == ReceiveStatus::truncated) {
            reply = errorReplyFor(buffer, EMSGSIZE);
        } else if (TlvMessage::decode(buffer, message) != TlvDecodeStatus::ok) {
            reply = errorReplyFor(buffer, EBADMSG);
        } else if (int err = proto::decodeRequest(message, request)) {
            reply = errorReplyFor(buffer, err);
        } else if (!proto::encodeReply(operations_.perform(request, peer)).encode(reply)) {
            reply = errorReplyFor(buffer, EMSGSIZE);
        }
        if (socket.send(reply) != 0)
            break;
    }
    socket.close();
    removeConnection(id);
}

void PrivilegedHelperClient::removeConnection(std::uint64_t id)
{
    toolLog(ToolLogLevel::standard, "invalidating connection");
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (it->id == id) {
            // This runs on that connection's own thread: the main thread joins it later.
            finished_.push_back(std::move(it->thread));
            connections_.erase(it);
            break;
        }
    }
    if (connections_.empty())
        shouldQuit_ = true;
}

void PrivilegedHelperClient::joinFinished()
{
    std::vector<std::thread> done;
    {
        std::lock_guard lock(mutex_);
        done.swap(finished_);
    }
    for (auto& t : done) {
        if (t.joinable())
            t.join();
    }
}
