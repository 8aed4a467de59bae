// The media server as a console meets it over TCP: one connection per input to the real server
// on 127.0.0.1 (from another loopback address each time), the input's bytes written in pieces
// (the first byte gives the piece size, so headers and payloads arrive split and joined every
// which way), then the console's end closed.
// The server frames, dispatches and answers each message (asking a fake application on the main
// thread, which this target keeps turning) and closes its end in turn. Everything it sends must
// be well-framed CITP: a "CITP" header whose size covers exactly one message.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/citp/QMProtocolParserCITP.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QSize>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString k(const char* name)
{
    return QString::fromLatin1(name);
}

class Application final : public QMProtocolParserDelegate {
public:
    QVariant executeApplicationCommand(const QString& command, const QVariantMap&) override
    {
        static const QImage thumbnail = [] {
            QImage image(48, 27, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            return image;
        }();
        if (command == k(QMApplicationCommandListMedia))
            return QVariantMap{{k(QMApplicationCommandListMediaParamMediaFiles), QVariantList(3, QStringLiteral("clip"))}};
        if (command == k(QMApplicationCommandQueryMedia)) {
            QVariantList entries;
            for (int i = 0; i < 3; ++i)
                entries.append(QVariantMap{{k(QMApplicationCommandQueryMediaSerialNumber), i},
                                           {k(QMApplicationCommandQueryMediaFileName), QStringLiteral("clip %1").arg(i)},
                                           {k(QMApplicationCommandQueryMediaDateModified), QDateTime::fromSecsSinceEpoch(1700000000)},
                                           {k(QMApplicationCommandQueryMediaSize), QSize(1920, 1080)},
                                           {k(QMApplicationCommandQueryMediaThumbnail), i == 1 ? QImage() : thumbnail}});
            return QVariantMap{{k(QMApplicationCommandQueryMediaArray), entries}};
        }
        if (command == k(QMApplicationCommandApplicationInfo))
            return QVariantMap{{QStringLiteral("uuid"), QStringLiteral("12345678-1234-1234-1234-123456789abc")},
                               {QStringLiteral("version"), QStringLiteral("1.0")},
                               {QStringLiteral("layers"), QVariantList{QVariantMap{{QStringLiteral("layerDMXString"), QStringLiteral("ArtNet/0/0/1")}}}}};
        if (command == k(QMApplicationCommandGetCuedMedia))
            return QVariantMap{{k(QMApplicationCommandGetCuedMediaParamMediaID), QStringLiteral("clip 0")}};
        if (command == k(QMApplicationGetState))
            return QVariantMap{{k(QMApplicationStatePlay), true}};
        return {};
    }
};

struct Server {
    Server()
    {
        parser->setDelegate(&application);
        tcp->setSocketMode(QMSocketModeListen);
        tcp->setPortNum(0);
        tcp->setInterfaceString(QStringLiteral("127.0.0.1"));
        parser->setHardwareCommunicator(tcp);
        tcp->setParser(parser);
        // The announcements leave through lo only, to a port of this process that nobody reads.
        sink = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (sink < 0 || ::bind(sink, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::getsockname(sink, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::abort();
        parser->udpCommunicator()->setInterfaceString(QStringLiteral("127.0.0.1"));
        parser->udpCommunicator()->setPortNum(ntohs(address.sin_port));
        tcp->activate();
        if (!tcp->isActive() || tcp->localPort() == 0)
            std::abort();
    }

    // Ended before the statics it uses: work still queued when the process exits would otherwise
    // run on the server's queue while they are being destroyed.
    ~Server()
    {
        tcp->deactivate();
        parser.reset();
        ::close(sink);
    }

    Application application;
    std::shared_ptr<QMProtocolParserCITP> parser = std::make_shared<QMProtocolParserCITP>();
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    int sink = -1;
};

Server& server()
{
    static Server instance;
    return instance;
}

// The console's end closes first, so each input leaves a TIME_WAIT entry on it for a minute, and
// one source address has only the ephemeral port range towards the server (28,232 ports by
// default): a run faster than about 470 inputs a second would find none free unless the kernel
// reuses such ports (net.ipv4.tcp_tw_reuse, which may be off). Connections come from 127.0.0.2 to
// 127.0.0.254 in turn instead, each address holding a 253rd of them; the port is chosen at connect
// time (IP_BIND_ADDRESS_NO_PORT), among those free towards the server from that address.
int connectTo(quint16 port)
{
    static unsigned next = 0;
    const std::uint32_t source = (127u << 24) | (2u + next++ % 253u);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(source);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd < 0 || ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "connecting from 127.0.0.%u to 127.0.0.1:%u failed: %s\n", unsigned(source & 0xFF),
                     unsigned(port), std::strerror(errno));
        std::abort();
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// Takes what the server sent; false once it has closed its end.
bool receive(int fd, QByteArray& received)
{
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            received.append(chunk, qsizetype(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
        return true;
    }
}

void checkFraming(const QByteArray& stream)
{
    qsizetype at = 0;
    while (stream.size() - at >= 20) {
        if (stream.mid(at, 4) != "CITP")
            std::abort();
        std::uint32_t size = 0;
        std::memcpy(&size, stream.constData() + at + 8, 4); // little-endian, as the machine
        if (size < 20 || size > std::uint32_t(stream.size() - at))
            break; // the server may have been cut off mid-message by the close
        at += qsizetype(size);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // thumbnails are drawn
    platform::UserDefaults::sharedDefaults(); // made before the server, so it outlives it
    server();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet;
    quiet.clear();
    if (size < 1)
        return 0;
    Server& live = server();
    const std::size_t piece = std::size_t(data[0]) + 1;
    const int fd = connectTo(live.tcp->localPort());
    QByteArray received;
    bool open = true;
    for (std::size_t at = 1; at < size && open;) {
        const ssize_t n = ::send(fd, data + at, std::min(piece, size - at), MSG_NOSIGNAL);
        if (n > 0)
            at += std::size_t(n);
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break; // the server closed the connection on something malformed
        QCoreApplication::processEvents();
        open = receive(fd, received);
    }
    ::shutdown(fd, SHUT_WR);
    while (open) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        open = receive(fd, received);
    }
    ::close(fd);
    checkFraming(received);
    return 0;
}
