#include "comm/core/protocols/switchers/QMProtocolParserSonyBVS.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"

namespace {

class SonyBVSClass : public QMProtocolParserClassOf<QMProtocolParserSonyBVS> {
public:
    SonyBVSClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserSonyBVS")) {}
    QString supportedProtocol() const override { return QStringLiteral("Sony BVS"); }
    QString supportedProtocolDescription() const override { return QStringLiteral("Control a video switcher using the Sony BVS protocol."); }
    QStringList supportedHardwareCommunicators() const override
    {
        return {QMSerialHardwareCommunicator::serialClass().className(), QMUDPNetworkHardwareCommunicator::udpClass().className()};
    }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorController; }
};

} // namespace

const QMProtocolParserClass& QMProtocolParserSonyBVS::sonyBVSClass()
{
    static const SonyBVSClass c;
    return c;
}

QVariantMap QMProtocolParserSonyBVS::buildProtocolCommands() const
{
    using QMProtocolCommandSender::descriptor;
    return QMProtocolCommandSender::table({
        descriptor(1, QStringLiteral("Fade To Black"), QStringLiteral("Performs a Fade to Black"), QStringLiteral("0400968030")),
        descriptor(2, QStringLiteral("Key On"), QStringLiteral("Turns the Key On"), QStringLiteral("0301DA10")),
        descriptor(3, QStringLiteral("Key Off"), QStringLiteral("Turns the Key off"), QStringLiteral("03019A10")),
        descriptor(4, QStringLiteral("DSK On"), QStringLiteral("Turns the DSK On"), QStringLiteral("0300DA10")),
        descriptor(5, QStringLiteral("DSK Off"), QStringLiteral("Turns the DSK off"), QStringLiteral("03009A10")),
    });
}

void QMProtocolParserSonyBVS::networkHardwareReadData(QMUDPNetworkHardwareCommunicator*, const QByteArray& data)
{
    qmcomm::log(QStringLiteral("UDP read %1").arg(qmcomm::dataDescription(data)));
}

void QMProtocolParserSonyBVS::udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("UDP connected"));
}

void QMProtocolParserSonyBVS::udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("UDP disconnected"));
}
