#pragma once
// A lighting console on its own thread (a plain TCP client that collects whole CITP messages),
// a multicast listener on lo, and a media server (parser, TCP communicator, fake application)
// listening on 127.0.0.1 port 0 and announcing on lo only.
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/citp/QMMSEXMessages.h"
#include "comm/showcontrol/citp/QMProtocolParserCITP.h"

#include <QVariantMap>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace citptest {

// The code a message is known by: the PINF or MSEX content type.
std::uint32_t messageCode(const QByteArray& message);

class Console {
public:
    explicit Console(quint16 port);
    ~Console();
    void send(QMCITPMessage& message);
    void sendRaw(const QByteArray& bytes);
    // "127.0.0.1:<local port>", the server's name for this connection.
    QString identifier() const { return identifier_; }
    std::vector<QByteArray> messages() const;
    std::vector<QByteArray> withCode(std::uint32_t code) const;
    bool closedByServer() const { return closed_.load(); }

private:
    void run();
    int fd_ = -1;
    QString identifier_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closed_{false};
    mutable std::mutex mutex_;
    std::vector<QByteArray> messages_;
    std::thread thread_;
};

// A UDP socket bound to the port, member of 224.0.0.180 on lo.
class MulticastListener {
public:
    explicit MulticastListener(quint16 port);
    ~MulticastListener();
    // Datagrams received so far (drains the socket without waiting).
    const std::vector<QByteArray>& received();

private:
    int fd_ = -1;
    std::vector<QByteArray> received_;
};

class FakeApplication : public QMProtocolParserDelegate {
public:
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override;
    void setAnswer(const char* command, const QVariant& answer);
    int calls(const char* command) const;
    // Every call so far came on the main thread and named the parser.
    bool allCallsOnMainWithParser() const;

private:
    mutable std::mutex mutex_;
    QVariantMap answers_;
    std::vector<QString> calls_;
    bool good_ = true;
};

struct MediaServer {
    explicit MediaServer(quint16 plocPort);
    ~MediaServer();
    void start();
    quint16 port() const { return tcp->localPort(); }

    FakeApplication application;
    std::shared_ptr<QMProtocolParserCITP> parser;
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp;
};

// A raw MSEX message: the CITP header, the MSEX version 1.minor, the content type and the fields.
QByteArray rawMSEX(const char* code, std::uint8_t minor, const QByteArray& fields = {});

template <class M>
std::shared_ptr<M> decoded(const QByteArray& bytes)
{
    return std::dynamic_pointer_cast<M>(QMCITPMessage::messageWithData(bytes));
}

} // namespace citptest
