// The DMX parser's frame comparison and outgoing frames, and the Art-Net communicator's saved
// element, port number, interface list and setup state.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/showcontrol/dmx/QMDMXModule.h"
#include "platform/foundation/Log.h"
#include "tests/comm/showcontrol/dmx/DMXTestSupport.h"
#include "tests/comm/showcontrol/dmxnet/FakeInterfaces.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

using namespace dmxtest;

TEST(QMProtocolParserDMX, ReportsChangedSlotsAgainstTheLastFrame)
{
    QByteArray first(512, '\0');
    first[0] = char(255);
    EXPECT_EQ(QMProtocolParserDMX::changedValuesForData(first, std::nullopt), changes({{0, 255}}));
    EXPECT_TRUE(QMProtocolParserDMX::changedValuesForData(first, first).isEmpty());
    QByteArray second = first;
    second[9] = char(128);
    second[10] = char(64);
    EXPECT_EQ(QMProtocolParserDMX::changedValuesForData(second, first), changes({{9, 128}, {10, 64}}));
    // A shorter frame leaves the slots it does not carry alone; slots the last frame did not
    // reach count as 0.
    EXPECT_TRUE(QMProtocolParserDMX::changedValuesForData(second.left(4), second).isEmpty());
    EXPECT_EQ(QMProtocolParserDMX::changedValuesForData(QByteArray("\x00\x00\x00\x00\x05", 5), QByteArray(2, '\0')), changes({{4, 5}}));
}

TEST(QMProtocolParserDMX, HandsFramesToTheMainThreadAndReportsOnlyChanges)
{
    DMXDevice device;
    QByteArray frame(512, '\0');
    frame[0] = char(255);
    std::thread([&] { device.parser->hardwareReceivedDMXData(frame); }).join();
    ASSERT_TRUE(testsupport::waitUntil([&] { return device.recorder.commands() == 1; }));
    EXPECT_EQ(device.recorder.lastCommand, QLatin1String(QMApplicationCommandDMXValuesChanged));
    EXPECT_EQ(qmParserFromParams(device.recorder.lastParams), device.parser.get());
    EXPECT_EQ(device.recorder.lastChanges(), changes({{0, 255}}));
    device.parser->handleDMXData(frame);
    EXPECT_EQ(device.recorder.commands(), 1);
    EXPECT_EQ(device.parser->lastFrame(), frame);
}

TEST(QMProtocolParserDMX, ClassFactsAndTypeTableEntry)
{
    QMRegisterDMXClasses();
    const QMProtocolParserClass& c = QMProtocolParserDMX::dmxClass();
    EXPECT_EQ(c.supportedProtocol(), QStringLiteral("DMX"));
    EXPECT_EQ(c.supportedProtocolIcon(), QStringLiteral("DMXIcon"));
    EXPECT_EQ(c.supportedProtocolDescription(), QStringLiteral("DMX allows Corvelle to be controlled from a lighting console via network based Art-Net."));
    EXPECT_EQ(c.supportedHardwareCommunicators(), QStringList{QStringLiteral("QMDMXArtnetHardwareCommunicator")});
    EXPECT_EQ(c.protocolBehaviorMask(), QMProtocolBehaviorDevice);
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(4), &c);
    EXPECT_EQ(QMHardwareCommunicator::classNamed(QStringLiteral("QMDMXArtnetHardwareCommunicator")),
              &QMDMXArtnetHardwareCommunicator::artnetClass());
}

TEST(QMDMXArtnetHardwareCommunicator, SavedElementRoundTripsAndForeignElementsKeepDefaults)
{
    auto empty = std::static_pointer_cast<QMDMXArtnetHardwareCommunicator>(
        QMDMXArtnetHardwareCommunicator::artnetClass().create());
    EXPECT_EQ(empty->universeNum(), -1);
    EXPECT_EQ(platform::writeXml(*empty->serializedConnectionProperties(), {false, 0, false}),
              QByteArray("<QMDMXArtnetHardwareCommunicator interface=\"\" universe=\"-1\" subnet=\"-1\" net=\"-1\"/>"));
    empty->updatePortNumber(); // numbers left unset are saved as 0 from now on
    EXPECT_EQ(platform::writeXml(*empty->serializedConnectionProperties(), {false, 0, false}),
              QByteArray("<QMDMXArtnetHardwareCommunicator interface=\"\" universe=\"0\" subnet=\"0\" net=\"0\"/>"));

    const platform::XmlElement saved = platform::parseXml(
        "<QMDMXArtnetHardwareCommunicator interface=\"eth7\" universe=\"2\" subnet=\"1\" net=\"0\"/>");
    auto read = std::static_pointer_cast<QMDMXArtnetHardwareCommunicator>(QMDMXArtnetHardwareCommunicator::fromXML(saved));
    EXPECT_EQ(read->interfaceString(), QStringLiteral("eth7"));
    EXPECT_EQ(read->displayName(), QStringLiteral("eth7"));
    EXPECT_EQ(read->universeNum(), 2);
    EXPECT_EQ(read->subnetNum(), 1);
    EXPECT_EQ(read->netNum(), 0);
    EXPECT_EQ(*read->serializedConnectionProperties(), saved);
    EXPECT_FALSE(read->isActive());
    read->updatePortNumber();
    EXPECT_EQ(read->portNumber(), 18);

    auto partial = std::static_pointer_cast<QMDMXArtnetHardwareCommunicator>(QMDMXArtnetHardwareCommunicator::fromXML(
        platform::parseXml("<QMDMXArtnetHardwareCommunicator universe=\"3\"/>")));
    EXPECT_EQ(partial->universeNum(), 3);
    EXPECT_EQ(partial->subnetNum(), -1);
    EXPECT_TRUE(partial->interfaceString().isNull());

    auto foreign = std::static_pointer_cast<QMDMXArtnetHardwareCommunicator>(QMDMXArtnetHardwareCommunicator::fromXML(
        platform::parseXml("<QMUDPNetworkHardwareCommunicator interface=\"eth7\" universe=\"2\"/>")));
    EXPECT_EQ(foreign->universeNum(), -1);
    EXPECT_TRUE(foreign->interfaceString().isNull());

    // Through the module controller, as the device list reads it.
    QMRegisterDMXClasses();
    QMCommunicationModuleController controller;
    const auto parser = controller.activateParserForXML(platform::parseXml(
        "<QMProtocolParserDMX behavior=\"4\"><QMDMXArtnetHardwareCommunicator interface=\"eth7\" universe=\"2\" subnet=\"1\" net=\"0\"/></QMProtocolParserDMX>"));
    ASSERT_TRUE(parser);
    EXPECT_EQ(platform::writeXml(parser->serializedParser(), {false, 0, false}),
              QByteArray("<QMProtocolParserDMX behavior=\"4\"><QMDMXArtnetHardwareCommunicator interface=\"eth7\" universe=\"2\" subnet=\"1\" net=\"0\"/></QMProtocolParserDMX>"));
    EXPECT_EQ(parser->hardwareCommunicator()->communicatorType(), 3u);
}

TEST(QMDMXArtnetHardwareCommunicator, OffersBroadcastInterfacesAndKeepsTheSetupState)
{
    const std::uint32_t up = FWNNetworkInterface::kFlagUp;
    const std::uint32_t bcast = FWNNetworkInterface::kFlagBroadcast;
    FakeInterfaces fake(FWNNetworkInterfaceManager::Entries{
        entry("eth7", up | bcast, "10.1.0.5", "10.1.255.255"),
        entry("eth7", up | bcast, "10.2.0.5", "10.2.255.255"),
        entry("wlan3", bcast, "192.168.1.4", "192.168.1.255"), // down
        entry("lo", up | FWNNetworkInterface::kFlagLoopback, "127.0.0.1"),
        entry("ppp0", up | bcast, "172.16.0.1"),
    });
    const QList<QVariantMap> offered = QMDMXArtnetHardwareCommunicator::artnetClass().availableInterfaces();
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(offered[0].value(QLatin1String(QMHardwareInterfaceUniqueIdentifier)), QStringLiteral("eth7"));
    EXPECT_EQ(offered[0].value(QLatin1String(QMHardwareInterfaceDisplayName)), QStringLiteral("eth7"));
    EXPECT_EQ(offered[0].value(QLatin1String(QMHardwareInterfaceType)).toUInt(), 2u);
    EXPECT_EQ(offered[1].value(QLatin1String(QMHardwareInterfaceUniqueIdentifier)), QStringLiteral("ppp0"));
    EXPECT_EQ(QMDMXArtnetHardwareCommunicator::artnetClass().hardwareTypeName(), QStringLiteral("Art-Net"));
    EXPECT_EQ(QMDMXArtnetHardwareCommunicator::artnetClass().setupViewNibName(), QStringLiteral("QMDMXArtnetConfiguration"));

    QMDMXArtnetHardwareCommunicator c;
    c.prepareSetup(); // nothing chosen: the first interface
    auto state = c.setupState();
    // The sheet offers every interface, so a saved loopback or down one is shown as it is.
    EXPECT_EQ(state.interfaceItems, (QStringList{QStringLiteral("eth7"), QStringLiteral("wlan3"), QStringLiteral("lo"), QStringLiteral("ppp0")}));
    EXPECT_EQ(state.selectedInterface, QStringLiteral("eth7"));
    EXPECT_EQ(state.addressField, QStringLiteral("10.2.255.255")); // of its last configuration
    EXPECT_EQ(state.portField, QStringLiteral("0"));
    EXPECT_EQ(c.interfaceString(), QStringLiteral("eth7"));
    c.universeAction(2);
    c.subnetAction(1);
    c.netAction(1);
    state = c.setupState();
    EXPECT_EQ(state.portField, QStringLiteral("274"));
    EXPECT_EQ(state.universe, 2);
    EXPECT_EQ(state.netField, QStringLiteral("1"));
    c.interfaceMenuItemAction(QStringLiteral("ppp0"));
    EXPECT_EQ(c.setupState().addressField, QStringLiteral("?"));
    c.interfaceMenuItemAction(QStringLiteral("gone0")); // stops after taking the name
    EXPECT_EQ(c.interfaceString(), QStringLiteral("gone0"));
    EXPECT_EQ(c.setupState().selectedInterface, QStringLiteral("ppp0"));

    // Without a view layer there is no view.
    platform::LogCapture log;
    EXPECT_EQ(c.setupView(), nullptr);
    EXPECT_TRUE(log.contains("failed to load configuration nib"));
}

TEST(QMDMXArtnetHardwareCommunicator, InactiveSendsNothingAndTheBaseOnlyComplains)
{
    platform::LogCapture log;
    QMDMXHardwareCommunicator base;
    base.sendDMXData(QByteArray(4, '\0'));
    EXPECT_TRUE(log.contains("-[QMDMXHardwareCommunicator sendDMXData:] needs to be implemented"));
    DMXDevice device;
    EXPECT_EQ(device.communicator->activeStateLabel(), QStringLiteral("Not Connected"));
    device.parser->sendProtocolCommand({{QLatin1String(QMProtocolCommandDMXChannel), 0}, {QLatin1String(QMProtocolCommandDMXValue), 255}});
    EXPECT_FALSE(device.communicator->isActive());
}
