#pragma once
// AMP: a video switcher or automation system drives the server with lines of ASCII text whose
// command part is the hexadecimal text of a 9-pin style command. The parser answers every
// message with one line (acknowledgement, negative acknowledgement or data reply) and never
// sends on its own. A TCP client can bind its connection to a channel by name.
//
// Lines end at CR or LF. Over TCP a line waits for its end however slowly it arrives; on a serial
// line a chunk that stops without a terminator counts as a whole message once nothing more
// arrives for a short while, so controllers that send bare messages still work; a datagram ends
// its last message.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/protocols/deck/QMDeckControlSerialParser.h"
#include "comm/timecode/QMTimeCode.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

class QMProtocolParserAMP;

// One row of the command table. The group digit is CMD1's first hex digit, the code CMD2 as
// two upper-case hex digits. A row either names the member function that answers it, or the
// application command sent as is and acknowledged, or neither (answered as not handled).
struct QMAMPCommand {
    // Called with the data (or, with includeCommand, the text from CMD1 on) and the connection
    // identifier (null for UDP and serial). A null result means no answer.
    using Handler = QString (QMProtocolParserAMP::*)(const QString& text, const QString& connection);
    const char* group;
    const char* code;
    const char* description;
    const char* originalCommand;
    Handler handler = nullptr;
    bool includeCommand = false;
    const char* applicationCommand = nullptr;
};

class QMProtocolParserAMP : public QMProtocolParser,
                            public QMDeckControlSerialParser,
                            public QMTCPNetworkProtocolParser,
                            public QMUDPNetworkProtocolParser {
public:
    static constexpr std::uint64_t kPort = 3811;
    static constexpr double kWriteTimeout = 5.0;
    // On a serial line, a chunk without a line end is taken as a whole message after this much
    // silence.
    static constexpr std::chrono::milliseconds kMessageGap{50};
    // A line longer than this is dropped: no AMP message comes near it.
    static constexpr qsizetype kMaxLineBytes = 4096;

    QMProtocolParserAMP();
    ~QMProtocolParserAMP() override;

    static const QMProtocolParserClass& parserClassObject();
    // Makes the class known by its name ("QMProtocolParserAMP") to the parser registry.
    static void registerParserClass();
    // The silence after which a chunk without a line end stands as a message (kMessageGap unless set);
    // a slow link or a loaded machine may need more.
    void setMessageGap(std::chrono::milliseconds gap) { messageGap_ = gap; }
    const QMProtocolParserClass& parserClass() const override { return parserClassObject(); }

    static std::span<const QMAMPCommand> lookupTable();
    // Case-insensitive hex digits.
    static const QMAMPCommand* lookupCommand(QChar group, QStringView code);

    // Serial side.
    void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) override;
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;

    // TCP side: payloads are read as they arrive and assembled into lines here.
    QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.port = kPort, .mayConnect = false, .mayAccept = true}; }
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray&, const QString&) override {}
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) override;
    void networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;

    // UDP side: each datagram holds whole messages.
    void networkHardwareReadData(QMUDPNetworkHardwareCommunicator* hardware, const QByteArray& data) override;
    void udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override;
    void udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override;
    QMUDPIdentity udpIdentityForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override
    {
        return {.port = kPort, .mayConnect = true, .mayListen = true, .mayListenMulticast = false, .mayBroadcast = false};
    }

    // The answer to one message (main thread); null for no answer. connection is the TCP
    // connection identifier, null for UDP and serial.
    QString responseForMessage(const QByteArray& message, const QString& connection);

    static QString ackString() { return QStringLiteral("1001"); }
    static QString nakString() { return QStringLiteral("111201"); }
    // The 8-bit sum of the bytes the hex text spells, as two lower-case hex digits.
    static QString checksumForString(const QString& hexText);
    // ffssmmhh, two decimal digits each; nullopt for any other length.
    static std::optional<QMTimeCode> timecodeFromString(QStringView text);

    QString channelForConnection(const QString& connection) const { return channelLookup_.value(connection); }
    // Bytes waiting for their line end, over every source (main thread).
    qsizetype bufferedByteCount() const;
    const std::array<std::uint8_t, 4>& userBits() const { return userBits_; }
    bool cueComplete() const { return cueComplete_; }
    bool inPreset() const { return inPreset_; }
    bool outPreset() const { return outPreset_; }

    // Handlers (the table names them).
    QString ackString(const QString&, const QString&) { return ackString(); }
    QString handleDeviceTypeRequest(const QString& text, const QString& connection);
    QString handleStop(const QString& command, const QString& connection);
    QString handlePlay(const QString& command, const QString& connection);
    QString handleCueUpWithData(const QString& data, const QString& connection);
    QString handleUserBitsPreset(const QString& command, const QString& connection);
    QString handleInPreset(const QString& data, const QString& connection);
    QString handleCurrentTimeSense(const QString& data, const QString& connection);
    QString handleStatusSense(const QString& data, const QString& connection);
    QString handleWorkingFolderRequest(const QString& data, const QString& connection);
    QString handleListFirstIDRequest(const QString& command, const QString& connection);
    QString handleListNextIDRequest(const QString& command, const QString& connection);
    QString handleIDLoadedRequest(const QString& text, const QString& connection);
    QString handleIDDurationRequest(const QString& data, const QString& connection);
    QString handleIDCountRequest(const QString& text, const QString& connection);
    QString handleDeviceNameRequest(const QString& text, const QString& connection);

private:
    struct LineBuffer {
        QByteArray bytes;
        std::uint64_t generation = 0;
    };
    enum class Source { TCP, UDP, Serial };

    QVariantMap routingParams(const QString& connection) const;
    // The routing of queries: an unbound connection asks for port 1.
    QVariantMap queryParams(const QString& connection) const;
    QVariantMap query(const char* command, const QString& connection);
    // Whether the channel a cue reaches has an item of that name.
    bool channelHasMedia(const QString& name, const QString& connection);
    QString handleTransport(const QString& command, const QString& connection, const char* applicationCommand, bool stop);
    void handleCreateOrReacquire(const QString& message, const QString& connection);
    QString idListingResponse(bool lengthPrefixed, int count);
    static QString withChecksum(const QString& hexText) { return hexText + checksumForString(hexText); }

    // Line assembly per source (TCP connection identifier, or "udp"/"serial").
    void receive(Source source, const QString& key, const QByteArray& data);
    void flushAfterGap(Source source, const QString& key, std::uint64_t generation);
    void answer(Source source, const QString& key, const QByteArray& message);

    std::array<std::uint8_t, 4> userBits_{};
    QStringList idStack_;
    bool cueComplete_ = false;
    bool outPreset_ = false;
    bool inPreset_ = false;
    QHash<QString, QString> channelLookup_; // main thread
    QHash<QString, LineBuffer> lineBuffers_; // main thread
    std::chrono::milliseconds messageGap_{kMessageGap};
};
