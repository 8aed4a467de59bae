#pragma once
// The Numato 8-channel USB GPIO board on a serial line (9600 8N1): when the port opens, every pin
// is made an input ("gpio iodir ff"), and after a one-second settle time the board is polled
// every second; its answers are only logged. The board reads commands as ASCII lines ended by a
// carriage return, like a terminal; the direction mask is hexadecimal text.
//
// Main thread: the connect notice, the timers and the writes.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

#include <QByteArray>

#include <memory>

class QTimer;

class QMProtocolParserNumatoGPIO : public QMProtocolParser, public QMSerialProtocolParser {
public:
    static constexpr int kSettleMilliseconds = 1000;
    static constexpr int kPollMilliseconds = 1000;
    static QByteArray setupMessage() { return QByteArrayLiteral("gpio iodir ff\r"); }
    static QByteArray pollMessage() { return QByteArrayLiteral("ver\r"); }

    QMProtocolParserNumatoGPIO();
    ~QMProtocolParserNumatoGPIO() override;

    static const QMProtocolParserClass& numatoClass();
    const QMProtocolParserClass& parserClass() const override { return numatoClass(); }

    void setup();
    void doReadAllInputs();
    bool isPolling() const;

    void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) override;
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator*) override
    {
        return {.speed = 9600, .dataBits = 8, .parity = 0, .stopBits = 1, .flowControlInput = 0, .flowControlOutput = 0};
    }

private:
    void write(const QByteArray& bytes);
    void stopTimers();

    std::uint32_t lastInputState_ = 0;
    std::unique_ptr<QTimer> settleTimer_;
    std::unique_ptr<QTimer> readTimer_;
};

// Makes Global Cache (type 8) and Numato GPIO (type 13) known to the communications module.
void QMRegisterGPIOClasses();
