#pragma once
// Global Cache relay outputs over TCP (port 4998): each protocol command writes "setstate" lines
// ended by CR, "#" standing for the output on module 1. The interval commands write their second
// line after the interval; every line is timed from the moment the command was processed, and the
// writes already scheduled are carried out even when another command follows.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

class QMProtocolParserGlobalCache : public QMProtocolParser, public QMTCPNetworkProtocolParser {
public:
    // Intervals longer than this are taken as this (a day): a timer cannot wait for ever.
    static constexpr double kMaxIntervalSeconds = 86400;

    static const QMProtocolParserClass& globalCacheClass();
    const QMProtocolParserClass& parserClass() const override { return globalCacheClass(); }

    // Built afresh on every call.
    QVariantMap protocolCommands() override;
    // Main thread.
    void sendProtocolCommand(const QVariantMap& descriptor) override;
    // The lines a descriptor makes and the delay of each, in seconds, without sending them.
    static QList<std::pair<double, QByteArray>> linesForCommand(const QVariantMap& descriptor);

    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.payloadDelimiter = QByteArrayLiteral("\r")}; }
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& header, const QString& connection) override;
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) override;
    QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.port = 4998, .mayConnect = true, .mayAccept = false}; }
    // Asks for the unit's CR-terminated replies, which are logged.
    void networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator* hardware) override;
};
