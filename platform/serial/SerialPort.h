#pragma once
// A serial port opened raw and non-blocking. Reads arrive through a socket notifier on the thread
// that opened the port; writes go through a queue drained whenever the port can take more, so
// short and EAGAIN writes lose nothing. A hang-up (adapter pulled, other side of a pty closed)
// closes the port and is reported once.
#include "platform/serial/SerialLineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>

class QSocketNotifier;

namespace platform::serial {

class SerialPort : public QObject {
    Q_OBJECT
public:
    // Queued bytes beyond this are refused: a stalled line must not grow memory without end.
    static constexpr qsizetype kMaxQueuedBytes = 4 * 1024 * 1024;

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    // Opens O_RDWR|O_NOCTTY|O_NONBLOCK and takes exclusive use (TIOCEXCL). Answers 0 or errno.
    int open(const QString& path);
    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }

    // The settings the port had when it was opened (restored on close). Answers 0 or errno.
    int saveOriginalSettings();

    struct ApplyResult {
        int error = 0;              // errno of tcsetattr, 0 on success
        QString text;               // the settings text of the build
        bool readBackMatches = true; // false when the driver kept other hardware settings
        bool unsupportedFlowControl = false;
        bool speedApplied = true;
    };
    // Builds from the port's current settings and applies at once (TCSANOW), then reads them back.
    ApplyResult applySettings(const SerialLineSettings& settings);

    // Starts delivering readable bytes (dataRead) on this thread.
    void startReading();

    // Queues bytes; answers false (and queues nothing) when the port is closed or the queue is full.
    bool write(const QByteArray& data);
    qsizetype queuedBytes() const { return queuedBytes_; }

    // Restores the original settings and closes. Answers the errnos of restore and close (0 = fine).
    struct CloseResult {
        int restoreError = 0;
        int closeError = 0;
    };
    CloseResult close();

signals:
    void dataRead(const QByteArray& data);
    // The line went away (read 0 with a hang-up, EIO). The port is already closed.
    void hungUp(int error);
    // A write failed for a reason other than a full buffer; the queued bytes were dropped.
    void writeFailed(int error, const QByteArray& data);

private:
    void onReadable();
    void onWritable();
    void drainWriteQueue();
    void hangUp(int error);
    void dropNotifiers();

    int fd_ = -1;
    bool haveOriginal_ = false;
    termios original_{};
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    std::deque<QByteArray> writeQueue_;
    qsizetype writeOffset_ = 0; // bytes of the front chunk already written
    qsizetype queuedBytes_ = 0;
};

} // namespace platform::serial
