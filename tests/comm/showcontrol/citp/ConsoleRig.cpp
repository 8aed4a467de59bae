#include "tests/comm/showcontrol/citp/ConsoleRig.h"

#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "platform/foundation/Dispatch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace citptest {

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Reads exactly n bytes unless stopped or the peer closes (false).
bool readExactly(int fd, char* to, std::size_t n, const std::atomic<bool>& stop)
{
    std::size_t done = 0;
    while (done < n) {
        pollfd p{fd, POLLIN, 0};
        if (stop.load())
            return false;
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t got = ::recv(fd, to + done, n - done, 0);
        if (got <= 0)
            return false;
        done += std::size_t(got);
    }
    return true;
}

} // namespace

std::uint32_t messageCode(const QByteArray& message)
{
    CITPCursor cursor{16};
    const std::uint32_t layer = CITPReadUInt32(message, &cursor);
    cursor.location = layer == kMSEXCookie ? 22 : 20;
    return CITPReadUInt32(message, &cursor);
}

Console::Console(quint16 port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("console could not connect");
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    identifier_ = QStringLiteral("127.0.0.1:%1").arg(ntohs(local.sin_port));
    thread_ = std::thread([this] { run(); });
}

Console::~Console()
{
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

void Console::run()
{
    for (;;) {
        QByteArray message(20, '\0');
        if (!readExactly(fd_, message.data(), 20, stop_))
            break;
        CITPCursor cursor{8};
        const std::uint32_t size = CITPReadUInt32(message, &cursor);
        if (size < 20 || size > (1u << 24))
            break;
        message.resize(size);
        if (!readExactly(fd_, message.data() + 20, size - 20, stop_))
            break;
        std::unique_lock lock(mutex_);
        messages_.push_back(message);
    }
    if (!stop_.load())
        closed_ = true;
}

void Console::send(QMCITPMessage& message)
{
    message.prepareHeader();
    sendRaw(message.data());
}

void Console::sendRaw(const QByteArray& bytes)
{
    (void)::send(fd_, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
}

std::vector<QByteArray> Console::messages() const
{
    std::unique_lock lock(mutex_);
    return messages_;
}

std::vector<QByteArray> Console::withCode(std::uint32_t code) const
{
    std::vector<QByteArray> found;
    for (const QByteArray& m : messages()) {
        if (messageCode(m) == code)
            found.push_back(m);
    }
    return found;
}

MulticastListener::MulticastListener(quint16 port)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int yes = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("listener could not bind");
    ip_mreq request{};
    ::inet_pton(AF_INET, QMProtocolParserCITP::kPLocGroup, &request.imr_multiaddr);
    request.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    if (::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
        throw std::runtime_error("listener could not join the group on lo");
}

MulticastListener::~MulticastListener()
{
    ::close(fd_);
}

const std::vector<QByteArray>& MulticastListener::received()
{
    char buffer[2048];
    for (;;) {
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0)
            break;
        received_.emplace_back(buffer, qsizetype(got));
    }
    return received_;
}

QVariant FakeApplication::executeApplicationCommand(const QString& command, const QVariantMap& params)
{
    std::unique_lock lock(mutex_);
    calls_.push_back(command);
    if (!platform::isMainThread() || !qmParserFromParams(params))
        good_ = false;
    return answers_.value(command);
}

void FakeApplication::setAnswer(const char* command, const QVariant& answer)
{
    std::unique_lock lock(mutex_);
    answers_.insert(QString::fromLatin1(command), answer);
}

int FakeApplication::calls(const char* command) const
{
    std::unique_lock lock(mutex_);
    return int(std::count(calls_.begin(), calls_.end(), QString::fromLatin1(command)));
}

bool FakeApplication::allCallsOnMainWithParser() const
{
    std::unique_lock lock(mutex_);
    return good_;
}

MediaServer::MediaServer(quint16 plocPort)
    : parser(std::make_shared<QMProtocolParserCITP>()), tcp(std::make_shared<QMTCPNetworkHardwareCommunicator>())
{
    parser->setDelegate(&application);
    tcp->setSocketMode(QMSocketModeListen);
    tcp->setPortNum(0);
    tcp->setInterfaceString(QStringLiteral("127.0.0.1"));
    parser->setHardwareCommunicator(tcp);
    tcp->setParser(parser);
    // Announcements leave through lo only, to the listener's port.
    parser->udpCommunicator()->setInterfaceString(QStringLiteral("127.0.0.1"));
    parser->udpCommunicator()->setPortNum(plocPort);
}

MediaServer::~MediaServer()
{
    tcp->deactivate();
}

void MediaServer::start()
{
    tcp->activate();
    if (!tcp->isActive() || tcp->localPort() == 0)
        throw std::runtime_error("server did not start listening");
}

QByteArray rawMSEX(const char* code, std::uint8_t minor, const QByteArray& fields)
{
    QByteArray m = QByteArray::fromHex("43495450" "0100" "0100") + QByteArray(4, '\0') + QByteArray::fromHex("0100" "0000" "4d534558");
    m.append(char(1)).append(char(minor)).append(code, 4).append(fields);
    m[8] = char(m.size());
    return m;
}

} // namespace citptest
