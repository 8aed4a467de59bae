#pragma once
// Scorebot over TCP (port 1402): after connecting it asks for data with "ST" and then reads
// fixed 152-byte records, each handed whole to the delegate as QMApplicationCommandRawData.
// Callbacks and deliveries run on the TCP communicator's delegate queue.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

class QMProtocolParserScorebot : public QMProtocolParser, public QMTCPNetworkProtocolParser {
public:
    static constexpr std::uint64_t kRecordLength = 152;

    static const QMProtocolParserClass& scorebotClass();
    const QMProtocolParserClass& parserClass() const override { return scorebotClass(); }

    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.payloadLength = kRecordLength}; }
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray&, const QString&) override {}
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) override;
    QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.port = 1402, .mayConnect = true, .mayAccept = false}; }
    void networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator* hardware) override;

    void handleData(const QByteArray& data);
};

// Makes the nine serial feeds (types 0, 3, 5, 6, 7, 11, 14, 19, 20) and Scorebot (type 16) known
// to the communications module.
void QMRegisterFeedClasses();
