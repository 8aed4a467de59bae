#pragma once
// The application's connection to the helper's socket. Requests may be sent from any thread;
// replies and connection failures arrive on the connection's own reader thread, matched to
// their request by id. A request can be cancelled, after which its reply is dropped.
//
// Like any connection it ends once: when the helper closes it, when it cannot be made, or on
// invalidate(). Every request still waiting then gets its error handler called, and the
// invalidation handler runs once. Call invalidate() before letting go of a connection.

#include "platform/privileged/SeqPacketSocket.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class HelperConnection : public std::enable_shared_from_this<HelperConnection> {
public:
    using ReplyHandler = std::function<void(const PrivilegedHelperProtocol::Reply&)>;
    // Receives the description of the connection failure.
    using ErrorHandler = std::function<void(const QString&)>;

    // exportedObject receives the helper's log messages; it must outlive the connection.
    static std::shared_ptr<HelperConnection>
    create(std::string socketPath,
           PrivilegedHelperProtocol::PrivilegedHelperAppProtocol* exportedObject);
    ~HelperConnection();
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    void setInvalidationHandler(std::function<void()> handler);
    // Connects and starts reading. A failure to connect invalidates the connection.
    void resume();
    // Sends a request (its id is assigned here and returned). When the connection has ended or
    // the send fails, onError runs at once on the calling thread.
    std::uint32_t send(PrivilegedHelperProtocol::Request request, ReplyHandler onReply,
                       ErrorHandler onError);
    // Forgets a request: neither of its handlers will run after this returns.
    void cancel(std::uint32_t requestId);
    void invalidate();
    bool isValid() const;

private:
    struct Pending {
        std::uint16_t op = 0;
        ReplyHandler onReply;
        ErrorHandler onError;
    };

    HelperConnection(std::string socketPath,
                     PrivilegedHelperProtocol::PrivilegedHelperAppProtocol* exportedObject);
    void readLoop();
    void dispatch(const std::string& bytes);
    void end(const QString& reason);

    const std::string socketPath_;
    PrivilegedHelperProtocol::PrivilegedHelperAppProtocol* const exported_;
    platform::privileged::SeqPacketSocket socket_;
    std::thread reader_;
    std::atomic<std::uint32_t> nextId_{1};

    mutable std::mutex mutex_; // guards the members below
    bool resumed_ = false;
    bool ended_ = false;
    QString endReason_;
    std::map<std::uint32_t, Pending> pending_;
    std::function<void()> invalidationHandler_;
    bool invalidationDelivered_ = false;
};
