#pragma once
// Sony 9-pin (BVW) deck control on a serial line. In device behaviour the server answers an
// edit controller or switcher as if it were a VTR; in controller behaviour the same class drives
// a 9-pin deck: five transport commands and a time-code poll 33 times a second.
//
// Packets in both directions: CMD1 (group in the high nibble, data count in the low one), CMD2,
// the data, then the low 8 bits of the sum of the bytes before it.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/protocols/sonybvw/QMBVWStatus.h"
#include "comm/core/protocols/deck/QMDeckControlSerialParser.h"
#include "comm/timecode/QMTimeCode.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

class QMProtocolParserSonyBVW;
class QTimer;

// One row of the device command table: group digit and code select it; it either names the
// member function that builds the reply or the application command answered with ACK.
struct QMSonyBVWCommand {
    using Handler = QByteArray (QMProtocolParserSonyBVW::*)(const QByteArray& packet);
    const char* group; // one upper-case hexadecimal digit
    const char* code;  // CMD2 as two upper-case hexadecimal digits
    const char* description;
    const char* originalCommand;
    Handler handler;                // or null
    const char* applicationCommand; // or null
};

class QMProtocolParserSonyBVW : public QMProtocolParser, public QMDeckControlSerialParser {
public:
    static constexpr std::chrono::milliseconds kTimecodeRequestInterval{30};
    // A partial packet older than this is noise: the next bytes start a new packet.
    static constexpr std::chrono::milliseconds kPartialPacketGap{80};

    QMProtocolParserSonyBVW();
    ~QMProtocolParserSonyBVW() override;

    static const QMProtocolParserClass& parserClassObject();
    // Makes the class known by its name ("QMProtocolParserSonyBVW") to the parser registry.
    static void registerParserClass();
    const QMProtocolParserClass& parserClass() const override { return parserClassObject(); }

    static std::span<const QMSonyBVWCommand> lookupTable();
    static const QMSonyBVWCommand* lookupCommand(unsigned char cmd1, unsigned char cmd2);

    // Serial side.
    void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) override;
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator* hardware) override
    {
        QMSerialLinePreferences preferences = QMDeckControlSerialParser::serialLinePreferencesForSerialHardware(hardware);
        preferences.swapBlackMagicLines = behavior() == QMProtocolBehaviorDevice;
        return preferences;
    }

    // Controller behaviour: the outgoing commands ("Play", "Pause", "Stop", "Fast Forward",
    // "Rewind"); empty in device behaviour.
    QVariantMap protocolCommands() override;
    void sendProtocolCommand(const QVariantMap& descriptor) override;
    // The control view is the user interface layer's; it shows timecodeString() whenever the
    // observer is called and sends transportAction with the button's title.
    void transportAction(const QString& buttonTitle);
    void setTimecodeObserver(std::function<void(const QString&)> observer);
    QString timecodeString() const;
    // Writes the current-time-sense request 61 0C 01 6E.
    void requestTimecode();
    bool isPolling() const;

    // Device reply to one whole packet; NAK for unknown commands and bad checksums.
    QByteArray responseForMessage(const QByteArray& packet);
    // Controller side: false for a packet that is too short or fails its checksum.
    bool processPacket(const QByteArray& packet);
    void handleNewData();
    qsizetype bufferedByteCount() const;

    static char computeChecksum(QByteArrayView bytes);
    static QByteArray checksummedData(QByteArray data);
    static QByteArray ackData();
    static QByteArray nakData();
    static QByteArray checksumErrorNakData();

    // Handlers (the table names them).
    QByteArray ackData(const QByteArray&) { return ackData(); }
    QByteArray handleDeviceTypeRequest(const QByteArray& packet);
    QByteArray handleJogForwardRequest(const QByteArray& packet);
    QByteArray handleVarForwardRequest(const QByteArray& packet);
    QByteArray handleShuttleForwardRequest(const QByteArray& packet);
    QByteArray handleJogReverseRequest(const QByteArray& packet);
    QByteArray handleVarReverseRequest(const QByteArray& packet);
    QByteArray handleShuttleReverseRequest(const QByteArray& packet);
    QByteArray handleCueUpWithDataRequest(const QByteArray& packet);
    QByteArray handleTimer1ResetRequest(const QByteArray& packet) { return ackData(packet); }
    QByteArray handleTimerModeSelectRequest(const QByteArray& packet) { return ackData(packet); }
    QByteArray handleCurrentTimeSenseRequest(const QByteArray& packet);
    QByteArray handleStatusSenseRequest(const QByteArray& packet);
    QByteArray handleTimerModeSenseRequest(const QByteArray& packet);

private:
    QByteArray speedRequest(const QByteArray& packet, int direction, QMBVWMotion kind);
    void doVarWithSpeed(int speedNumber, int direction, QMBVWMotion kind);
    void noteCommanded(const char* applicationCommand);
    void writeData(const QByteArray& data);
    void stopTimer();

    mutable std::mutex readMutex_;
    QByteArray readBuffer_;
    std::chrono::steady_clock::time_point lastArrival_{};
    std::unique_ptr<QTimer> timecodeRequestTimer_; // main thread
    // The motion this parser commanded last and whether its cue completed (main thread).
    std::optional<QMBVWMotion> commanded_;
    bool commandedReverse_ = false;
    bool cueComplete_ = false;
    mutable std::mutex viewMutex_;
    QString timecodeString_;
    std::function<void(const QString&)> timecodeObserver_;
};
