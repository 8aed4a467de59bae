#pragma once
// What the vision-mixer parsers share: they only send. Serial lines run at 38400 baud, 8 data
// bits, even parity, 1 stop bit, no flow control; whatever the switcher sends back is dropped.
// Commands are a fixed table of hexadecimal descriptors, built on first use.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

#include <mutex>

class QMSwitcherProtocolParser : public QMProtocolParser, public QMSerialProtocolParser {
public:
    QVariantMap protocolCommands() override;
    void sendProtocolCommand(const QVariantMap& descriptor) override;
    // Writes on the parser's communicator: a serial line, or a UDP socket with a 5 s time-out.
    void writeData(const QByteArray& data);

    void serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray&) override {}
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator*) override
    {
        return {.speed = 38400, .dataBits = 8, .parity = 2, .stopBits = 1, .flowControlInput = 0, .flowControlOutput = 0};
    }

protected:
    virtual QVariantMap buildProtocolCommands() const = 0;

private:
    std::once_flag commandsBuilt_;
    QVariantMap commands_;
};
