#pragma once
// The serial feeds (AllAmerican8000, DaktronicsTV, Electro-Mech, Eversan, FairPlayMP70, Jugs,
// OES, Stalker, StatCrew): one parser class driven by a table of what differs between them
// (names, speed, framing). Every frame goes to the delegate as QMApplicationCommandRawData with
// the frame's bytes, framing bytes included; AllAmerican8000 only logs what it reads.
//
// Threads: bytes arrive on the main thread; the buffer is cut on the parser's message queue
// (the caller waits) and the frames are then delivered on the calling thread, in order. The
// delegate is not called while the queue is held, so a delegate that waits for the main thread
// cannot deadlock against it.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/showcontrol/feeds/QMFeedFraming.h"
#include "platform/foundation/SerialQueue.h"

#include <QByteArray>
#include <QList>

struct QMFeedDescription {
    const char* className;
    const char* protocol;
    const char* icon;
    std::int32_t speed;
    QMFeedFraming framing;
    bool logsConnect;
};

class QMSerialFeedParser : public QMProtocolParser, public QMSerialProtocolParser {
public:
    QMSerialFeedParser(const QMProtocolParserClass& parserClass, const QMFeedDescription& description);

    // The class objects of the serial feeds, in table order.
    static QList<const QMProtocolParserClass*> feedClasses();
    const QMProtocolParserClass& parserClass() const override { return class_; }
    const QMFeedDescription& description() const { return description_; }

    void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) override;
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator* hardware) override;
    QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator*) override
    {
        return {.speed = description_.speed, .dataBits = 8, .parity = 0, .stopBits = 1, .flowControlInput = 0, .flowControlOutput = 0};
    }

    // The bytes of an incomplete frame.
    QByteArray messageBuffer();

private:
    const QMProtocolParserClass& class_;
    const QMFeedDescription& description_;
    platform::SerialQueue messageQueue_;
    QByteArray messageBuffer_; // message queue only
};

// Hands one frame to the delegate as QMApplicationCommandRawData (shared with Scorebot).
void QMDeliverFeedFrame(QMProtocolParser& parser, const QByteArray& frame);
