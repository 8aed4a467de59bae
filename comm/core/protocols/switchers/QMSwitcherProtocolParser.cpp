#include "comm/core/protocols/switchers/QMSwitcherProtocolParser.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"

QVariantMap QMSwitcherProtocolParser::protocolCommands()
{
    std::call_once(commandsBuilt_, [this] { commands_ = buildProtocolCommands(); });
    return commands_;
}

void QMSwitcherProtocolParser::sendProtocolCommand(const QVariantMap& descriptor)
{
    QMProtocolCommandSender::sendHexDescriptor(descriptor, [this](const QByteArray& bytes) { writeData(bytes); });
}

void QMSwitcherProtocolParser::writeData(const QByteArray& data)
{
    const std::shared_ptr<QMHardwareCommunicator> communicator = hardwareCommunicator();
    if (auto* serial = dynamic_cast<QMSerialHardwareCommunicator*>(communicator.get()))
        serial->writeData(data);
    else if (auto* udp = dynamic_cast<QMUDPNetworkHardwareCommunicator*>(communicator.get()))
        udp->writeData(data, 5.0);
    else
        qmcomm::logError(QStringLiteral("unknown hardware class: %1").arg(communicator ? communicator->className() : QStringLiteral("(null)")));
}

void QMSwitcherProtocolParser::serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware)
{
    qmcomm::log(QStringLiteral("serial port connected"));
    hardware->read();
}

void QMSwitcherProtocolParser::serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("serial port disconnected"));
}
