#include "comm/showcontrol/dmx/QMDMXModule.h"

#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "comm/showcontrol/dmx/QMProtocolParserDMX.h"

void QMRegisterDMXClasses()
{
    QMProtocolParserClass::registerClass(QMProtocolParserDMX::dmxClass());
    QMHardwareCommunicator::registerSubclass(QMDMXArtnetHardwareCommunicator::artnetClass());
}
