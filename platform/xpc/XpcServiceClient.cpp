#include "platform/xpc/XpcServiceClient.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/xpc/XpcConnection.h"
#include "platform/xpc/XpcSpawn.h"

#include <QProcess>
#include <QTimer>

namespace platform {

namespace {
constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "xpc";
} // namespace

XpcServiceClient::XpcServiceClient(QString programPath, QObject* parent)
    : QObject(parent)
    , programPath_(std::move(programPath))
    , watchdog_(new QTimer(this))
    , deadlines_(new QTimer(this))
{
    ignoreSigpipe();
    clock_.start();
    deadlines_->setSingleShot(true);
    deadlines_->setTimerType(Qt::CoarseTimer);
    connect(deadlines_, &QTimer::timeout, this, [this] { expireRequests(); });
    connect(watchdog_, &QTimer::timeout, this, [this] { checkWatchdog(); });
    setStuckTimeout(kDefaultStuckTimeoutMs);
}

XpcServiceClient::~XpcServiceClient()
{
    auto pending = std::move(pending_);
    pending_.clear();
    if (connection_) {
        connection_->disconnect(this);
        delete connection_;
        connection_ = nullptr;
    }
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(5000);
        delete process_;
        process_ = nullptr;
    }
    for (auto& [id, request] : pending)
        answerLater(std::move(request.handler), XpcReply{XpcReply::Status::Invalid, {}});
}

void XpcServiceClient::setStuckTimeout(int ms)
{
    stuckTimeoutMs_ = ms > 0 ? ms : kDefaultStuckTimeoutMs;
    watchdog_->setInterval(std::max(20, stuckTimeoutMs_ / 4));
}

qint64 XpcServiceClient::servicePid() const
{
    return process_ ? process_->processId() : 0;
}

void XpcServiceClient::answerLater(XpcReplyHandler handler, XpcReply reply)
{
    if (!handler)
        return;
    dispatchMain([handler = std::move(handler), reply = std::move(reply)] { handler(reply); });
}

bool XpcServiceClient::ensureService()
{
    if (connection_ && connection_->isOpen())
        return true;
    QString error;
    const XpcSpawned spawned = spawnXpcService(programPath_, {}, this, &error);
    if (!spawned.process) {
        log(kSubsystem, kCategory, LogLevel::Error,
            QStringLiteral("Could not start the service %1: %2").arg(programPath_, error));
        return false;
    }
    process_ = spawned.process;
    connection_ = new XpcConnection(spawned.fd, this);
    connect(connection_, &XpcConnection::envelopeReceived, this, &XpcServiceClient::onEnvelope);
    connect(connection_, &XpcConnection::closed, this,
            [this](const QString& reason) { endService(reason.isEmpty() ? QStringLiteral("closed") : reason); });
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        endService(status == QProcess::CrashExit ? QStringLiteral("service crashed")
                                                 : QStringLiteral("service exited with %1").arg(code));
    });
    sinceProgress_.start();
    abandonedSinceReply_ = false;
    emit serviceStarted(process_->processId());
    return true;
}

void XpcServiceClient::sendRequest(const QCborMap& body, XpcReplyHandler handler, int timeoutMs)
{
    if (!ensureService()) {
        answerLater(std::move(handler), XpcReply{XpcReply::Status::Invalid, {}});
        return;
    }
    const std::int64_t id = nextId_++;
    if (pending_.empty() && !abandonedSinceReply_)
        sinceProgress_.start();
    pending_.emplace(id, Pending{std::move(handler), timeoutMs > 0 ? clock_.elapsed() + timeoutMs : 0});
    if (timeoutMs > 0)
        armDeadlineTimer();
    if (!watchdog_->isActive())
        watchdog_->start();
    if (!connection_->send(XpcEnvelope{id, XpcKind::Request, body})) {
        auto it = pending_.find(id);
        if (it != pending_.end()) {
            // Too large for a frame: this request alone fails; a dead connection fails all
            // of them through endService.
            auto lone = std::move(it->second.handler);
            pending_.erase(it);
            answerLater(std::move(lone), XpcReply{XpcReply::Status::Invalid, {}});
        }
    }
}

void XpcServiceClient::sendMessage(const QCborMap& body)
{
    if (ensureService())
        connection_->send(XpcEnvelope{0, XpcKind::Message, body});
}

void XpcServiceClient::onEnvelope(const XpcEnvelope& envelope)
{
    if (envelope.kind != XpcKind::Reply)
        return; // the service sends replies only
    // Any reply, even one to a request given up on, shows the service at work.
    sinceProgress_.start();
    abandonedSinceReply_ = false;
    auto it = pending_.find(envelope.id);
    if (it == pending_.end())
        return;
    auto handler = std::move(it->second.handler);
    pending_.erase(it);
    if (pending_.empty())
        watchdog_->stop();
    answerLater(std::move(handler), XpcReply{XpcReply::Status::Reply, envelope.body});
}

void XpcServiceClient::endService(const QString& reason)
{
    if (!process_ && !connection_)
        return;
    log(kSubsystem, kCategory, LogLevel::Default,
        QStringLiteral("Service %1 ended (%2); %3 request(s) interrupted")
            .arg(programPath_, reason)
            .arg(pending_.size()));
    if (connection_) {
        connection_->disconnect(this);
        connection_->close();
        connection_->deleteLater();
        connection_ = nullptr;
    }
    if (process_) {
        process_->disconnect(this);
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(5000); // reaps it: no zombie is left behind
        }
        process_->deleteLater();
        process_ = nullptr;
    }
    watchdog_->stop();
    deadlines_->stop();
    abandonedSinceReply_ = false;
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [id, request] : pending)
        answerLater(std::move(request.handler), XpcReply{XpcReply::Status::Interrupted, {}});
    emit serviceEnded(reason);
}

void XpcServiceClient::expireRequests()
{
    const qint64 now = clock_.elapsed();
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->second.deadline > 0 && it->second.deadline <= now) {
            log(kSubsystem, kCategory, LogLevel::Default,
                QStringLiteral("Service %1 did not answer request %2 in time; given up").arg(programPath_).arg(it->first));
            answerLater(std::move(it->second.handler), XpcReply{XpcReply::Status::TimedOut, {}});
            it = pending_.erase(it);
            abandonedSinceReply_ = true;
            if (!watchdog_->isActive())
                watchdog_->start();
        } else {
            ++it;
        }
    }
    armDeadlineTimer();
}

void XpcServiceClient::armDeadlineTimer()
{
    qint64 earliest = 0;
    for (const auto& [id, request] : pending_) {
        if (request.deadline > 0 && (earliest == 0 || request.deadline < earliest))
            earliest = request.deadline;
    }
    if (earliest == 0) {
        deadlines_->stop();
        return;
    }
    deadlines_->start(int(std::max<qint64>(0, earliest - clock_.elapsed())));
}

void XpcServiceClient::checkWatchdog()
{
    // With requests given up on and nothing answered since, the service is restarted even when
    // nothing waits any more: the next request should not go to a service that answers nothing.
    if (pending_.empty() && !abandonedSinceReply_) {
        watchdog_->stop();
        return;
    }
    if (sinceProgress_.elapsed() >= stuckTimeoutMs_)
        endService(QStringLiteral("no reply for %1 ms, restarting").arg(stuckTimeoutMs_));
}

} // namespace platform
