#pragma once
// Drives a vision mixer with the Sony BVS protocol over a serial line or UDP.
#include "comm/core/protocols/switchers/QMSwitcherProtocolParser.h"

class QMProtocolParserSonyBVS : public QMSwitcherProtocolParser, public QMUDPNetworkProtocolParser {
public:
    static const QMProtocolParserClass& sonyBVSClass();
    const QMProtocolParserClass& parserClass() const override { return sonyBVSClass(); }

    // UDP: connect to the switcher only; datagrams from it are logged and dropped.
    void networkHardwareReadData(QMUDPNetworkHardwareCommunicator* hardware, const QByteArray& data) override;
    void udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator* hardware) override;
    void udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator* hardware) override;
    QMUDPIdentity udpIdentityForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override
    {
        return {.mayConnect = true, .mayListen = false, .mayListenMulticast = false, .mayBroadcast = false};
    }

protected:
    QVariantMap buildProtocolCommands() const override;
};
