#pragma once
// The service's side of its connection: reads requests from file descriptor 3 on the thread
// that creates it (the event-loop thread, the service's "connection queue") and hands each to
// the event handler with a reply channel. Replies may be sent from any thread, once each.
// When the application closes its end, or sends something malformed, the connection ends and
// ended() fires (a service then exits).

#include "platform/xpc/XpcFrame.h"

#include <QObject>

#include <functional>
#include <memory>

namespace platform {

class XpcConnection;

// Where the reply to one request goes. Null for a message sent without a reply handler.
class XpcReplyChannel {
public:
    // Sends the reply; later calls do nothing. False when it was already sent or the
    // connection has ended.
    virtual bool send(const QCborMap& reply) = 0;
    virtual ~XpcReplyChannel() = default;
};

struct XpcEvent {
    QCborMap body;
    std::shared_ptr<XpcReplyChannel> reply; // null when no reply is wanted
    QString refusal; // set when the body was too deeply nested to decode (body is then empty)
};

class XpcServiceHost : public QObject {
    Q_OBJECT
public:
    // Takes ownership of fd.
    explicit XpcServiceHost(int fd, std::function<void(const XpcEvent&)> handler, QObject* parent = nullptr);
    ~XpcServiceHost() override;

    // Whether fd is an open stream socket (the service was started by the application, not by
    // hand with some unrelated descriptor left open there).
    static bool descriptorIsConnection(int fd);

    struct Shared; // shared with the reply channels

signals:
    void ended(const QString& reason);

private:
    std::shared_ptr<Shared> shared_;
    std::function<void(const XpcEvent&)> handler_;
};

} // namespace platform
