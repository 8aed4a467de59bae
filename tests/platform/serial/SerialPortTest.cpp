// A real pseudo-terminal stands for the serial line: the port opens the slave by path, the test
// plays the remote device on the master.
#include "platform/serial/SerialPort.h"
#include "platform/serial/SerialPortDiscovery.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <unistd.h>

using platform::serial::SerialLineSettings;
using platform::serial::SerialPort;
using testsupport::PseudoTerminal;
using testsupport::waitUntil;

namespace {

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

struct OpenPort {
    PseudoTerminal pty{true};
    SerialPort port;
    QByteArray received;
    int hangUps = 0;

    OpenPort()
    {
        EXPECT_TRUE(pty.isValid());
        EXPECT_EQ(port.open(pty.slavePath()), 0);
        EXPECT_EQ(port.saveOriginalSettings(), 0);
        const auto applied = port.applySettings(SerialLineSettings{38400, 8, 0, 1, -1, -1});
        EXPECT_EQ(applied.error, 0);
        QObject::connect(&port, &SerialPort::dataRead, [this](const QByteArray& d) { received += d; });
        QObject::connect(&port, &SerialPort::hungUp, [this](int) { ++hangUps; });
        port.startReading();
        // The test's own slave descriptor would keep the line up after the port closes.
        pty.closeSlave();
    }
};

} // namespace

TEST(SerialPort, EveryByteValueArrivesUnchangedAndInOrderAcrossChunks)
{
    OpenPort p;
    QByteArray expected;
    for (int round = 0; round < 8; ++round) {
        const QByteArray chunk = allByteValues().mid(round * 32) + allByteValues().left(round * 32);
        ASSERT_TRUE(p.pty.write(chunk));
        expected += chunk;
        testsupport::pumpEvents(2);
    }
    ASSERT_TRUE(waitUntil([&] { return p.received.size() >= expected.size(); }));
    EXPECT_EQ(p.received, expected);
}

TEST(SerialPort, WritesLargerThanTheLineBufferQueueAndDrainCompletely)
{
    OpenPort p;
    QByteArray big;
    for (int i = 0; i < 256 * 1024; ++i)
        big.append(char(i * 7));
    ASSERT_TRUE(p.port.write(big));
    EXPECT_GT(p.port.queuedBytes(), 0); // the pty holds far less than this at once
    QByteArray out;
    ASSERT_TRUE(waitUntil([&] {
        out += p.pty.readAvailable();
        return out.size() >= big.size();
    }, 20000));
    EXPECT_EQ(out, big);
    EXPECT_EQ(p.port.queuedBytes(), 0);
}

TEST(SerialPort, ClosingTheOtherSideHangsUpOnceAndClosesThePort)
{
    OpenPort p;
    ::close(p.pty.masterFd()); // the remote device goes away
    ASSERT_TRUE(waitUntil([&] { return p.hangUps > 0; }, 5000));
    // Closed by the first failed read: nothing is left to spin on EIO.
    EXPECT_FALSE(p.port.isOpen());
    testsupport::pumpEvents(100);
    EXPECT_EQ(p.hangUps, 1);
    EXPECT_FALSE(p.port.write("x"));
}

TEST(SerialPort, OpeningFailuresAnswerTheErrorNumber)
{
    SerialPort port;
    EXPECT_EQ(port.open(QStringLiteral("/nonexistent/ttyQM0")), ENOENT);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.applySettings(SerialLineSettings{}).error, EBADF);
    EXPECT_FALSE(port.write("x"));

    // A second opener of a port in use is refused (exclusive use).
    PseudoTerminal pty(true);
    SerialPort first;
    ASSERT_EQ(first.open(pty.slavePath()), 0);
    SerialPort second;
    if (::geteuid() != 0) { // root may open exclusive terminals anyway
        EXPECT_EQ(second.open(pty.slavePath()), EBUSY);
    }
}

TEST(SerialPort, CloseRestoresTheOriginalSettings)
{
    PseudoTerminal pty(true);
    termios original{};
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &original), 0);
    {
        SerialPort port;
        ASSERT_EQ(port.open(pty.slavePath()), 0);
        ASSERT_EQ(port.saveOriginalSettings(), 0);
        ASSERT_EQ(port.applySettings(SerialLineSettings{9600, 8, 0, 1, -1, -1}).error, 0);
        termios raw{};
        ASSERT_EQ(tcgetattr(pty.slaveFd(), &raw), 0);
        EXPECT_EQ(raw.c_lflag & ICANON, tcflag_t(0));
        const auto closed = port.close();
        EXPECT_EQ(closed.restoreError, 0);
        EXPECT_EQ(closed.closeError, 0);
    }
    termios after{};
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &after), 0);
    EXPECT_EQ(after.c_lflag, original.c_lflag);
    EXPECT_EQ(after.c_iflag, original.c_iflag);
}

// Two pseudo-terminals stand for two adapters, a temporary folder for /dev/serial/by-id: the one
// with links is named by its first link, the other by its own path, and both paths open.
TEST(SerialPortDiscovery, PortsTakeTheirByIdLinkAndEveryPathOpens)
{
    PseudoTerminal adapter(true), plain(true);
    ASSERT_TRUE(adapter.isValid() && plain.isValid());
    QTemporaryDir byId;
    const QString link = byId.filePath(QStringLiteral("usb-Maker_Adapter_A1-if00-port0"));
    ASSERT_TRUE(QFile::link(adapter.slavePath(), link));
    ASSERT_TRUE(QFile::link(adapter.slavePath(), byId.filePath(QStringLiteral("usb-z-second-name"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/no-such"), byId.filePath(QStringLiteral("usb-gone"))));
    const QList<platform::serial::SerialPortEntry> kernel = {{adapter.slavePath(), QStringLiteral("adapter")},
                                                             {plain.slavePath(), QStringLiteral("plain")}};
    const auto ports = platform::serial::serialPortsNamedById(kernel, byId.path());
    ASSERT_EQ(ports.size(), 2);
    EXPECT_EQ(ports[0].path, link);
    EXPECT_EQ(ports[0].displayName, QStringLiteral("adapter"));
    EXPECT_EQ(ports[1].path, plain.slavePath());
    EXPECT_EQ(ports[1].displayName, QStringLiteral("plain"));
    PseudoTerminal* ends[] = {&adapter, &plain};
    for (int i = 0; i < 2; ++i) {
        SerialPort port;
        ASSERT_EQ(port.open(ports[i].path), 0) << ports[i].path.toStdString();
        ASSERT_TRUE(port.write("ping"));
        EXPECT_EQ(ends[i]->read(4), QByteArray("ping"));
    }
    // A missing folder names every port by its own path.
    EXPECT_EQ(platform::serial::serialPortsNamedById(kernel, byId.filePath(QStringLiteral("none")))[0].path, adapter.slavePath());
}

TEST(SerialPortDiscovery, EntriesNameAnOpenablePathAndAName)
{
    for (const auto& entry : platform::serial::availableSerialPorts()) {
        EXPECT_FALSE(entry.path.isEmpty());
        EXPECT_FALSE(entry.displayName.isEmpty());
    }
}
