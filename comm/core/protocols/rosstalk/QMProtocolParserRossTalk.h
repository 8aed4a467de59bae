#pragma once
// RossTalk: text lines ended by CR LF over TCP (port 7788). As a controller (behaviour 1) the
// parser connects to a switcher and writes its fixed commands; as a device (behaviour 4) it
// accepts connections and hands the lines it recognises to its delegate as application commands,
// on the main thread, in order per connection. Nothing is ever answered on the wire.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

#include <mutex>

class QMProtocolParserRossTalk : public QMProtocolParser, public QMTCPNetworkProtocolParser {
public:
    static const QMProtocolParserClass& rossTalkClass();
    const QMProtocolParserClass& parserClass() const override { return rossTalkClass(); }

    // None in device behaviour.
    QVariantMap protocolCommands() override;
    void sendProtocolCommand(const QVariantMap& descriptor) override;

    // One line, without its CR LF (main thread).
    void handleMessage(const QString& line);

    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override;
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) override;
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray&, const QString&) override {}
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) override;
    QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override;

private:
    void send(const char* command, const QVariantMap& params = {});

    std::once_flag commandsBuilt_;
    QVariantMap commands_;
};

// Makes the RossTalk parser (type 15) known to the communications module.
void QMRegisterRossTalkClass();
