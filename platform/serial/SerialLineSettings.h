#pragma once
// Line settings of a serial port and their translation to termios. The translation is a pure
// function so that every flag can be checked without a real port (pseudo-terminals ignore
// parity and character size).
#include <QString>

#include <termios.h>

namespace platform::serial {

// -1 in any field means "not chosen": the port keeps what it had.
struct SerialLineSettings {
    int speed = -1;     // bits per second
    int dataBits = -1;  // 5..8
    int parity = -1;    // 0 none, 1 odd, 2 even
    int stopBits = -1;  // 1 or 2
    int hfci = -1;      // input flow control: 1 RTS, 2 DTR, else none
    int hfco = -1;      // output flow control: 3 CTS, 4 DSR, 5 carrier, else none
};

struct TermiosBuild {
    termios attrs{};
    QString text;              // "baud:38400 parity:even ..." for the log
    bool speedApplied = false; // false when the speed has no termios constant
    // Linux termios has one RTS/CTS switch (CRTSCTS) and no DTR, DSR or carrier flow control.
    bool unsupportedFlowControl = false;
};

// Raw mode first (no input translation, no XON/XOFF, no output processing, no echo), then the
// chosen settings over it; unchosen parity, character size and stop bits keep the values of
// `current`. Always CLOCAL|CREAD, VMIN=VTIME=0.
TermiosBuild buildTermios(const termios& current, const SerialLineSettings& settings);

// The termios speed constant for a rate, or B0 when there is none.
speed_t speedConstant(int bitsPerSecond);

} // namespace platform::serial
