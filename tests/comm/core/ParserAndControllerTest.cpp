// The parser base, the parser type table, start-up and re-creating parsers from saved elements.
#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "platform/foundation/Log.h"
#include "tests/comm/core/TestParsers.h"

#include <gtest/gtest.h>

namespace {

// Stand-ins registered under the table's class names, answering the protocol names.
class NamedClass : public QMProtocolParserClassOf<BareParser> {
public:
    NamedClass(const char* className, const char* protocol) : QMProtocolParserClassOf(QString::fromLatin1(className)), protocol_(QString::fromLatin1(protocol)) {}
    QString supportedProtocol() const override { return protocol_; }

private:
    QString protocol_;
};

void registerStandIns()
{
    static const NamedClass classes[] = {
        {"QMProtocolParserAMP", "AMP"}, {"QMProtocolParserCITP", "CITP"}, {"QMProtocolParserDMX", "DMX"},
        {"QMProtocolParserGVG100", "GVG100"}, {"QMProtocolParserMIDI", "MIDI"}, {"QMProtocolParserRossTalk", "RossTalk"},
        {"QMProtocolParserSonyBVS", "Sony BVS"}, {"QMProtocolParserSonyBVW", "Sony BVW"}, {"QMProtocolParserVDCP", "VDCP"},
        {"QMProtocolParserGlobalCache", "GlobalCache"},
    };
    for (const NamedClass& c : classes)
        QMProtocolParserClass::registerClass(c);
    QMProtocolParserClass::registerClass(BareParser::theClass());
    QMProtocolParserClass::registerClass(TcpRecorderParser::theClass());
}

QVariantList standardTypes()
{
    return {1, 2, 4, 9, 12, 15, 17, 18, 21};
}

} // namespace

TEST(ProtocolParser, ABareParserAnswersTheBaseDefaults)
{
    const QMProtocolParserClass& c = BareParser::theClass();
    EXPECT_TRUE(c.supportedProtocol().isNull());
    EXPECT_EQ(c.supportedProtocolIcon(), QStringLiteral("network-wired"));
    EXPECT_TRUE(c.supportedProtocolDescription().isEmpty());
    EXPECT_FALSE(c.supportedProtocolDescription().isNull());
    EXPECT_TRUE(c.supportedHardwareCommunicators().isEmpty());
    EXPECT_TRUE(c.additionalClasses().isEmpty());
    EXPECT_EQ(c.protocolBehaviorMask(), 0u);
    QMTCPNetworkHardwareCommunicator tcp;
    EXPECT_EQ(c.protocolBehaviorMaskForHardware(&tcp), 0u);
    EXPECT_EQ(c.protocolBehaviorMaskForHardware(nullptr), 0u);

    BareParser parser;
    EXPECT_TRUE(parser.protocolCommands().isEmpty());
    parser.sendProtocolCommand({});
    EXPECT_EQ(parser.controlView(), nullptr);
    EXPECT_EQ(parser.behavior(), 0u);
}

TEST(ProtocolParser, SerializesItsBehaviourAndItsCommunicatorsElement)
{
    BareParser parser;
    parser.setBehavior(QMProtocolBehaviorDevice);
    EXPECT_EQ(platform::writeXml(parser.serializedParser(), {false, 0, false}), QByteArray("<QMProtocolParserBare behavior=\"4\"/>"));

    // A communicator without an element of its own (the base) adds nothing, and says so.
    parser.setHardwareCommunicator(std::make_shared<QMHardwareCommunicator>());
    platform::LogCapture capture;
    EXPECT_TRUE(parser.serializedParser().children().empty());
    EXPECT_TRUE(capture.contains("QMHardwareCommunicator failed to implement serializedConnectionProperties"));

    auto serial = std::make_shared<QMSerialHardwareCommunicator>();
    serial->setDevicePath(QStringLiteral("/dev/ttyQM0"));
    serial->setSpeed(38400);
    serial->setDataBits(8);
    serial->setParity(1);
    serial->setStopBits(1);
    parser.setHardwareCommunicator(serial);
    parser.setBehavior(QMProtocolBehaviorController);
    EXPECT_EQ(platform::writeXml(parser.serializedParser(), {false, 0, false}),
              QByteArray("<QMProtocolParserBare behavior=\"1\"><QMSerialHardwareCommunicator interface=\"/dev/ttyQM0\" speed=\"38400\" "
                         "dataBits=\"8\" parity=\"1\" stopBits=\"1\" hfcInput=\"-1\" hfcOutput=\"-1\"/></QMProtocolParserBare>"));
}

TEST(CommunicationDeviceLookup, MapsTypesToRegisteredParserClasses)
{
    registerStandIns();
    EXPECT_EQ(CommunicationDeviceLookup::typeForRawValue(21), 21);
    EXPECT_EQ(CommunicationDeviceLookup::typeForRawValue(22), CommunicationDeviceLookup::kNotFound);
    EXPECT_EQ(CommunicationDeviceLookup::classNameForCommunicationType(0), QStringLiteral("QMProtocolParserAllAmerican8000"));
    EXPECT_EQ(CommunicationDeviceLookup::classNameForCommunicationType(21), QStringLiteral("QMProtocolParserVDCP"));
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(99), nullptr);

    QStringList names;
    for (const QMProtocolParserClass* c : CommunicationDeviceLookup::classesForRawTypes(standardTypes()))
        names << c->className();
    EXPECT_EQ(names, (QStringList{"QMProtocolParserAMP", "QMProtocolParserCITP", "QMProtocolParserDMX", "QMProtocolParserGVG100",
                                  "QMProtocolParserMIDI", "QMProtocolParserRossTalk", "QMProtocolParserSonyBVS",
                                  "QMProtocolParserSonyBVW", "QMProtocolParserVDCP"}));
    // Out of range, negative and unregistered types are dropped; a registered one is kept.
    const auto mixed = CommunicationDeviceLookup::classesForRawTypes({22, 99, -1, 0, 10});
    ASSERT_EQ(mixed.size(), 1);
    // Type 10 is the relay unit, served by the Global Cache parser like type 8.
    EXPECT_EQ(mixed.front()->className(), QStringLiteral("QMProtocolParserGlobalCache"));
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(10), CommunicationDeviceLookup::classForCommunicationType(8));
}

TEST(CommunicationModuleController, StartsOnceWithTheStandardTypes)
{
    registerStandIns();
    QMCommunicationModuleController controller;
    EXPECT_FALSE(controller.availableParsers().has_value());
    EXPECT_TRUE(controller.availableProtocols().isEmpty());
    controller.startupWithAvailableTypes(standardTypes());
    EXPECT_EQ(controller.availableParsers()->size(), 9);
    EXPECT_EQ(controller.availableProtocols(),
              (QStringList{"AMP", "CITP", "DMX", "GVG100", "MIDI", "RossTalk", "Sony BVS", "Sony BVW", "VDCP"}));

    platform::LogCapture capture;
    controller.startupWithAvailableTypes({1});
    EXPECT_TRUE(capture.contains("must only call startup once!"));
    EXPECT_EQ(controller.availableParsers()->size(), 9);
}

TEST(CommunicationModuleController, SharedControllerIsOneAndASecondOneIsReported)
{
    QMCommunicationModuleController& shared = QMCommunicationModuleController::sharedController();
    EXPECT_EQ(&shared, &QMCommunicationModuleController::sharedController());
    platform::LogCapture capture;
    QMCommunicationModuleController another;
    EXPECT_TRUE(capture.contains("attempting to init another communciation controller"));
}

TEST(CommunicationModuleController, ActivatesParsersOnCommunicators)
{
    registerStandIns();
    QMCommunicationModuleController controller;
    auto parser = controller.activateParserForClass(TcpRecorderParser::theClass(), QMTCPNetworkHardwareCommunicator::tcpClass(), QMProtocolBehaviorDevice);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->behavior(), QMProtocolBehaviorDevice);
    EXPECT_EQ(parser->delegate(), &controller);
    const auto communicator = parser->hardwareCommunicator();
    ASSERT_TRUE(communicator);
    EXPECT_EQ(communicator->className(), QStringLiteral("QMTCPNetworkHardwareCommunicator"));
    EXPECT_EQ(communicator->parser(), parser);
    EXPECT_EQ(controller.activeParsers().size(), 1u);
}

TEST(CommunicationModuleController, RecreatesParsersFromSavedElements)
{
    registerStandIns();
    QMCommunicationModuleController controller;

    EXPECT_EQ(controller.activateParserForXML(platform::XmlElement(QStringLiteral("QMProtocolParserNoSuchThing"))), nullptr);
    EXPECT_TRUE(controller.activeParsers().empty());

    auto bare = controller.activateParserForXML(platform::XmlElement(QStringLiteral("QMProtocolParserBare")));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->behavior(), 0u);
    EXPECT_FALSE(bare->hardwareCommunicator());

    const platform::XmlElement saved = platform::parseXml(
        "<QMProtocolParserTcpRecorder behavior=\"4\"><QMTCPNetworkHardwareCommunicator interface=\"lo\" port=\"3811\" "
        "address=\"10.0.0.9\" mode=\"1\"/></QMProtocolParserTcpRecorder>");
    auto tcpParser = controller.activateParserForXML(saved);
    ASSERT_TRUE(tcpParser);
    EXPECT_EQ(tcpParser->behavior(), 4u);
    auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(tcpParser->hardwareCommunicator());
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->parser(), tcpParser);
    EXPECT_EQ(tcp->interfaceString(), QStringLiteral("lo"));
    EXPECT_EQ(tcp->hostname(), QStringLiteral("10.0.0.9"));
    EXPECT_EQ(tcp->portNum(), 3811u);
    EXPECT_EQ(tcp->socketMode(), QMSocketModeConnect);
    EXPECT_EQ(tcp->displayName(), QStringLiteral("10.0.0.9:3811"));
    // Writing it back gives the same element.
    EXPECT_EQ(tcpParser->serializedParser(), saved);

    platform::XmlElement twoChildren(QStringLiteral("QMProtocolParserBare"));
    twoChildren.appendChild(QStringLiteral("QMTCPNetworkHardwareCommunicator"));
    twoChildren.appendChild(QStringLiteral("QMUDPNetworkHardwareCommunicator"));
    auto none = controller.activateParserForXML(twoChildren);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->hardwareCommunicator());

    platform::XmlElement unknownChild(QStringLiteral("QMProtocolParserBare"));
    unknownChild.setAttribute(QStringLiteral("behavior"), QStringLiteral("1x"));
    unknownChild.appendChild(QStringLiteral("QMWarpDriveCommunicator"));
    auto alone = controller.activateParserForXML(unknownChild);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->behavior(), 1u);
    EXPECT_FALSE(alone->hardwareCommunicator());
    EXPECT_EQ(controller.activeParsers().size(), 4u);
}

TEST(HardwareCommunicator, RegistryLabelsAndInterfaces)
{
    QStringList names;
    for (const QMHardwareCommunicatorClass* c : QMHardwareCommunicator::subclasses())
        names << c->className() + QLatin1Char('=') + c->hardwareTypeName();
    EXPECT_EQ(names, (QStringList{"QMHardwareCommunicator=Other", "QMSerialHardwareCommunicator=Serial",
                                  "QMNetworkHardwareCommunicator=Network", "QMTCPNetworkHardwareCommunicator=Network (TCP)",
                                  "QMUDPNetworkHardwareCommunicator=Network (UDP)"}));
    QMHardwareCommunicator::registerSubclass(QMSerialHardwareCommunicator::serialClass());
    EXPECT_EQ(QMHardwareCommunicator::subclasses().size(), 5);
    EXPECT_EQ(QMSerialHardwareCommunicator::serialClass().setupViewNibName(), QStringLiteral("QMSerialConfiguration"));

    QMHardwareCommunicator base;
    EXPECT_EQ(base.communicatorType(), 0u);
    EXPECT_EQ(base.activeStateLabel(), QStringLiteral("Not Connected"));
    int changes = 0;
    QObject::connect(&base, &QMHardwareCommunicator::activeStateLabelChanged, [&] { ++changes; });
    base.activate();
    base.activate();
    EXPECT_EQ(base.activeStateLabel(), QStringLiteral("Connected"));
    base.deactivate();
    EXPECT_EQ(changes, 2);
    platform::LogCapture capture;
    EXPECT_EQ(QMHardwareCommunicator::classNamed(QStringLiteral("QMHardwareCommunicator"))->createWithXML(platform::XmlElement()), nullptr);
    EXPECT_TRUE(capture.contains("QMHardwareCommunicator failed to implement initWithXML:"));

    bool sawLoopback = false;
    for (const QVariantMap& entry : QMHardwareCommunicator::availableInterfaces()) {
        if (entry.value(QLatin1String(QMHardwareInterfaceUniqueIdentifier)) == QStringLiteral("lo")) {
            sawLoopback = true;
            EXPECT_EQ(entry.value(QLatin1String(QMHardwareInterfaceType)).toUInt(), QMCommunicatorTypeOther);
        }
    }
    EXPECT_TRUE(sawLoopback);
    for (const QVariantMap& entry : QMHardwareCommunicator::availableInterfacesForType(QMCommunicatorTypeNetwork))
        EXPECT_EQ(entry.value(QLatin1String(QMHardwareInterfaceType)).toUInt(), QMCommunicatorTypeNetwork);
}
