// "commModuleDevices.xml": exact bytes, reading back, reconnecting one device after another,
// removal, and files that cannot be read.
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "platform/foundation/Log.h"
#include "tests/comm/core/interpreter/InterpreterRig.h"
#include "tests/support/WaitUntil.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// Serial, TCP and UDP devices as the module writes them.
const QByteArray kThreeLinks = R"(<?xml version="1.0" encoding="UTF-8"?>
<devices>
    <device deviceLabel="Edit room" deviceID="6F1C2E3A-0B4D-4E5F-8A9B-0C1D2E3F4A5B" reconnect="0" klvChannel="2">
        <QMProtocolParserRoutingTest behavior="4">
            <QMSerialHardwareCommunicator interface="/dev/ttyUSB0" speed="38400" dataBits="8" parity="1" stopBits="1" hfcInput="0" hfcOutput="0"/>
        </QMProtocolParserRoutingTest>
    </device>
    <device deviceLabel="Automation" deviceID="11111111-2222-3333-4444-555555555555" reconnect="0" klvChannel="0">
        <QMProtocolParserRoutingTest behavior="4">
            <QMTCPNetworkHardwareCommunicator interface="lo" port="50103" mode="2"/>
        </QMProtocolParserRoutingTest>
    </device>
    <device deviceLabel="Switcher &amp; &quot;mixer&quot;" deviceID="AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE" reconnect="0" klvChannel="4">
        <QMProtocolParserRoutingTest behavior="1">
            <QMUDPNetworkHardwareCommunicator port="9000" address="127.0.0.1" mode="1"/>
        </QMProtocolParserRoutingTest>
    </device>
</devices>
)";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A device file with this body, read by a new manager on its first event-loop turn.
void loadRig(InterpreterRig& rig, const QByteArray& bytes)
{
    writeAll(rig.manager->devicesFilePath(), bytes);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.manager->hasDeserialized(); }));
}

QByteArray deviceElement(const char* attributes, const char* name)
{
    return QByteArray("    <device ") + attributes + ">\n        <QMProtocolParserRoutingTest behavior=\"4\">\n            <QMTestLinkCommunicator name=\"" + name +
           "\"/>\n        </QMProtocolParserRoutingTest>\n    </device>\n";
}

QByteArray devicesFile(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<devices>\n" + body + "</devices>\n";
}

std::shared_ptr<TestLinkCommunicator> link(QMCommModuleConnectionWrapper* w)
{
    return std::dynamic_pointer_cast<TestLinkCommunicator>(w->parser()->hardwareCommunicator());
}

} // namespace

TEST(DeviceFile, SerialTcpAndUdpDevicesRoundTripByteForByte)
{
    InterpreterRig rig;
    loadRig(rig, kThreeLinks);
    const auto devices = rig.manager->connectionWrappersArrayController().arrangedObjects();
    ASSERT_EQ(devices.size(), 3);
    EXPECT_EQ(devices[0]->deviceLabel(), QStringLiteral("Edit room"));
    EXPECT_EQ(devices[0]->klvChannelIndex(), 2);
    EXPECT_EQ(devices[0]->deviceProtocol(), QString());
    EXPECT_EQ(devices[2]->deviceLabel(), QStringLiteral("Switcher & \"mixer\""));
    EXPECT_EQ(devices[1]->parser()->behavior(), 4u);
    EXPECT_EQ(rig.manager->findWrapperWithID(QStringLiteral("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE")), devices[2]);
    EXPECT_EQ(rig.manager->findWrapperWithParser(devices[1]->parser().get()), devices[1]);
    ASSERT_TRUE(rig.manager->serializeDevices());
    EXPECT_EQ(readAll(rig.manager->devicesFilePath()).toStdString(), kThreeLinks.toStdString());

    // A device saved for channel 2 routes every command there after a restart.
    rig.send(*devices[0]->parser(), "QMApplicationCommandTransportPlay", {{QStringLiteral("QMApplicationCommandPortNumber"), 3}});
    EXPECT_EQ(rig.app.channel(2).movie.calls, QStringList{"play"});
}

TEST(DeviceFile, MarkedDevicesReconnectOneAfterAnother)
{
    InterpreterRig rig;
    const auto start = std::chrono::steady_clock::now();
    loadRig(rig, devicesFile(deviceElement(R"(deviceLabel="A" deviceID="A" reconnect="1" klvChannel="0")", "first") +
                             deviceElement(R"(deviceLabel="B" deviceID="B" reconnect="0" klvChannel="0")", "second") +
                             deviceElement(R"(deviceLabel="C" deviceID="C" reconnect="1" klvChannel="0")", "third")));
    const auto devices = rig.manager->connectionWrappersArrayController().arrangedObjects();
    ASSERT_EQ(devices.size(), 3);
    const auto first = link(devices[0]), second = link(devices[1]), third = link(devices[2]);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->name, QStringLiteral("first"));
    EXPECT_EQ(first->activations.load(), 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return third->activations.load() == 1; }));
    EXPECT_TRUE(devices[0]->isConnected());
    EXPECT_TRUE(devices[2]->isConnected());
    EXPECT_FALSE(devices[1]->isConnected());
    EXPECT_EQ(second->activations.load(), 0);
    // Lower bounds only: a loaded machine may be late, never early.
    using std::chrono::milliseconds;
    EXPECT_GE(first->activatedAt - start, milliseconds(950));
    EXPECT_GE(third->activatedAt - start, milliseconds(1950));
    EXPECT_GE(third->activatedAt - first->activatedAt, milliseconds(900));
    EXPECT_EQ(devices[0]->connectButtonIcon(), QStringLiteral("user-available"));
}

TEST(DeviceFile, RemovingADeviceDisconnectsItAndRewritesTheFile)
{
    InterpreterRig rig;
    loadRig(rig, devicesFile(deviceElement(R"(deviceLabel="A" deviceID="A" reconnect="0" klvChannel="1")", "kept") +
                             deviceElement(R"(deviceLabel="B" deviceID="B" reconnect="0" klvChannel="3")", "removed")));
    auto* removed = rig.manager->connectionWrappersArrayController().at(1);
    const auto communicator = link(removed);
    removed->connectAction();
    ASSERT_TRUE(communicator->isActive());
    rig.manager->connectionWrappersArrayController().setSelectionIndexes({0, 1});
    EXPECT_EQ(rig.manager->selectedConnectionWrapper(), removed);
    rig.manager->removeDevice(removed);
    EXPECT_FALSE(communicator->isActive());
    EXPECT_EQ(rig.manager->connectionWrappersArrayController().rowCount(), 1);
    EXPECT_EQ(rig.manager->selectedConnectionWrapper(), rig.manager->connectionWrappersArrayController().at(0));
    EXPECT_EQ(readAll(rig.manager->devicesFilePath()), devicesFile(deviceElement(R"(deviceLabel="A" deviceID="A" reconnect="0" klvChannel="1")", "kept")));
}

TEST(DeviceFile, ARemovedDeviceNeverReconnects)
{
    InterpreterRig rig;
    loadRig(rig, devicesFile(deviceElement(R"(deviceLabel="A" deviceID="A" reconnect="1" klvChannel="0")", "gone")));
    const auto communicator = link(rig.manager->connectionWrappersArrayController().at(0));
    rig.manager->removeDevice(rig.manager->connectionWrappersArrayController().at(0));
    testsupport::pumpEvents(1300);
    EXPECT_EQ(communicator->activations.load(), 0);
}

TEST(DeviceFile, MissingIdentitiesSkippedNodesAndUnknownParsers)
{
    InterpreterRig rig;
    platform::LogCapture capture;
    const QByteArray twoChildren = "    <device deviceLabel=\"Two\" deviceID=\"X\"><a/><b/></device>\n";
    const QByteArray unknown = "    <device deviceLabel=\"U\" deviceID=\"U\"><QMProtocolParserNobody behavior=\"1\"/></device>\n";
    loadRig(rig, devicesFile(deviceElement(R"(deviceLabel="No id" reconnect="0")", "n") + twoChildren + unknown));
    const auto devices = rig.manager->connectionWrappersArrayController().arrangedObjects();
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0]->deviceID().size(), 36);
    EXPECT_EQ(devices[0]->klvChannelIndex(), 0);
    EXPECT_TRUE(capture.contains("failed to activate parser from xml: <QMProtocolParserNobody behavior=\"1\"/>"));
    ASSERT_TRUE(rig.manager->serializeDevices());
    EXPECT_TRUE(readAll(rig.manager->devicesFilePath()).contains("deviceID=\"" + devices[0]->deviceID().toUtf8() + "\""));
}

TEST(DeviceFile, UnreadableFilesAreKeptAsideAndTheListStartsEmpty)
{
    for (const QByteArray& contents : {QByteArray(), QByteArray("not xml at all"), QByteArray("<devices><device>")}) {
        InterpreterRig rig;
        platform::LogCapture capture;
        loadRig(rig, contents);
        EXPECT_EQ(rig.manager->connectionWrappersArrayController().rowCount(), 0);
        EXPECT_EQ(readAll(rig.manager->devicesFilePath() + QStringLiteral(".unreadable")), contents);
        EXPECT_TRUE(capture.contains("kept as"));
        ASSERT_TRUE(rig.manager->serializeDevices());
        EXPECT_EQ(readAll(rig.manager->devicesFilePath()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<devices/>\n");
    }
}

TEST(DeviceFile, AddingADeviceNeedsAParser)
{
    InterpreterRig rig;
    const UnmakeableParserClass unmakeable;
    EXPECT_EQ(rig.manager->addDevice(unmakeable), nullptr);
    EXPECT_EQ(rig.manager->connectionWrappersArrayController().rowCount(), 0);
    EXPECT_FALSE(QFile::exists(rig.manager->devicesFilePath()));

    QMCommModuleConnectionWrapper* asked = nullptr;
    QObject::connect(rig.manager.get(), &QMCommModuleConnectionManager::configureDeviceRequested, [&](QMCommModuleConnectionWrapper* w) { asked = w; });
    QMCommModuleConnectionWrapper* added = rig.manager->addDevice(RoutingTestParser::theClass());
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(added->reconnect());
    EXPECT_FALSE(added->isConfigured());
    EXPECT_EQ(asked, nullptr);
    EXPECT_TRUE(testsupport::waitUntil([&] { return asked == added; }));
    EXPECT_TRUE(readAll(rig.manager->devicesFilePath()).contains("reconnect=\"1\""));
}
