// The termios builder, flag by flag: pseudo-terminals cannot show parity or character size, so
// these are checked on the built record.
#include "platform/serial/SerialLineSettings.h"

#include <gtest/gtest.h>

using platform::serial::buildTermios;
using platform::serial::SerialLineSettings;

namespace {

termios cookedTerminal()
{
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | INLCR | IGNCR | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | PARODD | CSTOPB;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    return t;
}

} // namespace

TEST(SerialLineSettings, BuildsRawEightEvenOneWithTheSettingsText)
{
    const auto build = buildTermios(cookedTerminal(), SerialLineSettings{38400, 8, 2, 1, -1, -1});
    EXPECT_EQ(build.text, QStringLiteral("baud:38400 parity:even data-bits:8 stop-bits:1 RTS:NO DTR:NO CTS:NO DSR:NO CAR:NO "));
    const termios& t = build.attrs;
    EXPECT_EQ(cfgetispeed(&t), speed_t(B38400));
    EXPECT_EQ(cfgetospeed(&t), speed_t(B38400));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    // Nothing may translate or swallow bytes of a binary frame.
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | INLCR | IGNCR | BRKINT), tcflag_t(0));
    EXPECT_EQ(t.c_oflag & OPOST, tcflag_t(0));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), tcflag_t(0));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(SerialLineSettings, OddParityTwoStopBitsAndFlowControlTexts)
{
    auto build = buildTermios(cookedTerminal(), SerialLineSettings{9600, 7, 1, 2, 2, 5});
    EXPECT_EQ(build.text, QStringLiteral("baud:9600 parity:odd data-bits:7 stop-bits:2 RTS:NO DTR:YES CTS:NO DSR:NO CAR:YES "));
    EXPECT_EQ(build.attrs.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_EQ(build.attrs.c_cflag & (PARENB | PARODD), tcflag_t(PARENB | PARODD));
    EXPECT_TRUE(build.attrs.c_cflag & CSTOPB);
    // DTR input and carrier output flow do not exist in Linux termios: reported, RTS/CTS off.
    EXPECT_FALSE(build.attrs.c_cflag & CRTSCTS);
    EXPECT_TRUE(build.unsupportedFlowControl);

    build = buildTermios(cookedTerminal(), SerialLineSettings{9600, 8, 0, 1, 1, -1});
    EXPECT_EQ(build.text, QStringLiteral("baud:9600 parity:none data-bits:8 stop-bits:1 RTS:YES DTR:NO CTS:NO DSR:NO CAR:NO "));
    EXPECT_TRUE(build.attrs.c_cflag & CRTSCTS);
    EXPECT_FALSE(build.attrs.c_cflag & PARENB);
    EXPECT_FALSE(build.unsupportedFlowControl);

    build = buildTermios(cookedTerminal(), SerialLineSettings{9600, 8, 0, 1, -1, 3});
    EXPECT_TRUE(build.attrs.c_cflag & CRTSCTS);
}

TEST(SerialLineSettings, UnchosenSettingsKeepWhatThePortHad)
{
    // -1 everywhere: raw mode, but no 5-bit characters and the port's own parity, stop bits, speed.
    const termios before = cookedTerminal();
    const auto build = buildTermios(before, SerialLineSettings{});
    EXPECT_EQ(build.text, QStringLiteral("baud:-1 RTS:NO DTR:NO CTS:NO DSR:NO CAR:NO "));
    EXPECT_EQ(build.attrs.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_EQ(build.attrs.c_cflag & (PARENB | PARODD), tcflag_t(PARENB | PARODD));
    EXPECT_TRUE(build.attrs.c_cflag & CSTOPB);
    EXPECT_EQ(cfgetospeed(&build.attrs), speed_t(B9600));
    EXPECT_FALSE(build.speedApplied);
    EXPECT_EQ(build.attrs.c_iflag & (ICRNL | IXON), tcflag_t(0));

    // Five data bits only when asked for.
    EXPECT_EQ(buildTermios(before, SerialLineSettings{-1, 5, -1, -1, -1, -1}).attrs.c_cflag & CSIZE, tcflag_t(CS5));
    EXPECT_EQ(buildTermios(before, SerialLineSettings{-1, 9, -1, -1, -1, -1}).attrs.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_EQ(buildTermios(before, SerialLineSettings{-1, 6, -1, -1, -1, -1}).text.contains(QStringLiteral("data-bits:6 ")), true);
    // A rate without a termios constant leaves the speed alone.
    const auto odd = buildTermios(before, SerialLineSettings{12345, 8, 0, 1, -1, -1});
    EXPECT_EQ(cfgetospeed(&odd.attrs), speed_t(B9600));
}
