// The serial communicator on a real pseudo-terminal: the test plays the remote device on the
// master side.
#include "comm/core/QMCommLog.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/core/SerialPair.h"
#include "tests/comm/core/TestParsers.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <unistd.h>

using testsupport::PseudoTerminal;
using testsupport::waitUntil;

namespace {

struct SerialRig : commtest::SerialPair<SerialRecorderParser> {
    ~SerialRig() { platform::UserDefaults::sharedDefaults().removeObjectForKey(QString::fromLatin1(qmcomm::kCommModuleDebugKey)); }
};

} // namespace

TEST(SerialCommunicator, ConnectsReadsOnTheMainThreadInOrderAndWrites)
{
    SerialRig rig;
    rig.serial->setSpeed(38400);
    rig.serial->setDataBits(8);
    rig.serial->setParity(0);
    rig.serial->setStopBits(1);
    platform::LogCapture capture;
    rig.serial->activate();
    ASSERT_TRUE(rig.serial->isActive());
    EXPECT_EQ(rig.serial->activeStateLabel(), QStringLiteral("Connected"));
    EXPECT_EQ(rig.parser->connects, 1);
    EXPECT_GE(rig.serial->serialPortFD(), 0);
    EXPECT_TRUE(capture.contains("set serial port attrs baud:38400 parity:none data-bits:8 stop-bits:1 RTS:NO DTR:NO CTS:NO DSR:NO CAR:NO "));
    rig.pty.closeSlave();

    QByteArray sent;
    for (int i = 0; i < 512; ++i)
        sent.append(char(255 - (i % 256)));
    ASSERT_TRUE(rig.pty.write(sent.left(100)));
    testsupport::pumpEvents(5);
    ASSERT_TRUE(rig.pty.write(sent.mid(100)));
    ASSERT_TRUE(waitUntil([&] { return rig.parser->received.size() >= sent.size(); }));
    EXPECT_EQ(rig.parser->received, sent);
    EXPECT_TRUE(rig.parser->onMainThread);

    platform::UserDefaults::sharedDefaults().setBool(true, QString::fromLatin1(qmcomm::kCommModuleDebugKey));
    rig.serial->writeData(QByteArray("\x02\x10\x01\xff", 4));
    QByteArray out;
    ASSERT_TRUE(waitUntil([&] { return (out += rig.pty.readAvailable()).size() >= 4; }));
    EXPECT_EQ(out, QByteArray("\x02\x10\x01\xff", 4));
    EXPECT_TRUE(capture.contains("<<<< <021001ff>"));

    rig.serial->deactivate();
    EXPECT_FALSE(rig.serial->isActive());
    EXPECT_EQ(rig.serial->serialPortFD(), -1);
    EXPECT_EQ(rig.parser->disconnects, 1);
}

TEST(SerialCommunicator, TheOtherSideClosingDeactivates)
{
    SerialRig rig;
    rig.serial->setSpeed(9600);
    rig.serial->activate();
    ASSERT_TRUE(rig.serial->isActive());
    rig.pty.closeSlave();
    ::close(rig.pty.masterFd());
    ASSERT_TRUE(waitUntil([&] { return !rig.serial->isActive(); }, 10000));
    EXPECT_EQ(rig.serial->activeStateLabel(), QStringLiteral("Not Connected"));
    EXPECT_EQ(rig.parser->disconnects, 1);
    EXPECT_EQ(rig.serial->serialPortFD(), -1);
}

TEST(SerialCommunicator, ABadPathStaysNotConnected)
{
    SerialRig rig;
    rig.serial->setDevicePath(QStringLiteral("/dev/does-not-exist-qm"));
    platform::LogCapture capture;
    rig.serial->activate();
    EXPECT_FALSE(rig.serial->isActive());
    EXPECT_EQ(rig.serial->activeStateLabel(), QStringLiteral("Not Connected"));
    EXPECT_TRUE(capture.contains("failed to open serial port (2) /dev/does-not-exist-qm"));
    EXPECT_EQ(rig.parser->connects, 0);
    // Writing to a closed port is reported, not crashed on.
    rig.serial->writeData("x");
    EXPECT_TRUE(capture.contains("failed to write data <78>"));
}

TEST(SerialCommunicator, UnchosenSettingsTakeTheParsersPreferences)
{
    SerialRig rig;
    rig.parser->speed = 38400;
    rig.parser->dataBits = 8;
    rig.parser->parity = 1;
    rig.parser->stopBits = 1;
    rig.serial->setSpeed(9600);
    const auto effective = rig.serial->effectiveSettings();
    EXPECT_EQ(effective.speed, 9600);
    EXPECT_EQ(effective.dataBits, 8);
    EXPECT_EQ(effective.parity, 1);
    EXPECT_EQ(effective.hfci, -1);
    rig.serial->applyPreferredSettings();
    EXPECT_EQ(rig.serial->speed(), 9600);
    EXPECT_EQ(rig.serial->dataBits(), 8);
    EXPECT_EQ(rig.serial->parity(), 1);
    EXPECT_EQ(rig.serial->stopBits(), 1);
    EXPECT_EQ(rig.serial->hfco(), -1);

    // Without preferences, an unset character size is not opened as 5 bits.
    SerialRig plain;
    plain.parser->dataBits.reset();
    platform::LogCapture capture;
    plain.serial->activate();
    ASSERT_TRUE(plain.serial->isActive());
    EXPECT_FALSE(capture.contains("data-bits:5"));
    termios t{};
    ASSERT_EQ(tcgetattr(plain.serial->serialPortFD(), &t), 0);
    EXPECT_NE(t.c_cflag & CSIZE, tcflag_t(CS5));
}

TEST(SerialCommunicator, SavedElementRoundTripsAndOtherNamesKeepDefaults)
{
    const platform::XmlElement element = platform::parseXml(
        "<QMSerialHardwareCommunicator interface=\"/dev/ttyQM9\" speed=\"38400\" dataBits=\"8\" parity=\"2\" stopBits=\"1\" "
        "hfcInput=\"1\" hfcOutput=\"3\"/>");
    auto restored = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(QMSerialHardwareCommunicator::serialClass().createWithXML(element));
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->devicePath(), QStringLiteral("/dev/ttyQM9"));
    EXPECT_EQ(restored->parity(), 2);
    EXPECT_EQ(restored->hfco(), 3);
    EXPECT_EQ(*restored->serializedConnectionProperties(), element);

    auto other = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(
        QMSerialHardwareCommunicator::fromXML(platform::parseXml("<Other interface=\"/dev/x\" speed=\"9600\"/>")));
    EXPECT_TRUE(other->devicePath().isNull());
    EXPECT_EQ(other->speed(), -1);
    EXPECT_EQ(other->hfci(), -1);
    EXPECT_EQ(other->communicatorType(), QMCommunicatorTypeSerial);
}

TEST(SerialCommunicator, AParserWithoutTheSerialProtocolGetsNothingButWritesGoOut)
{
    PseudoTerminal pty(true);
    auto parser = std::make_shared<BareParser>();
    auto serial = std::make_shared<QMSerialHardwareCommunicator>();
    serial->setParser(parser);
    serial->setDevicePath(pty.slavePath());
    serial->activate();
    ASSERT_TRUE(serial->isActive());
    EXPECT_EQ(serial->serialParser(), nullptr);
    serial->writeData("ok");
    QByteArray out;
    ASSERT_TRUE(waitUntil([&] { return (out += pty.readAvailable()).size() >= 2; }));
    EXPECT_EQ(out, QByteArray("ok"));
}
