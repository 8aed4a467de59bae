#include "comm/showcontrol/dmx/QMDMXHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMProtocolParser.h"

std::shared_ptr<QMDMXProtocolParser> QMDMXHardwareCommunicator::dmxParser() const
{
    const std::shared_ptr<QMProtocolParser> p = parser();
    auto* dmx = dynamic_cast<QMDMXProtocolParser*>(p.get());
    if (!dmx)
        return nullptr;
    return std::shared_ptr<QMDMXProtocolParser>(p, dmx);
}

void QMDMXHardwareCommunicator::sendDMXData(const QByteArray&)
{
    qmcomm::logError(QStringLiteral("%1 needs to be implemented").arg(QStringLiteral("-[QMDMXHardwareCommunicator sendDMXData:]")));
}
