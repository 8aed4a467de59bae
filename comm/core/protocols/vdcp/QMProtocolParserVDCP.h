#pragma once
// VDCP: the server answers automation systems and switchers as a video disk recorder, over a
// serial line (38400 8O1) or as a TCP server (port 50103). Every complete request frame gets
// exactly one reply on the connection it came from: ACK, NAK or a framed data reply. All
// answering happens on the main thread, so a transport command is acknowledged after it ran.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/protocols/deck/QMDeckControlSerialParser.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

class QMProtocolParserVDCP;

// The state of one controller connection (a serial line or an accepted TCP connection).
class QMVDCPInternalConnection {
public:
    std::int64_t vdcpPort = 0;
    std::mutex listMutex;
    QStringList listBuffer;
    QByteArray lastResponse;
    std::mutex serialMutex;
    // The bytes received and not yet framed, on a serial line or a TCP connection alike.
    QByteArray serialBuffer;
    std::chrono::steady_clock::time_point lastArrival; // under serialMutex
};

// One row of the command table: the group digit and code select it, and it either names the
// member function that builds the reply or the application command answered with ACK.
struct QMVDCPCommand {
    using Handler = QByteArray (QMProtocolParserVDCP::*)(const QByteArray& message, QMVDCPInternalConnection& connection);
    const char* group;           // one upper-case hexadecimal digit
    const char* code;            // CMD2 as two upper-case hexadecimal digits
    const char* description;
    const char* originalCommand;
    Handler handler;             // or null
    const char* applicationCommand; // or null
};

class QMProtocolParserVDCP : public QMProtocolParser, public QMDeckControlSerialParser, public QMTCPNetworkProtocolParser {
public:
    static constexpr std::uint64_t kTCPPort = 50103;
    static constexpr char kSTX = 0x02;
    static constexpr char kACK = 0x04;
    static constexpr char kNAK = 0x05;
    // NAK reason bits.
    static constexpr char kNakUndefinedCommand = 0x01;
    static constexpr char kNakChecksumError = 0x04;
    // A list page holds at most this many ID bytes, which keeps every reply within one BC byte.
    static constexpr int kPageBytes = 80;
    // A range port status answers at most this many ports (5 + 5 x 50 bytes fit in BC).
    static constexpr int kMaxRangePorts = 50;
    // A variable-length active ID is cut to this many bytes (its length byte and BC must hold it).
    static constexpr int kMaxVariableIDBytes = 251;
    // A partial frame older than this is noise, on a serial line and over TCP alike: the next
    // bytes start a new frame. Controllers send a frame in one go; the margin is for the network.
    static constexpr std::chrono::milliseconds kPartialFrameGap{200};

    QMProtocolParserVDCP();
    ~QMProtocolParserVDCP() override;

    static const QMProtocolParserClass& parserClassObject();
    // Makes the class known by its name ("QMProtocolParserVDCP") to the parser registry.
    static void registerParserClass();
    const QMProtocolParserClass& parserClass() const override { return parserClassObject(); }

    // The command table, grouped by group digit, then code.
    static std::span<const QMVDCPCommand> lookupTable();
    static const QMVDCPCommand* lookupCommand(unsigned char cmd1, unsigned char cmd2);

    // Serial side.
    void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) override;
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;

    // TCP side.
    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.headerLength = 2}; }
    QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.port = kTCPPort, .mayConnect = false, .mayAccept = true}; }
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& header, const QString& connection) override;
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) override;
    void networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;

    // Answers one message (CMD1 to CS) on the main thread; a message too short for its command
    // is refused with NAK. A null result (no reply) only when the connection's state is gone.
    // Records the reply as the connection's last response.
    QByteArray responseForMessage(const QByteArray& message, const QString& connection);
    // Frames the serial buffer of a connection and answers every complete frame in it.
    void parseSerialBufferForConnection(const QString& connection);
    // The same for a TCP connection: replies go back on that connection.
    void parseTCPBufferForConnection(const QString& connection);

    // Adds a connection state under an identifier (replacing any earlier one).
    std::shared_ptr<QMVDCPInternalConnection> addConnection(const QString& identifier);
    std::shared_ptr<QMVDCPInternalConnection> connection(const QString& identifier) const;
    std::size_t connectionCount() const;

    // An item name as an 8-byte fixed ID: names of 9 or more characters keep their first 8
    // (the form media lists use when cut to 8 characters), shorter ones are padded with spaces.
    static QByteArray truncateOrPadFilenameTo8Bytes(const QString& name);

    // Handlers (the table names them).
    QByteArray ackData(const QByteArray&, QMVDCPInternalConnection&) { return ackData(); }
    QByteArray handleStep(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleSeek(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleVariPlay(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleOpenPort(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handlePortStatus(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleMultiplePortStatus(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handlePositionRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleActiveIDRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleActiveIDRequestVariableLength(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleDeviceTypeRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleSystemStatusRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handlePlayCueRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handlePlayCueRequestVariableLength(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleCueWithDataRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleCueWithDataRequestVariableLength(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleNextRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleNextRequestVariableLength(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleLastRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleIDListRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleIDListRequestVariableLength(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleIDSizeRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleIDRequest(const QByteArray& message, QMVDCPInternalConnection& connection);
    QByteArray handleIDRequestVariableLength(const QByteArray& message, QMVDCPInternalConnection& connection);

    static QByteArray ackData() { return QByteArray(1, kACK); }
    static QByteArray nakData(char reason = kNakUndefinedCommand);
    // The two's complement of the 8-bit sum of the bytes.
    static char computeChecksum(QByteArrayView bytes);
    static QByteArray checksummedData(QByteArray data);
    // STX and BC in front; BC leaves out the checksum when there is one.
    static QByteArray prefixedData(const QByteArray& data, bool hasCheckSum);
    // A data reply from CMD1 to its last data byte: checksummed and framed.
    static QByteArray framedReply(const QByteArray& body) { return prefixedData(checksummedData(body), true); }

private:
    QVariantMap routingParams(const QMVDCPInternalConnection& connection, std::int64_t port) const;
    QVariantMap query(const char* command, const QMVDCPInternalConnection& connection);
    QVariantMap stateForPort(const QMVDCPInternalConnection& connection, std::int64_t port);
    static char portStateByte(const QVariantMap& state);
    QByteArray handleActiveID(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection);
    QByteArray handlePlayCue(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection);
    QByteArray handleCueWithData(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection);
    QByteArray handleNext(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection);
    QByteArray handleIDList(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection);
    // Takes one page off the list buffer and appends its IDs to body; answers the count left.
    std::uint16_t bytesForFileList(QMVDCPInternalConnection& connection, bool variableLength, QByteArray& body);
    // The item a received ID names: an item of that exact name, else the item whose fixed ID it
    // is, so IDs that lists cut to 8 characters still find their item; nullopt when none does.
    std::optional<QString> resolveMediaID(const QString& id, QMVDCPInternalConnection& connection);
    // The ID a request carries (fixed: 8 bytes at 2, trimmed; variable: length byte at 2, then
    // the bytes), and where the bytes after it start; nullopt when the message is too short.
    static std::optional<std::pair<QString, qsizetype>> requestID(const QByteArray& message, bool variableLength);
    QByteArray handleID(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection);
    // Adds received bytes to the connection's buffer, first dropping a partial frame gone stale.
    void appendReceived(QMVDCPInternalConnection& state, const QByteArray& data, const QString& id);
    // Frames the connection's buffer, answering every complete frame through write.
    void parseBuffer(QMVDCPInternalConnection& state, const QString& connection, const std::function<void(const QByteArray&)>& write);

    mutable std::mutex connectionsMutex_;
    std::map<QString, std::shared_ptr<QMVDCPInternalConnection>> connections_;
};
