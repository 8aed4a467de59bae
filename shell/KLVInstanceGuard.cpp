#include "shell/KLVInstanceGuard.h"

#include "platform/foundation/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "document";
// The holder answers from its event loop, which may be busy starting up; one that stays silent
// for longer than this is taken as one that cannot take documents now (the newcomer still does
// not open the file).
constexpr int kAnswerMs = 10000;
constexpr qint64 kMaxRequest = 64 * 1024;

void logInfo(const QString& text)
{
    platform::log(kSubsystem, kCategory, platform::LogLevel::Info, text);
}

QString canonical(const QString& path)
{
    const QFileInfo info(path);
    const QString resolved = info.exists() ? info.canonicalFilePath() : QString();
    return resolved.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : resolved;
}

// A blocking connection to the holder (before this program has an event loop of its own).
class HolderConnection {
public:
    explicit HolderConnection(const QString& name)
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = name.toUtf8();
        // Abstract namespace: a leading zero byte, no terminator.
        const size_t length = std::min<size_t>(size_t(bytes.size()), sizeof(address.sun_path) - 1);
        std::memcpy(address.sun_path + 1, bytes.constData(), length);
        const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HolderConnection()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }

    bool send(const QByteArray& bytes)
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd_, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // The first line the holder answers, within `limitMs`; empty when it says nothing.
    QByteArray readLine(int limitMs)
    {
        QByteArray answer;
        QElapsedTimer elapsed;
        elapsed.start();
        while (!answer.contains('\n') && elapsed.elapsed() < limitMs) {
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, int(limitMs - elapsed.elapsed()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            answer.append(buffer, n);
        }
        return answer;
    }

private:
    int fd_ = -1;
};

// Hands the documents over: one path a line, an empty line at the end; the holder answers "ok".
bool handOver(const QString& name, const QStringList& documents, bool* connected)
{
    HolderConnection holder(name);
    *connected = holder.connected();
    if (!*connected)
        return false;
    QByteArray request;
    for (const QString& document : documents)
        request += QFileInfo(document).absoluteFilePath().toUtf8() + '\n';
    request += '\n';
    return holder.send(request) && holder.readLine(kAnswerMs).startsWith("ok\n");
}

} // namespace

KLVInstanceGuard::KLVInstanceGuard(QObject* parent) : QObject(parent) {}

KLVInstanceGuard::~KLVInstanceGuard() = default;

QString KLVInstanceGuard::serverName(const QString& path)
{
    const QByteArray digest = QCryptographicHash::hash(canonical(path).toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("com.quenmark.Kalvanto.%1.%2").arg(::getuid()).arg(QString::fromLatin1(digest.toHex().left(32)));
}

KLVInstanceGuard::Claim KLVInstanceGuard::claim(const QString& path, const QStringList& documents)
{
    const QString name = serverName(path);
    if (servers_.count(name))
        return Claim::Held;
    // Two programs started together both find no holder; the socket name then decides, since
    // only one of them can listen on it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool connected = false;
        if (handOver(name, documents, &connected))
            return Claim::HandedOver;
        if (connected)
            return Claim::Busy;
        if (listen(path))
            return Claim::Held;
    }
    return Claim::Busy;
}

void KLVInstanceGuard::release(const QString& path)
{
    const auto it = servers_.find(serverName(path));
    if (it == servers_.end())
        return;
    it->second->close();
    it->second->deleteLater();
    servers_.erase(it);
}

bool KLVInstanceGuard::acquire(const QString& path)
{
    if (holds(path))
        return true;
    if (HolderConnection(serverName(path)).connected())
        return false; // its program is the writer of that file
    return listen(path);
}

bool KLVInstanceGuard::listen(const QString& path)
{
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    const QString name = serverName(path);
    if (!server->listen(name)) {
        delete server;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] { serve(server); });
    servers_[name] = server;
    return true;
}

void KLVInstanceGuard::serve(QLocalServer* server)
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        // The guard keeps it: the server goes when its document is let go, which may be the
        // very document this connection hands over.
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        auto take = [this, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > kMaxRequest) {
                socket->abort();
                return;
            }
            if (!buffer->endsWith("\n\n") && *buffer != "\n")
                return;
            QStringList documents;
            for (const QByteArray& line : buffer->split('\n'))
                if (!line.isEmpty())
                    documents.append(QString::fromUtf8(line));
            buffer->clear();
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            logInfo(QStringLiteral("another start of the program handed over %1 document(s)").arg(documents.size()));
            // Opened on a later turn, after the answer has gone out.
            if (!documents.isEmpty())
                QMetaObject::invokeMethod(this, [this, documents] { emit documentsReceived(documents); },
                                          Qt::QueuedConnection);
        };
        connect(socket, &QLocalSocket::readyRead, socket, take);
        if (socket->bytesAvailable() > 0)
            take();
    }
}
