#pragma once
// The media server for lighting consoles. Paired with a listening TCP communicator (port 50000
// unless configured), it greets each console with PNam, frames its messages (20-byte header,
// then the payload the header announces, at most kMaxMessageSize), answers library, element and
// thumbnail queries, sends the server information to consoles speaking MSEX 1.0 or 1.1 and in
// answer to a console's CInf, and reports the layer status four times a second.
//
// Versions: a console's CInf negotiates the highest MSEX version both sides offer (1.0 to 1.2);
// the SInf answering it is at that version (1.2 layout for 1.2, the 1.0 layout below), and every
// later ELIn, MEIn, EThn and LSta on that connection goes out at it. Without a CInf, answers are at
// the version of the request they answer, LSta at the version of the console's first message. A UDP communicator of its own announces the
// server with PLoc once a second to the multicast group 224.0.0.180 port 4809.
//
// Threads: the TCP delegate queue delivers socket events; each payload is handled synchronously
// on the parser's own serial queue ("….CITP"), so messages are handled one at a time in arrival
// order; both timers run on the main thread. Every question to the application (the delegate)
// runs on the main thread: from the parser's queue the call waits for it. The pending headers,
// versions and timer table are under one lock; timers are created and deleted on main only.
// Whichever thread drops the last reference, the timers end on the main thread.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class QMCITPMessage;
class QMMSEXCInfMessage;
class QMMSEXGELIMessage;
class QMMSEXHeader;
class QMMSEXGEInMessage;
class QMMSEXGEThMessage;
class QMMSEXMEInMessage;
class QMTCPNetworkHardwareCommunicator;
class QMUDPNetworkHardwareCommunicator;
class QTimer;
namespace platform {
class SerialQueue;
}

class QMProtocolParserCITP : public QMProtocolParser, public QMTCPNetworkProtocolParser, public QMUDPNetworkProtocolParser {
public:
    static constexpr std::uint16_t kDefaultTCPPort = 50000;
    static constexpr std::uint16_t kPLocPort = 4809;
    static constexpr char kPLocGroup[] = "224.0.0.180";
    // A header announcing more than this (or no payload at all) is malformed: the connection is
    // closed instead of reading (and allocating) what it claims.
    static constexpr std::uint32_t kMaxMessageSize = 1u << 20;
    static constexpr int kPLocIntervalMs = 1000;
    static constexpr int kLayerStatusIntervalMs = 250;
    static constexpr double kWriteTimeout = 5.0;
    static constexpr double kPayloadReadTimeout = 5.0;
    // The library type of the one library served: media (images and video).
    static constexpr std::uint8_t kMediaLibraryType = 1;

    QMProtocolParserCITP();
    ~QMProtocolParserCITP() override;

    static const QMProtocolParserClass& citpClass();
    const QMProtocolParserClass& parserClass() const override { return citpClass(); }

    // Multicast listen mode, port 4809, group 224.0.0.180, any interface. Tests point it at lo
    // and an ephemeral port before the TCP communicator starts accepting.
    std::shared_ptr<QMUDPNetworkHardwareCommunicator> udpCommunicator() const { return udpCommunicator_; }

    // The application's executable name.
    static QString CITPDeviceName();
    void broadcastPLoc();
    void sendLayerStatus(const QString& connection);
    void sendMessage(QMCITPMessage& message, const QString& connection);
    // The connection names the console whose negotiated MSEX version the answer takes.
    std::shared_ptr<QMCITPMessage> responseForMSEXGELI(const QMMSEXGELIMessage& request, const QString& connection = {});
    std::shared_ptr<QMMSEXMEInMessage> responseForMSEXGEIn(const QMMSEXGEInMessage& request, const QString& connection = {});
    void sendResponsesForMSEXGETh(const QMMSEXGEThMessage& request, const QString& connection);
    void handleMessage(const QByteArray& data, const QString& connection);

    // What is recorded for a connection ("CITPVersionMajor", "CITPVersionMinor",
    // "MSEXVersionMajor", "MSEXVersionMinor"); empty before its first MSEX message.
    QVariantMap connectionVersions(const QString& connection) const;
    std::size_t statusTimerCount() const;
    bool isBroadcasting() const;

    // --- TCP ---
    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.headerLength = 20}; }
    QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.port = kDefaultTCPPort, .mayConnect = false, .mayAccept = true}; }
    void networkHardwareDidStartAccepting(QMTCPNetworkHardwareCommunicator* hardware) override;
    void networkHardwareDidDisconnect(QMTCPNetworkHardwareCommunicator* hardware) override;
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& header, const QString& connection) override;
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) override;
    void networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;

    // --- UDP: what the group carries (consoles' PLoc, this server's own) is read and discarded ---
    QMUDPIdentity udpIdentityForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override
    {
        return {.port = kPLocPort, .mayConnect = false, .mayListen = false, .mayListenMulticast = true, .mayBroadcast = false};
    }

private:
    struct HopHub;
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcpCommunicator() const;
    // Asks the application on the main thread (waiting for it from other threads).
    QVariant askApplication(const char* command);
    // Runs fn on the main thread: now when already there, else on a later turn (dropped with
    // the parser).
    void onMain(std::function<void()> fn);
    void startLayerStatusTimer(const QString& connection);
    void stopLayerStatusTimer(const QString& connection);
    void stopAllTimers();
    // The SInf: the 1.2 layout for a console at 1.2, else the 1.0 layout at version 1.0.
    void sendServerInformation(const QString& connection, std::uint16_t version = 0x0100);
    void answerCInf(const QMMSEXCInfMessage& cinf, const QString& connection);
    // Refuses the request with a Nack at the version answers on this connection take.
    void sendNack(const QMMSEXHeader& request, const QString& connection);
    // The MSEX version a connection negotiated with CInf (major in the high byte), if it did.
    std::optional<std::uint16_t> negotiatedVersion(const QString& connection) const;
    // Sets the answer's MSEX version: the negotiated one, else the request's (no later than 1.2).
    void setReplyVersion(QMMSEXHeader& reply, const QMMSEXHeader& request, const QString& connection) const;
    void closeConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection);

    std::shared_ptr<QMUDPNetworkHardwareCommunicator> udpCommunicator_;
    std::unique_ptr<QObject> mainContext_; // main thread: owns the timers, guards queued work
    QTimer* udpBroadcastTimer_ = nullptr;  // main thread only
    mutable std::mutex mutex_;
    std::map<QString, QByteArray> currentHeaderData_;
    std::map<QString, QVariantMap> connectionVersions_;
    std::map<QString, std::uint16_t> negotiatedVersions_;
    std::map<QString, QTimer*> statusTimers_; // the timers themselves are touched on main only
    std::shared_ptr<HopHub> hopHub_;
    std::unique_ptr<platform::SerialQueue> messageProcessingQueue_;
};

// Makes the CITP parser (type 2) known to the communications module.
void QMRegisterCITPClass();
