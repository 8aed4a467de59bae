// Control devices as an operator sets them up: the sheets of the preferences window are driven
// here, in the test's process, and save the device file into the program's home; then the real
// program starts from that file and must listen, open its line and connect exactly as set.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/serial/SerialPortDiscovery.h"
#include "tests/comm/core/protocols/sonybvw/NinePinPeer.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/BoundSockets.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/widgets/prefs/SheetDriving.h"
#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"
#include "ui/widgets/prefs/KLVNetworkSetupView.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"
#include "ui/widgets/prefs/KLVSerialSetupView.h"
#include "ui/widgets/prefs/KLVSetupViews.h"

#include <QFile>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <termios.h>

using namespace e2e;
using namespace prefstest;

namespace {

QString dataFolder(KalvantoProcess& app)
{
    return app.home().filePath(QStringLiteral(".local/share/Quenmark/Kalvanto"));
}

// The preferences window over the program's device file, in this process.
struct Window {
    explicit Window(KalvantoProcess& app)
    {
        KLVSetupViews::install();
        QMProtocolParserVDCP::registerParserClass();
        QMProtocolParserSonyBVW::registerParserClass();
        platform::UserDefaults::setSharedFilePath(app.home().filePath(QStringLiteral("sheets.conf")));
        controller.startupWithAvailableParserClasses(
            {&QMProtocolParserSonyBVW::parserClassObject(), &QMProtocolParserVDCP::parserClassObject()});
        manager = std::make_unique<QMCommModuleConnectionManager>(dataFolder(app));
        manager->setCommModuleController(&controller);
        testsupport::pumpEvents(30);
        window = std::make_unique<KLVPreferencesController>(*manager, controller);
    }
    ~Window()
    {
        // Closing lets go of the port and the line before the program takes them.
        window.reset();
        manager.reset();
    }
    KLVDeviceConfigSheet* add(const QString& protocol)
    {
        const int item = window->addPopupButton()->findText(protocol);
        EXPECT_GT(item, 0);
        window->addPopupButton()->setCurrentIndex(item);
        emit window->addPopupButton()->activated(item);
        EXPECT_TRUE(testsupport::waitUntil([&] { return window->openSheet() != nullptr; }));
        return window->openSheet();
    }

    QMCommunicationModuleController controller;
    std::unique_ptr<QMCommModuleConnectionManager> manager;
    std::unique_ptr<KLVPreferencesController> window;
};

// A pseudo-terminal keeps speed and stop bits as set, but the kernel holds it at 8 data bits
// without parity whatever is asked; the line is set elsewhere first so the program's own
// settings show.
bool setLine(int fd, speed_t speed, bool twoStopBits)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag = twoStopBits ? (t.c_cflag | CSTOPB) : (t.c_cflag & ~tcflag_t(CSTOPB));
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

bool lineIs38400WithOneStopBit(int fd)
{
    termios t{};
    return ::tcgetattr(fd, &t) == 0 && cfgetospeed(&t) == B38400 && !(t.c_cflag & CSTOPB);
}

} // namespace

TEST(DevicesEndToEnd, DevicesSetUpInTheSheetsAreWhatTheProgramRunsAfterARestart)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::PseudoTerminal line;
    ASSERT_TRUE(line.isValid());
    const QString path = line.slavePath();
    platform::serial::setSerialPortProvider([path] {
        return QList<platform::serial::SerialPortEntry>{{path, QStringLiteral("pty")}};
    });
    const std::uint16_t port = testsupport::freeTcpPort();
    ASSERT_NE(port, 0);
    Scene setup;
    setup.channels = {{}};
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    KalvantoProcess app(setup);

    {
        Window prefs(app);
        KLVDeviceConfigSheet* sheet = prefs.add(QStringLiteral("VDCP"));
        ASSERT_NE(sheet, nullptr);
        auto* network = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
        ASSERT_NE(network, nullptr);
        choose(network->interfacePopup(), QStringLiteral("lo"));
        typeInto(network->portField(), QString::number(port));
        tick(sheet->reconnectButton());
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);

        sheet = prefs.add(QStringLiteral("Sony BVW"));
        ASSERT_NE(sheet, nullptr);
        auto* serial = qobject_cast<KLVSerialSetupView*>(sheet->installedConfigView());
        ASSERT_NE(serial, nullptr);
        choose(serial->interfacePopup(), path);
        choose(serial->speedPopup(), 38400);
        choose(serial->dataBitsPopup(), 8);
        choose(serial->parityPopup(), 1);
        choose(serial->stopBitsPopup(), 1);
        tick(sheet->reconnectButton());
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        ASSERT_EQ(prefs.manager->connectionWrappersArrayController().rowCount(), 2);
    }
    platform::serial::setSerialPortProvider(nullptr);
    QFile saved(dataFolder(app) + QStringLiteral("/commModuleDevices.xml"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray file = saved.readAll();
    ASSERT_TRUE(file.contains("QMProtocolParserVDCP") && file.contains("QMProtocolParserSonyBVW")) << file.toStdString();
    // Nothing of this process holds the port any more.
    EXPECT_TRUE(testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port).isEmpty());

    ASSERT_TRUE(setLine(line.slaveFd(), B9600, true));
    ASSERT_FALSE(lineIs38400WithOneStopBit(line.slaveFd()));
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return !testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port).isEmpty(); }, 30000))
        << app.output().right(3000).toStdString();
    // Listening on loopback only, as chosen: not on every interface.
    EXPECT_EQ(testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port), QStringList{"127.0.0.1"});
    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(port));
    EXPECT_NE(vdcp.ask(vdcppeer::frame(0x10, 0x00)).kind, vdcppeer::Reply::Malformed); // Stop: answered

    // The 9-pin line runs at what the sheet chose (38400 8O1; the file holds all of it), and the
    // deck answers on it.
    EXPECT_TRUE(file.contains("speed=\"38400\" dataBits=\"8\" parity=\"1\" stopBits=\"1\"")) << file.toStdString();
    ASSERT_TRUE(waitFor([&] { return lineIs38400WithOneStopBit(line.slaveFd()); }, 30000)) << app.output().right(3000).toStdString();
    bool answered = false;
    waitFor(
        [&] {
            line.readAvailable();
            line.write(ninepin::packet(0x00, 0x11)); // device type request
            const QByteArray reply = line.read(3, 1000);
            answered = reply.size() >= 2 && std::uint8_t(reply[0]) == 0x12 && std::uint8_t(reply[1]) == 0x11;
            return answered;
        },
        20000);
    EXPECT_TRUE(answered);
    EXPECT_EQ(app.terminate(), 0);
}

TEST(DevicesEndToEnd, ARelayUnitSavedAsTypeTenLoadsAndConnects)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QTcpServer unit;
    ASSERT_TRUE(unit.listen(QHostAddress::LocalHost, 0));
    Scene setup;
    setup.channels = {{}};
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    setup.devices << QStringLiteral(
                         "  <device deviceLabel=\"Relays\" deviceID=\"00000000-0000-0000-0000-0000000000b1\" reconnect=\"1\" klvChannel=\"0\">\n"
                         "    <QMProtocolParserITach behavior=\"1\">\n"
                         "      <QMTCPNetworkHardwareCommunicator port=\"%1\" address=\"127.0.0.1\" mode=\"1\"/>\n"
                         "    </QMProtocolParserITach>\n  </device>\n")
                         .arg(unit.serverPort());
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    EXPECT_TRUE(testsupport::waitUntil([&] { return unit.hasPendingConnections(); }, 30000)) << app.output().right(3000).toStdString();
    EXPECT_FALSE(app.output().contains("failed to activate parser from xml"));
    EXPECT_EQ(app.terminate(), 0);
}
