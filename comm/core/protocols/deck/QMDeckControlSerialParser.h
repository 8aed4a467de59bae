#pragma once
// The serial line every deck-control protocol here runs on: 38400 baud, 8 data bits, odd
// parity, 1 stop bit, no hardware flow control.
#include "comm/core/QMParserProtocols.h"

class QMDeckControlSerialParser : public QMSerialProtocolParser {
public:
    std::optional<std::int32_t> preferredSpeedForSerialHardware(QMSerialHardwareCommunicator*) override { return 38400; }
    std::optional<std::int32_t> preferredDataBitsForSerialHardware(QMSerialHardwareCommunicator*) override { return 8; }
    std::optional<std::int32_t> preferredParityForSerialHardware(QMSerialHardwareCommunicator*) override { return 1; }
    std::optional<std::int32_t> preferredStopBitsForSerialHardware(QMSerialHardwareCommunicator*) override { return 1; }
    std::optional<std::int32_t> preferredHardwareFlowControlInputForSerialHardware(QMSerialHardwareCommunicator*) override { return 0; }
    std::optional<std::int32_t> preferredHardwareFlowControlOutputForSerialHardware(QMSerialHardwareCommunicator*) override { return 0; }
};
