#pragma once
// A TCP client or server socket whose work and callbacks run on one DelegateQueue. Reads are
// requested one at a time and served in order: up to and including a delimiter, an exact
// length, or whatever has arrived. Reads and writes may carry a time-out; when it expires the
// delegate may extend it. Every public call is safe from any thread; calls are carried out on
// the queue in the order they were made (at once when made on the queue itself, so a delegate
// asking for its next read from a callback costs no hop).
//
// A socket is deleted on its queue's thread (or after the queue has ended); deletion gives no
// callback. disconnect() closes and reports socketDidDisconnect. An owner going away inside one
// of the socket's callbacks disposes of it instead of deleting it.
#include "platform/net/DelegateQueue.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <mutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace platform::net {

class AsyncTcpSocket;

// Called on the socket's queue.
class AsyncTcpSocketDelegate {
public:
    virtual ~AsyncTcpSocketDelegate() = default;
    // newSocket belongs to the delegate from now on; it uses the same queue and delegate.
    virtual void socketDidAcceptNewSocket(AsyncTcpSocket* listener, AsyncTcpSocket* newSocket) = 0;
    virtual void socketDidConnectToHost(AsyncTcpSocket* socket, const QString& host, quint16 port);
    virtual void socketDidReadData(AsyncTcpSocket* socket, const QByteArray& data, long tag) = 0;
    virtual void socketDidWriteData(AsyncTcpSocket* socket, long tag);
    // Seconds by which to extend the timed-out operation; 0 or less lets it time out, which
    // closes the socket.
    virtual double socketShouldTimeoutReadWithTag(AsyncTcpSocket* socket, long tag, double elapsed, qsizetype bytesDone);
    virtual double socketShouldTimeoutWriteWithTag(AsyncTcpSocket* socket, long tag, double elapsed, qsizetype bytesDone);
    // error is empty for a disconnect asked for by this side.
    virtual void socketDidDisconnect(AsyncTcpSocket* socket, const QString& error) = 0;
};

class AsyncTcpSocket : public QObject {
    Q_OBJECT
public:
    // A delimiter read that finds no delimiter within this many bytes closes the connection.
    static constexpr qsizetype kMaxDelimitedRead = 64 * 1024;
    static constexpr int kListenBacklog = 128;
    // After the peer has closed, buffered bytes wait this long for a read to ask for them.
    static constexpr int kClosedPeerGraceMs = 5000;

    AsyncTcpSocket(DelegateQueue& queue, AsyncTcpSocketDelegate* delegate);
    ~AsyncTcpSocket() override;

    DelegateQueue& queue() const { return queue_; }

    // Listens on the interface (name or address; empty = any) and port (0 = ephemeral). The
    // listening socket is made before the call returns: false with *error when that fails.
    bool acceptOnInterface(const QString& interfaceName, quint16 port, QString* error);
    // Starts a connection; the result comes as socketDidConnectToHost or socketDidDisconnect.
    // A negative timeout waits as long as the system does.
    bool connectToHost(const QString& host, quint16 port, const QString& interfaceName, double timeout, QString* error);

    void readDataToData(const QByteArray& delimiter, double timeout, long tag);
    void readDataToLength(qsizetype length, double timeout, long tag);
    void readData(double timeout, long tag);
    void writeData(const QByteArray& data, double timeout, long tag);

    // Closes now (waits for the queue when called from another thread) and reports
    // socketDidDisconnect with an empty error when something was open.
    void disconnect();
    // On the queue: closes without a callback, calls its delegate no more and deletes itself once
    // the callback on the stack (if any) has returned, or with its thread. Safe from inside one of
    // its own callbacks, where a delete is not.
    void dispose();

    bool isListening() const { return state_.load() == Listening; }
    bool isConnected() const { return state_.load() == Connected; }
    // On the queue: the peer has closed its end (or the connection failed), whether or not the
    // close has been noticed and reported yet. A socket that is not connected counts as closed.
    bool peerHasClosed() const;
    bool isDisconnected() const { return state_.load() == Idle; }
    QString connectedHost() const;
    quint16 connectedPort() const { return peerPort_.load(); }
    quint16 localPort() const { return localPort_.load(); }

private:
    enum State { Idle, Listening, Connecting, Connected };
    enum class ReadKind { Delimiter, Length, Any };
    struct ReadRequest {
        ReadKind kind;
        QByteArray delimiter;
        qsizetype length = 0;
        double timeout = -1;
        long tag = 0;
    };
    struct WriteRequest {
        qsizetype remaining = 0;
        qsizetype total = 0;
        double timeout = -1;
        long tag = 0;
    };

    AsyncTcpSocket(DelegateQueue& queue, AsyncTcpSocketDelegate* delegate, QTcpSocket* accepted);
    void post(std::function<void()> fn);
    void run(std::function<void()> fn);
    void adoptListener(int fd);
    void startConnect(const QString& host, quint16 port, const QHostAddress& local, double timeout);
    void attach(QTcpSocket* socket);
    void onConnected();
    void onNewConnection();
    void onReadyRead();
    void onRemoteClosed();
    void onBytesWritten(qint64 bytes);
    void onReadTimeout();
    void onWriteTimeout();
    void enqueueRead(ReadRequest request);
    void pull();
    void processReads();
    void serveReads();
    void startReadTimer();
    void startWriteTimer();
    void finish(const QString& error);
    void setPeer(const QString& host, quint16 port);

    DelegateQueue& queue_;
    AsyncTcpSocketDelegate* delegate_;
    QTcpServer* server_ = nullptr;
    QTcpSocket* socket_ = nullptr;
    QTimer* connectTimer_ = nullptr;
    QTimer* readTimer_ = nullptr;
    QTimer* writeTimer_ = nullptr;
    QTimer* eofTimer_ = nullptr;
    QElapsedTimer readClock_;
    QElapsedTimer writeClock_;
    std::deque<ReadRequest> reads_;
    std::deque<WriteRequest> writes_;
    QByteArray buffer_;
    bool remoteClosed_ = false;
    bool processing_ = false; // serveReads is running: new reads join its loop

    std::atomic<int> state_{Idle};
    std::atomic<quint16> peerPort_{0};
    std::atomic<quint16> localPort_{0};
    mutable std::mutex peerMutex_;
    QString peerHost_;
};

} // namespace platform::net
