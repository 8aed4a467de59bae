#include "privhelper/client/HelperConnection.h"

#include "platform/privileged/TlvMessage.h"

#include <cstring>
#include <vector>

using namespace platform::privileged;
namespace proto = PrivilegedHelperProtocol;

namespace {

QString closedText()
{
    return QStringLiteral("The connection to the helper service was invalidated.");
}

} // namespace

std::shared_ptr<HelperConnection>
HelperConnection::create(std::string socketPath, proto::PrivilegedHelperAppProtocol* exportedObject)
{
    return std::shared_ptr<HelperConnection>(
        new HelperConnection(std::move(socketPath), exportedObject));
}

HelperConnection::HelperConnection(std::string socketPath,
                                   proto::PrivilegedHelperAppProtocol* exportedObject)
    : socketPath_(std::move(socketPath)), exported_(exportedObject)
{
}

HelperConnection::~HelperConnection()
{
    socket_.shutdown();
    if (reader_.joinable()) {
        // The reader holds a reference while it runs, so the last one can be its own.
        if (reader_.get_id() == std::this_thread::get_id())
            reader_.detach();
        else
            reader_.join();
    }
}

void HelperConnection::setInvalidationHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    invalidationHandler_ = std::move(handler);
}

bool HelperConnection::isValid() const
{
    std::lock_guard lock(mutex_);
    return !ended_;
}

void HelperConnection::resume()
{
    {
        std::lock_guard lock(mutex_);
        if (resumed_ || ended_)
            return;
        resumed_ = true;
    }
    SeqPacketSocket socket;
    if (int err = SeqPacketSocket::connectTo(socketPath_, socket)) {
        end(QStringLiteral("Couldn't communicate with the helper service: %1")
                .arg(QString::fromLocal8Bit(std::strerror(err))));
        return;
    }
    std::lock_guard lock(mutex_);
    if (ended_)
        return; // invalidated while connecting
    socket_ = std::move(socket);
    reader_ = std::thread([self = shared_from_this()] { self->readLoop(); });
}

std::uint32_t HelperConnection::send(proto::Request request, ReplyHandler onReply,
                                     ErrorHandler onError)
{
    request.requestId = nextId_.fetch_add(1);
    const std::uint32_t id = request.requestId;
    std::string bytes;
    QString failure;
    if (!proto::encodeRequest(request).encode(bytes)) {
        failure = QStringLiteral("The request is too large for the helper service.");
    } else {
        std::lock_guard lock(mutex_);
        if (ended_ || !socket_.valid())
            failure = ended_ ? endReason_ : closedText();
        else
            pending_[id] = Pending{request.op, std::move(onReply), onError};
    }
    if (failure.isEmpty()) {
        if (int err = socket_.send(bytes)) {
            bool wasPending = false;
            {
                std::lock_guard lock(mutex_);
                wasPending = pending_.erase(id) > 0;
            }
            // A broken connection: let the reader see the end and invalidate it.
            socket_.shutdown();
            if (!wasPending)
                return id; // the reader already failed it
            failure = QStringLiteral("Couldn't send to the helper service: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(err)));
        }
    }
    if (!failure.isEmpty() && onError)
        onError(failure);
    return id;
}

void HelperConnection::cancel(std::uint32_t requestId)
{
    std::lock_guard lock(mutex_);
    pending_.erase(requestId);
}

void HelperConnection::invalidate()
{
    {
        std::lock_guard lock(mutex_);
        socket_.shutdown();
    }
    end(closedText());
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id())
        reader_.join();
}

void HelperConnection::readLoop()
{
    std::string buffer;
    buffer.reserve(kMaxMessageSize);
    for (;;) {
        const ReceiveStatus status = socket_.receive(buffer, kMaxMessageSize);
        if (status == ReceiveStatus::message)
            dispatch(buffer);
        else if (status != ReceiveStatus::truncated)
            break;
    }
    end(closedText());
}

void HelperConnection::dispatch(const std::string& bytes)
{
    TlvMessage message;
    if (TlvMessage::decode(bytes, message) != TlvDecodeStatus::ok)
        return;
    if (message.op() == proto::logMessage || message.op() == proto::logError) {
        const std::string* text = message.find(proto::text);
        if (exported_ && text) {
            if (message.op() == proto::logMessage)
                exported_->logWithMessage(*text);
            else
                exported_->logWithError(*text);
        }
        return;
    }
    proto::Reply reply;
    if (!proto::decodeReply(message, reply))
        return;
    Pending pending;
    {
        std::lock_guard lock(mutex_);
        auto it = pending_.find(reply.requestId);
        if (it == pending_.end())
            return; // cancelled, or never asked for
        pending = std::move(it->second);
        pending_.erase(it);
    }
    if (pending.op != reply.op) {
        if (pending.onError)
            pending.onError(QStringLiteral("The helper service answered another request."));
        return;
    }
    if (pending.onReply)
        pending.onReply(reply);
}

void HelperConnection::end(const QString& reason)
{
    std::map<std::uint32_t, Pending> failed;
    std::function<void()> handler;
    QString why;
    {
        std::lock_guard lock(mutex_);
        if (!ended_) {
            ended_ = true;
            endReason_ = reason;
        }
        why = endReason_;
        failed.swap(pending_);
        if (!invalidationDelivered_) {
            invalidationDelivered_ = true;
            handler = invalidationHandler_;
        }
    }
    for (auto& [id, pending] : failed) {
        if (pending.onError)
            pending.onError(why);
    }
    if (handler)
        handler();
}
