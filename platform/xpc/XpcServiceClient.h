#pragma once
// The application's side of a service connection. Lives on the main thread and is used there.
//
// The service program is started on the first request and again on the first request after it
// ended. Every request with a reply handler is answered exactly once, always through the main
// event loop (never inside the call that sent it): with the service's reply, or with
// Interrupted when the service ended before replying (crash, kill, stuck-job restart), or with
// Invalid when it could not be started or the client is destroyed.
//
// A watchdog restarts a service that has requests outstanding but has not answered any for
// stuckTimeout milliseconds (one job that never ends would otherwise hold every request behind
// it). A request sent with a time limit is answered TimedOut once the limit passes without a
// reply; a late reply is dropped. Requests given up on count as unanswered for the watchdog.

#include "platform/xpc/XpcFrame.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QProcess;
class QTimer;

namespace platform {

class XpcConnection;

struct XpcReply {
    enum class Status {
        Reply,       // body is the service's reply
        Interrupted, // the service ended with this request outstanding
        Invalid,     // no service to send to
        TimedOut,    // no reply within the request's time limit
    };
    Status status = Status::Invalid;
    QCborMap body;
};

using XpcReplyHandler = std::function<void(const XpcReply&)>;

class XpcServiceClient : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultStuckTimeoutMs = 120000;

    explicit XpcServiceClient(QString programPath, QObject* parent = nullptr);
    ~XpcServiceClient() override;

    QString programPath() const { return programPath_; }
    // Takes effect at the next start of the service.
    void setProgramPath(const QString& path) { programPath_ = path; }
    void setStuckTimeout(int ms);
    int stuckTimeout() const { return stuckTimeoutMs_; }

    // Sends body as a request; handler (may be empty) gets the single answer. A timeoutMs above 0
    // gives up on the request after that long.
    void sendRequest(const QCborMap& body, XpcReplyHandler handler, int timeoutMs = 0);
    // Sends body expecting no reply (dropped when the service cannot be started).
    void sendMessage(const QCborMap& body);
    // Starts the service ahead of the first request, so that request does not wait for it;
    // nothing when it runs already. False when it could not be started.
    bool start() { return ensureService(); }

    // The running service's process id, 0 when none runs.
    qint64 servicePid() const;
    int pendingCount() const { return int(pending_.size()); }

signals:
    void serviceStarted(qint64 pid);
    void serviceEnded(const QString& reason);

private:
    bool ensureService();
    void onEnvelope(const XpcEnvelope& envelope);
    void endService(const QString& reason);
    void checkWatchdog();
    void expireRequests();
    void armDeadlineTimer();
    static void answerLater(XpcReplyHandler handler, XpcReply reply);

    QString programPath_;
    int stuckTimeoutMs_ = kDefaultStuckTimeoutMs;
    QProcess* process_ = nullptr;
    XpcConnection* connection_ = nullptr;
    std::int64_t nextId_ = 1;
    struct Pending {
        XpcReplyHandler handler;
        qint64 deadline = 0; // on clock_, 0 for none
    };
    std::map<std::int64_t, Pending> pending_;
    QElapsedTimer sinceProgress_;
    QElapsedTimer clock_;
    // A request was given up on and nothing has been answered since: the service is not
    // making progress, whatever is still pending.
    bool abandonedSinceReply_ = false;
    QTimer* watchdog_ = nullptr;
    QTimer* deadlines_ = nullptr;
};

} // namespace platform
