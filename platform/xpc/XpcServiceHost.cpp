#include "platform/xpc/XpcServiceHost.h"

#include "platform/xpc/XpcConnection.h"

#include <atomic>
#include <mutex>

#include <sys/socket.h>
#include <sys/stat.h>

namespace platform {

// The connection as seen by reply channels, which may outlive the host (a job still running
// when the application went away).
struct XpcServiceHost::Shared {
    std::mutex mutex;
    XpcConnection* connection = nullptr; // null once ended
};

namespace {

class ReplyChannel final : public XpcReplyChannel {
public:
    ReplyChannel(std::shared_ptr<XpcServiceHost::Shared> shared, std::int64_t id)
        : shared_(std::move(shared))
        , id_(id)
    {
    }

    bool send(const QCborMap& reply) override
    {
        if (sent_.exchange(true))
            return false;
        std::lock_guard lock(shared_->mutex);
        return shared_->connection && shared_->connection->send(XpcEnvelope{id_, XpcKind::Reply, reply});
    }

private:
    std::shared_ptr<XpcServiceHost::Shared> shared_;
    std::int64_t id_;
    std::atomic<bool> sent_{false};
};

} // namespace

XpcServiceHost::XpcServiceHost(int fd, std::function<void(const XpcEvent&)> handler, QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<Shared>())
    , handler_(std::move(handler))
{
    auto* connection = new XpcConnection(fd, this);
    shared_->connection = connection;
    connect(connection, &XpcConnection::envelopeReceived, this, [this](const XpcEnvelope& envelope) {
        if (envelope.kind == XpcKind::Reply)
            return; // the application sends requests and messages only
        XpcEvent event;
        event.body = envelope.body;
        event.refusal = envelope.refusal;
        if (envelope.kind == XpcKind::Request)
            event.reply = std::make_shared<ReplyChannel>(shared_, envelope.id);
        if (handler_)
            handler_(event);
    });
    connect(connection, &XpcConnection::closed, this, [this](const QString& reason) {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->connection = nullptr;
        }
        emit ended(reason);
    });
}

XpcServiceHost::~XpcServiceHost()
{
    std::lock_guard lock(shared_->mutex);
    shared_->connection = nullptr;
}

bool XpcServiceHost::descriptorIsConnection(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode))
        return false;
    int type = 0;
    socklen_t length = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
}

} // namespace platform
