// The configuration sheet's logic over real parsers and links: the choices a new device starts
// with, replacing a link (its port is let go), settings that are refused, a port that is taken,
// and the device file written and read back.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/DeviceListRig.h"
#include "ui/logic/prefs/KLVAddDeviceItems.h"
#include "ui/logic/prefs/KLVDeviceChannelNames.h"
#include "ui/logic/prefs/KLVDeviceConfiguration.h"
#include "ui/logic/prefs/KLVParamConfig.h"

#include <QFile>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

struct Rig : testsupport::DeviceListRig {
    Rig()
        : DeviceListRig((QMProtocolParserVDCP::registerParserClass(),
                         QList<const QMProtocolParserClass*>{&QMProtocolParserVDCP::parserClassObject(),
                                                             &QMProtocolParserRossTalk::rossTalkClass()}))
    {
    }
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

TEST(DeviceChannelNames, LabelsAreToldApartAndMissingOnesNamed)
{
    using KLVDeviceChannelNames::channelNamesForLabels;
    EXPECT_EQ(channelNamesForLabels({"Cam", "Cam", "Camera 2", ""}),
              (QStringList{"Multi Channel", "Cam", "Cam (2)", "Camera 2", "Channel 4"}));
    // A label that an earlier, longer one begins with is suffixed; one that begins with an
    // earlier label keeps its text.
    EXPECT_EQ(channelNamesForLabels({"Studio A", "Studio", "Studio A B", "Multi"}),
              (QStringList{"Multi Channel", "Studio A", "Studio (2)", "Studio A B", "Multi (2)"}));
    EXPECT_EQ(channelNamesForLabels({}).size(), 5);

    testsupport::TempFolder home;
    platform::UserDefaults::sharedDefaults().setObject(QStringLiteral("Playout"), QStringLiteral("KLVChannelLabel2"));
    EXPECT_EQ(KLVDeviceChannelNames::channelNames(),
              (QStringList{"Multi Channel", "Channel 1", "Playout", "Channel 3", "Channel 4"}));
    platform::UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("KLVChannelLabel2"));
}

TEST(DeviceConfiguration, NewVdcpDeviceStartsOnTcpAsADeviceOnItsPortAndKeepsItsLinkOnTheSameChoice)
{
    Rig rig;
    const auto items = KLVAddDeviceItems::itemsForParsers(*rig.controller.availableParsers());
    ASSERT_EQ(items.size(), 1); // RossTalk only arrives with a saved list
    EXPECT_EQ(items[0].title, QStringLiteral("VDCP"));

    QMCommModuleConnectionWrapper* device = rig.manager->addDevice(*items[0].parserClass);
    ASSERT_NE(device, nullptr);
    KLVDeviceConfiguration config(*device, *rig.manager);
    config.open();
    ASSERT_EQ(config.selectedHardware(), 0);
    EXPECT_EQ(config.hardwareItems()[0].communicatorClass, &QMTCPNetworkHardwareCommunicator::tcpClass());
    ASSERT_EQ(config.behaviorItems().size(), 1);
    EXPECT_EQ(config.behaviorItems()[0].tag, KLVDeviceConfiguration::kBehaviorDevice);
    EXPECT_EQ(config.selectedBehavior(), 0);
    auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(config.communicator());
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->portNum(), 50103u);
    EXPECT_EQ(tcp->socketMode(), QMSocketModeListen);
    EXPECT_EQ(device->parser()->behavior(), 4u);

    // The same choice again keeps the link and what was set on it.
    tcp->setPortNum(4242);
    config.chooseHardware(0);
    config.chooseBehavior(0);
    EXPECT_EQ(config.communicator(), tcp);
    EXPECT_EQ(tcp->portNum(), 4242u);
}

TEST(DeviceConfiguration, ReplacedLinkLetsGoOfItsPortAndRefusedSettingsAreNeverSaved)
{
    Rig rig;
    QMCommModuleConnectionWrapper* device = rig.manager->addDevice(QMProtocolParserVDCP::parserClassObject());
    ASSERT_NE(device, nullptr);
    KLVDeviceConfiguration config(*device, *rig.manager);
    config.open();
    auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(config.communicator());
    ASSERT_TRUE(tcp);
    tcp->setInterfaceString(QStringLiteral("lo"));
    const quint16 port = freePort();
    tcp->setPortNum(port);
    tcp->activate();
    ASSERT_TRUE(tcp->isActive());

    config.chooseHardware(1); // serial
    EXPECT_TRUE(std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(config.communicator()));
    EXPECT_FALSE(tcp->isActive());
    QTcpServer taker;
    EXPECT_TRUE(taker.listen(QHostAddress::LocalHost, port)) << "the replaced link still holds its port";
    taker.close();

    // Invalid settings: refused in the sheet, the file keeps what it had.
    const QByteArray before = rig.deviceFile();
    auto serialResult = config.save();
    EXPECT_FALSE(serialResult.saved);
    EXPECT_FALSE(serialResult.message.isEmpty()); // no serial port chosen
    config.chooseHardware(0);
    tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(config.communicator());
    ASSERT_TRUE(tcp);
    for (std::uint64_t bad : {std::uint64_t(0), std::uint64_t(70000)}) {
        tcp->setPortNum(bad);
        const auto result = config.save();
        EXPECT_FALSE(result.saved) << bad;
        EXPECT_TRUE(result.message.contains(QStringLiteral("65535"))) << result.message.toStdString();
    }
    tcp->setPortNum(port);
    tcp->actionMenuItemAction(QMSocketModeConnect);
    EXPECT_FALSE(config.save().saved); // connecting needs an address
    EXPECT_EQ(rig.deviceFile(), before);

    // A port someone else holds: saved, and said so instead of a silently idle device.
    tcp->actionMenuItemAction(QMSocketModeListen);
    tcp->setInterfaceString(QStringLiteral("lo"));
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, port));
    device->setReconnect(true);
    const auto taken = config.save();
    EXPECT_TRUE(taken.saved);
    EXPECT_FALSE(device->isConnected());
    EXPECT_TRUE(taken.message.contains(QString::number(port))) << taken.message.toStdString();
}

TEST(DeviceConfiguration, SavedListReadsBackInAFreshStart)
{
    Rig rig;
    QMCommModuleConnectionWrapper* device = rig.manager->addDevice(QMProtocolParserVDCP::parserClassObject());
    ASSERT_NE(device, nullptr);
    KLVDeviceConfiguration config(*device, *rig.manager);
    config.open();
    device->setDeviceLabel(QStringLiteral("Automation"));
    device->setKlvChannelIndex(3);
    device->setReconnect(false);
    ASSERT_TRUE(config.save().saved);
    const QByteArray written = rig.deviceFile();
    EXPECT_TRUE(written.contains("port=\"50103\"")) << written.toStdString();

    rig.manager.reset();
    rig.manager = rig.freshManager();
    const auto devices = rig.manager->connectionWrappersArrayController().arrangedObjects();
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0]->deviceLabel(), QStringLiteral("Automation"));
    EXPECT_EQ(devices[0]->klvChannelIndex(), 3);
    EXPECT_TRUE(rig.manager->serializeDevices());
    EXPECT_EQ(rig.deviceFile(), written);
}

TEST(ParamConfig, AcceptFillsEveryValueAndCancelGivesNothing)
{
    const QVariantMap descriptor{
        {QMProtocolCommandKeyDisplayName, QStringLiteral("Cue clip")},
        {QMProtocolCommandKeyParams,
         QVariantList{QVariantMap{{QMProtocolCommandKeyParamName, QStringLiteral("Clip")}},
                      QVariantMap{{QMProtocolCommandKeyParamName, QStringLiteral("Port")},
                                  {QMProtocolCommandKeyParamPossibleValues, QStringList{"A", "B"}}}}}};
    EXPECT_EQ(KLVParamConfig::title(descriptor), QStringLiteral("Cue clip"));
    const auto rows = KLVParamConfig::rows(descriptor);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].possibleValues.isEmpty());
    EXPECT_EQ(rows[1].possibleValues, (QStringList{"A", "B"}));

    EXPECT_FALSE(KLVParamConfig::result(descriptor, false, {"x", "A"}).has_value());
    const auto filled = KLVParamConfig::result(descriptor, true, {QString(), "B"});
    ASSERT_TRUE(filled.has_value());
    const QVariantList params = filled->value(QMProtocolCommandKeyParams).toList();
    ASSERT_EQ(params.size(), 2);
    const QVariant empty = params[0].toMap().value(QMProtocolCommandKeyParamValue);
    EXPECT_TRUE(empty.isValid());
    EXPECT_EQ(empty.toString(), QStringLiteral(""));
    EXPECT_EQ(params[1].toMap().value(QMProtocolCommandKeyParamValue).toString(), QStringLiteral("B"));
    EXPECT_EQ(params[1].toMap().value(QMProtocolCommandKeyParamName).toString(), QStringLiteral("Port"));
}
