#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <QFile>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using testsupport::PseudoTerminal;

namespace {

QByteArray everyByte()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

} // namespace

TEST(PseudoTerminal, CarriesEveryByteUnchangedBothWays)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isValid());
    const QByteArray bytes = everyByte(); // CR, LF, ^C, ^D, ^S, DEL... all raw
    ASSERT_TRUE(pty.write(bytes));
    EXPECT_EQ(pty.readSlave(bytes.size()), bytes);
    ASSERT_TRUE(pty.writeSlave(bytes));
    EXPECT_EQ(pty.read(bytes.size()), bytes);
    EXPECT_TRUE(pty.readAvailable().isEmpty()); // no echo

    termios settings{};
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
}

TEST(PseudoTerminal, SlavePathOpensLikeASerialDevice)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isValid());
    const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << pty.slavePath().toStdString();
    pty.closeSlave();
    EXPECT_EQ(::write(fd, "\x02" "ok\x03", 4), 4);
    EXPECT_EQ(pty.read(4), QByteArray("\x02" "ok\x03"));
    ::close(fd);
    // Nobody holds the line any more: the master sees a hang-up at once rather than a time-out.
    EXPECT_TRUE(pty.read(1, 60000).isEmpty());
}

TEST(PseudoTerminal, ReadsStopAtTheDeadlineWithWhatArrived)
{
    PseudoTerminal pty(true);
    ASSERT_TRUE(pty.isValid());
    EXPECT_NE(::fcntl(pty.masterFd(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_TRUE(pty.read(1, 20).isEmpty());
    ASSERT_TRUE(pty.writeSlave("abc"));
    EXPECT_EQ(pty.read(10, 50), QByteArray("abc"));
}
