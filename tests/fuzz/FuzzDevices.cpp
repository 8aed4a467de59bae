// The device file ("commModuleDevices.xml") as the connection manager reads it: each device's
// attributes, then its parser element through the module controller, which makes the parser
// and its hardware communicator (serial, TCP, UDP, Art-Net) from their attributes. Nothing is
// activated: only the reading is under test.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/switchers/QMSwitcherModule.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "comm/showcontrol/citp/QMProtocolParserCITP.h"
#include "comm/showcontrol/dmx/QMDMXModule.h"
#include "comm/showcontrol/feeds/QMProtocolParserScorebot.h"
#include "comm/showcontrol/gpio/QMProtocolParserNumatoGPIO.h"
#include "comm/showcontrol/midi/QMProtocolParserMIDI.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/StringValue.h"
#include "platform/foundation/Xml.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    QMProtocolParserVDCP::registerParserClass();
    QMProtocolParserAMP::registerParserClass();
    QMProtocolParserSonyBVW::registerParserClass();
    QMRegisterRossTalkClass();
    QMRegisterSwitcherClasses();
    QMRegisterCITPClass();
    QMRegisterDMXClasses();
    QMRegisterFeedClasses();
    QMRegisterGPIOClasses();
    // The parser only: the MIDI communicator would open the sequencer.
    QMProtocolParserClass::registerClass(QMProtocolParserMIDI::midiClass());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet;
    quiet.clear();
    platform::XmlReadLimits limits;
    limits.maxDepth = 16;
    platform::Error error;
    const auto root = platform::readXml(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &error, limits);
    if (!root)
        return 0;
    QMCommunicationModuleController controller;
    for (const platform::XmlElement& node : root->children()) {
        node.attribute(QStringLiteral("deviceLabel"));
        node.findAttribute(QStringLiteral("deviceID"));
        platform::boolValue(node.attribute(QStringLiteral("reconnect")));
        platform::integerValue(node.attribute(QStringLiteral("klvChannel")));
        if (node.children().size() == 1)
            controller.activateParserForXML(node.children().front());
    }
    return 0;
}
