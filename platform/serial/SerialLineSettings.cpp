#include "platform/serial/SerialLineSettings.h"

namespace platform::serial {

speed_t speedConstant(int bitsPerSecond)
{
    switch (bitsPerSecond) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    default: return B0;
    }
}

namespace {

void setFlag(tcflag_t& flags, tcflag_t bit, bool on)
{
    if (on)
        flags |= bit;
    else
        flags &= ~bit;
}

} // namespace

TermiosBuild buildTermios(const termios& current, const SerialLineSettings& s)
{
    TermiosBuild out;
    termios& t = out.attrs;
    t = current;
    cfmakeraw(&t);
    t.c_iflag &= ~(IXOFF | IXANY); // cfmakeraw leaves these: software flow control eats bytes
    t.c_lflag &= ~ECHOE;
    // cfmakeraw forces 8N1; unchosen settings keep what the port had.
    t.c_cflag &= ~(CSIZE | PARENB | PARODD);
    t.c_cflag |= current.c_cflag & (CSIZE | PARENB | PARODD);

    out.text = QStringLiteral("baud:%1 ").arg(s.speed);
    const speed_t speed = speedConstant(s.speed);
    if (speed != B0) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        out.speedApplied = true;
    }

    switch (s.parity) {
    case 0:
        t.c_cflag &= ~(PARENB | PARODD);
        out.text += QStringLiteral("parity:none ");
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        out.text += QStringLiteral("parity:odd ");
        break;
    case 2:
        t.c_cflag |= PARENB;
        t.c_cflag &= ~PARODD;
        out.text += QStringLiteral("parity:even ");
        break;
    default:
        break;
    }

    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (s.dataBits >= 5 && s.dataBits <= 8) {
        t.c_cflag &= ~CSIZE;
        t.c_cflag |= sizes[s.dataBits - 5];
        out.text += QStringLiteral("data-bits:%1 ").arg(s.dataBits);
    }

    if (s.stopBits == 1) {
        t.c_cflag &= ~CSTOPB;
        out.text += QStringLiteral("stop-bits:1 ");
    } else if (s.stopBits == 2) {
        t.c_cflag |= CSTOPB;
        out.text += QStringLiteral("stop-bits:2 ");
    }

    const bool rts = s.hfci == 1;
    const bool dtr = s.hfci == 2;
    const bool cts = s.hfco == 3;
    const bool dsr = s.hfco == 4;
    const bool car = s.hfco == 5;
    auto yesNo = [](bool on) { return on ? QStringLiteral("YES ") : QStringLiteral("NO "); };
    out.text += QStringLiteral("RTS:") + yesNo(rts);
    out.text += QStringLiteral("DTR:") + yesNo(dtr);
    out.text += QStringLiteral("CTS:") + yesNo(cts);
    out.text += QStringLiteral("DSR:") + yesNo(dsr);
    out.text += QStringLiteral("CAR:") + yesNo(car);
    setFlag(t.c_cflag, CRTSCTS, rts || cts);
    out.unsupportedFlowControl = dtr || dsr || car;

    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return out;
}

} // namespace platform::serial
