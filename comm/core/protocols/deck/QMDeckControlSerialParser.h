#pragma once
// The serial line every deck-control protocol here runs on: 38400 baud, 8 data bits, odd
// parity, 1 stop bit, no hardware flow control.
#include "comm/core/QMParserProtocols.h"

class QMDeckControlSerialParser : public QMSerialProtocolParser {
public:
    QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator*) override
    {
        return {.speed = 38400, .dataBits = 8, .parity = 1, .stopBits = 1, .flowControlInput = 0, .flowControlOutput = 0};
    }
};
