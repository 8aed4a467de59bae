// Devices set up the way an operator does it: from the preferences window's add pop-up through
// the configuration sheet and the link's setup view, then checked where it matters: the socket
// the kernel lists, the serial line's terminal settings, the saved device file, and the list again
// after the file is read back by a new start.
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "comm/showcontrol/dmx/QMDMXModule.h"
#include "comm/showcontrol/dmx/QMProtocolParserDMX.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/serial/SerialPortDiscovery.h"
#include "tests/support/BoundSockets.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/ui/support/DeviceListRig.h"
#include "tests/ui/widgets/prefs/SheetDriving.h"
#include "ui/logic/prefs/KLVDeviceConfiguration.h"
#include "ui/logic/prefs/KLVDeviceListText.h"
#include "ui/widgets/comm/dmx/QMDMXArtnetConfigurationView.h"
#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"
#include "ui/widgets/prefs/KLVDeviceListDelegate.h"
#include "ui/widgets/prefs/KLVGeneralPreferencesPane.h"
#include "ui/widgets/prefs/KLVNetworkSetupView.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"
#include "ui/widgets/prefs/KLVSerialSetupView.h"
#include "ui/widgets/prefs/KLVSetupViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <termios.h>

using namespace prefstest;

namespace {

QList<const QMProtocolParserClass*> deckParsers()
{
    KLVSetupViews::install();
    QMProtocolParserAMP::registerParserClass();
    QMProtocolParserSonyBVW::registerParserClass();
    QMProtocolParserVDCP::registerParserClass();
    QMRegisterDMXClasses();
    return {&QMProtocolParserAMP::parserClassObject(), &QMProtocolParserSonyBVW::parserClassObject(),
            &QMProtocolParserVDCP::parserClassObject()};
}

// The device list and its window, as the Preferences command shows them.
struct WindowRig : testsupport::DeviceListRig {
    WindowRig() : DeviceListRig(deckParsers()) { openWindow(); }

    void openWindow()
    {
        window = std::make_unique<KLVPreferencesController>(*manager, controller);
        window->show();
    }

    // Picks the protocol in the add pop-up; the new device's sheet opens by itself.
    KLVDeviceConfigSheet* addDevice(const QString& protocol)
    {
        QComboBox* popup = window->addPopupButton();
        const int item = popup->findText(protocol);
        EXPECT_GT(item, 0) << protocol.toStdString();
        popup->setCurrentIndex(item);
        emit popup->activated(item);
        EXPECT_TRUE(testsupport::waitUntil([&] { return window->openSheet() != nullptr; }));
        return window->openSheet();
    }

    QMCommModuleConnectionWrapper* device(int row) const { return manager->connectionWrappersArrayController().at(row); }

    // What a new start of the program does with the saved file.
    void restart()
    {
        window.reset();
        manager.reset();
        manager = freshManager();
        openWindow();
    }

    std::unique_ptr<KLVPreferencesController> window;
};

// Lists a pseudo-terminal as the machine's one serial port while it lives.
struct PseudoTerminalPort {
    PseudoTerminalPort()
    {
        const QString path = line.slavePath();
        platform::serial::setSerialPortProvider([path] {
            return QList<platform::serial::SerialPortEntry>{{path, QStringLiteral("pty")}};
        });
    }
    ~PseudoTerminalPort() { platform::serial::setSerialPortProvider(nullptr); }
    testsupport::PseudoTerminal line;
};

// A pseudo-terminal keeps speed and stop bits as set, but the kernel holds it at 8 data bits
// without parity whatever is asked: those two are checked on the communicator and in the file.
void setLine(int fd, speed_t speed, bool twoStopBits)
{
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag = twoStopBits ? (t.c_cflag | CSTOPB) : (t.c_cflag & ~tcflag_t(CSTOPB));
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
}

struct LineSettings {
    speed_t speed;
    bool twoStopBits;
};

LineSettings lineSettings(int fd)
{
    termios t{};
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    return {cfgetospeed(&t), (t.c_cflag & CSTOPB) != 0};
}

} // namespace

TEST(DeviceSheets, VdcpSetToListenOnLoopbackListensThereAndNowhereElseAndAgainAfterARestart)
{
    WindowRig rig;
    const std::uint16_t port = testsupport::freeTcpPort();
    ASSERT_NE(port, 0);
    KLVDeviceConfigSheet* sheet = rig.addDevice(QStringLiteral("VDCP"));
    ASSERT_NE(sheet, nullptr);
    auto* view = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    // VDCP only listens: the mode is chosen and cannot be changed; the protocol's port is offered.
    EXPECT_EQ(view->modePopup()->currentData().toLongLong(), QMSocketModeListen);
    EXPECT_FALSE(view->modePopup()->isEnabled());
    EXPECT_EQ(view->portField()->text(), QStringLiteral("50103"));
    EXPECT_FALSE(view->addressField()->isEnabled());
    EXPECT_EQ(view->interfacePopup()->itemText(0), QStringLiteral("Any"));

    typeInto(sheet->labelField(), QStringLiteral("Automation"));
    choose(view->interfacePopup(), QStringLiteral("lo"));
    EXPECT_TRUE(view->interfacePopup()->currentText().endsWith(QStringLiteral("(lo)")));
    typeInto(view->portField(), QString::number(port));
    tick(sheet->reconnectButton());
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->messageLabel()->isHidden()) << sheet->messageLabel()->text().toStdString();

    ASSERT_TRUE(testsupport::waitUntil([&] { return !testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port).isEmpty(); }));
    EXPECT_EQ(testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port), QStringList{"127.0.0.1"});
    QMCommModuleConnectionWrapper* device = rig.device(0);
    EXPECT_EQ(KLVDeviceListText::detail(*device), QStringLiteral("VDCP · Network (TCP) · lo:%1 · Listening").arg(port));
    EXPECT_TRUE(qobject_cast<KLVDeviceListDelegate*>(rig.window->deviceList()->itemDelegate()));

    QTcpSocket automation;
    automation.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(automation.waitForConnected(5000));
    EXPECT_TRUE(testsupport::waitUntil([&] { return KLVDeviceListText::detail(*device).endsWith(QStringLiteral(" · Connected")); }));
    automation.abort();

    const QByteArray file = rig.deviceFile();
    EXPECT_TRUE(file.contains("deviceLabel=\"Automation\"")) << file.toStdString();
    EXPECT_TRUE(file.contains("reconnect=\"1\"")) << file.toStdString();
    EXPECT_TRUE(file.contains(QStringLiteral("<QMTCPNetworkHardwareCommunicator interface=\"lo\" port=\"%1\" mode=\"2\"/>")
                                  .arg(port).toUtf8()))
        << file.toStdString();

    rig.restart();
    ASSERT_EQ(rig.manager->connectionWrappersArrayController().rowCount(), 1);
    EXPECT_TRUE(testsupport::waitUntil([&] { return rig.device(0)->isConnected(); }));
    EXPECT_EQ(testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port), QStringList{"127.0.0.1"});
    EXPECT_EQ(KLVDeviceListText::title(*rig.device(0)), QStringLiteral("Automation"));
}

TEST(DeviceSheets, NinePinOnASerialLineOpensItWithTheSheetsSettingsAndReopensWhenTheyChange)
{
    PseudoTerminalPort port;
    ASSERT_TRUE(port.line.isValid());
    WindowRig rig;
    KLVDeviceConfigSheet* sheet = rig.addDevice(QStringLiteral("Sony BVW"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->hardwarePopup()->currentText(), QStringLiteral("Serial"));
    auto* view = qobject_cast<KLVSerialSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    // The deck protocol's own line settings are offered: 38400 8O1, no flow control.
    EXPECT_EQ(view->speedPopup()->currentText(), QStringLiteral("38400"));
    EXPECT_EQ(view->dataBitsPopup()->currentText(), QStringLiteral("8"));
    EXPECT_EQ(view->parityPopup()->currentText(), QStringLiteral("Odd"));
    EXPECT_EQ(view->stopBitsPopup()->currentText(), QStringLiteral("1"));
    EXPECT_EQ(view->hfcInputPopup()->currentText(), QStringLiteral("None"));
    ASSERT_EQ(view->interfacePopup()->count(), 1);
    EXPECT_EQ(view->interfacePopup()->itemText(0), QStringLiteral("pty (%1)").arg(port.line.slavePath()));

    // Without a port the sheet says so and saves nothing.
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->messageLabel()->isHidden());
    EXPECT_FALSE(rig.deviceFile().contains("QMSerialHardwareCommunicator"));

    // The line starts elsewhere, so what the device opens it with shows.
    setLine(port.line.slaveFd(), B9600, true);
    choose(view->interfacePopup(), port.line.slavePath());
    choose(view->speedPopup(), 38400);
    choose(view->dataBitsPopup(), 8);
    choose(view->parityPopup(), 1);
    choose(view->stopBitsPopup(), 1);
    tick(sheet->reconnectButton());
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    QMCommModuleConnectionWrapper* device = rig.device(0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return device->isConnected(); }));
    LineSettings line = lineSettings(port.line.slaveFd());
    EXPECT_EQ(line.speed, speed_t(B38400));
    EXPECT_FALSE(line.twoStopBits);
    const auto communicator = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(device->parser()->hardwareCommunicator());
    ASSERT_TRUE(communicator);
    EXPECT_EQ(communicator->dataBits(), 8);
    EXPECT_EQ(communicator->parity(), 1);
    EXPECT_EQ(KLVDeviceListText::detail(*device),
              QStringLiteral("Sony BVW · Serial · pty · Connected"));
    EXPECT_TRUE(rig.deviceFile().contains(QStringLiteral("<QMSerialHardwareCommunicator interface=\"%1\" speed=\"38400\" "
                                                         "dataBits=\"8\" parity=\"1\" stopBits=\"1\"")
                                              .arg(port.line.slavePath()).toUtf8()))
        << rig.deviceFile().toStdString();

    // Changing the settings of a connected line reopens it with them on Save.
    sheet = rig.window->configureAction(device);
    view = qobject_cast<KLVSerialSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    choose(view->speedPopup(), 9600);
    choose(view->dataBitsPopup(), 7);
    choose(view->parityPopup(), 2);
    choose(view->stopBitsPopup(), 2);
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(device->isConnected());
    line = lineSettings(port.line.slaveFd());
    EXPECT_EQ(line.speed, speed_t(B9600));
    EXPECT_TRUE(line.twoStopBits);
    EXPECT_TRUE(rig.deviceFile().contains("speed=\"9600\" dataBits=\"7\" parity=\"2\" stopBits=\"2\""));

    rig.restart();
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.device(0) && rig.device(0)->isConnected(); }));
    EXPECT_EQ(lineSettings(port.line.slaveFd()).speed, speed_t(B9600));
}

TEST(DeviceSheets, AmpOnUdpNeedsAModeAndListensWithItArtNetKeepsItsUniverse)
{
    WindowRig rig;
    const std::uint16_t port = testsupport::freeUdpPort();
    ASSERT_NE(port, 0);
    KLVDeviceConfigSheet* sheet = rig.addDevice(QStringLiteral("AMP"));
    ASSERT_NE(sheet, nullptr);
    choose(sheet->hardwarePopup(), QStringLiteral("Network (UDP)"), Qt::DisplayRole);
    auto* view = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->modePopup()->count(), 2); // connect and listen
    EXPECT_EQ(view->modePopup()->currentIndex(), -1);
    EXPECT_FALSE(view->goButton()->isEnabled());

    // No mode, no device: the sheet says so instead of saving one that could never open.
    tick(sheet->reconnectButton());
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->messageLabel()->text().contains(QStringLiteral("mode")));
    EXPECT_FALSE(rig.deviceFile().contains("QMUDPNetworkHardwareCommunicator"));

    // Sending modes use any interface; listening binds where the user says.
    choose(view->modePopup(), qint64(QMSocketModeConnect));
    EXPECT_FALSE(view->interfacePopup()->isEnabled());
    choose(view->modePopup(), qint64(QMSocketModeListen));
    EXPECT_TRUE(view->interfacePopup()->isEnabled());
    choose(view->interfacePopup(), QStringLiteral("lo"));
    typeInto(view->portField(), QString::number(port));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.device(0)->isConnected(); }));
    EXPECT_EQ(testsupport::boundAddresses(testsupport::SocketKind::Udp, port), QStringList{"127.0.0.1"});
    EXPECT_TRUE(rig.deviceFile().contains(QStringLiteral("<QMUDPNetworkHardwareCommunicator interface=\"lo\" port=\"%1\" mode=\"2\"/>")
                                              .arg(port).toUtf8()))
        << rig.deviceFile().toStdString();

    // Art-Net comes only from a saved list, but its sheet sets it up the same way.
    QMCommModuleConnectionWrapper* desk = rig.manager->addDevice(QMProtocolParserDMX::dmxClass());
    ASSERT_NE(desk, nullptr);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.window->openSheet() != nullptr
                                                    && &rig.window->openSheet()->configuration().wrapper() == desk; }));
    sheet = rig.window->openSheet();
    auto* artnet = qobject_cast<QMDMXArtnetConfigurationView*>(sheet->installedConfigView());
    ASSERT_NE(artnet, nullptr);
    choose(artnet->universePopup(), 2);
    choose(artnet->subnetPopup(), 1);
    EXPECT_TRUE(testsupport::waitUntil([&] { return artnet->portField()->text() == QStringLiteral("18"); }));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    const auto* communicator = dynamic_cast<QMDMXArtnetHardwareCommunicator*>(desk->parser()->hardwareCommunicator().get());
    ASSERT_NE(communicator, nullptr);
    EXPECT_EQ(communicator->universeNum(), 2);
    EXPECT_TRUE(rig.deviceFile().contains("universe=\"2\" subnet=\"1\"")) << rig.deviceFile().toStdString();

    rig.restart();
    const auto* restored = dynamic_cast<QMDMXArtnetHardwareCommunicator*>(rig.device(1)->parser()->hardwareCommunicator().get());
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->universeNum(), 2);
    EXPECT_EQ(restored->subnetNum(), 1);
    const auto* amp = dynamic_cast<QMUDPNetworkHardwareCommunicator*>(rig.device(0)->parser()->hardwareCommunicator().get());
    ASSERT_NE(amp, nullptr);
    EXPECT_EQ(amp->socketMode(), QMSocketModeListen);
}

TEST(PreferencesWindow, TheGeneralTabSwitchesReportingThroughTheUserDefaults)
{
    WindowRig rig;
    platform::UserDefaults& defaults = platform::UserDefaults::sharedDefaults();
    rig.window->toolbarAction(1);
    KLVGeneralPreferencesPane* pane = rig.window->generalPane();
    ASSERT_EQ(rig.window->mainTabView()->currentWidget(), pane);
    // Off until the user turns them on; each says what it sends and that nothing goes while off.
    EXPECT_FALSE(pane->errorReportingButton()->isChecked());
    EXPECT_FALSE(pane->analyticsReportingButton()->isChecked());
    int explained = 0;
    for (const QLabel* label : pane->findChildren<QLabel*>())
        explained += label->text().contains(QStringLiteral("Nothing is sent while this is off."));
    EXPECT_EQ(explained, 2);

    QTest::mouseClick(pane->errorReportingButton(), Qt::LeftButton);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("enableErrorReporting")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("enableAnalyticsReporting")));
    QTest::mouseClick(pane->errorReportingButton(), Qt::LeftButton);
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("enableErrorReporting")));

    // A change made elsewhere shows at once.
    defaults.setBool(true, QStringLiteral("enableAnalyticsReporting"));
    EXPECT_TRUE(testsupport::waitUntil([&] { return pane->analyticsReportingButton()->isChecked(); }));
    defaults.synchronize();
    rig.restart();
    EXPECT_TRUE(rig.window->generalPane()->analyticsReportingButton()->isChecked());
    EXPECT_FALSE(rig.window->generalPane()->errorReportingButton()->isChecked());
}
