#pragma once
// One end of a service connection: a connected Unix stream socket carrying XpcFrame envelopes.
// Lives on the thread that creates it (which must run a Qt event loop): incoming envelopes and
// the end of the connection are signalled there. send() may be called from any thread; what
// cannot be written at once is queued and written as the peer reads.
//
// The connection ends (closed() once, the socket released) on end of file, a read or write
// error, or a malformed frame; later sends are dropped.

#include "platform/xpc/XpcFrame.h"

#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

class QSocketNotifier;

namespace platform {

class XpcConnection : public QObject {
    Q_OBJECT
public:
    // Takes ownership of fd (a connected AF_UNIX stream socket).
    explicit XpcConnection(int fd, QObject* parent = nullptr);
    ~XpcConnection() override;

    bool isOpen() const;
    // Queues the envelope for writing. False when the connection has ended or the envelope is
    // too large for a frame.
    bool send(const XpcEnvelope& envelope);
    // Ends the connection from this side (closed() is emitted with an empty reason).
    void close();

signals:
    void envelopeReceived(const platform::XpcEnvelope& envelope);
    // reason: empty when closed here, "end of file" when the peer closed, else what went wrong.
    void closed(const QString& reason);

private:
    void onReadable();
    void onWritable();
    // Writes as much of the queue as the socket takes; caller holds mutex_.
    bool flushLocked();
    void finish(const QString& reason);

    mutable std::mutex mutex_; // guards fd_ and outbox_ against senders on other threads
    int fd_ = -1;
    QByteArray outbox_;
    qsizetype outboxOffset_ = 0;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    XpcFrameReader reader_;
    bool closedSignalled_ = false;
};

// Ignores SIGPIPE for the whole process, so a peer that died never kills the writer (writes also
// pass MSG_NOSIGNAL). Idempotent.
void ignoreSigpipe();

} // namespace platform

Q_DECLARE_METATYPE(platform::XpcEnvelope)
