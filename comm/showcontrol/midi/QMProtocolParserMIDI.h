#pragma once
// The MIDI parser (protocol "MIDI"): a received Note On becomes QMApplicationCommandMIDINote on
// the main thread; the outgoing commands "MIDI Note On" and "MIDI Note Off" go out through the
// MIDI communicator to every ticked destination.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/showcontrol/midi/QMMidiMessage.h"

#include <QStringList>

#include <mutex>

class QMProtocolParserMIDI : public QMProtocolParser, public QMMIDIProtocolParser {
public:
    static const QMProtocolParserClass& midiClass();
    const QMProtocolParserClass& parserClass() const override { return midiClass(); }

    QVariantMap protocolCommands() override;
    // Channels "1" to "16", notes by their names ("C3 (60)"), intensities "0" to "127"; a value
    // outside these is refused with a log line and nothing is sent.
    void sendProtocolCommand(const QVariantMap& descriptor) override;

    // Any thread; the work is done on the main thread.
    void hardwareReceivedMIDIMessage(const QMMidiMessage& message) override;
    void handleHardwareReceivedMIDIMessage(const QMMidiMessage& message);

private:
    std::once_flag commandsBuilt_;
    QVariantMap protocolCommands_;
};

// "C-2 (0)" ... "G8 (127)".
QStringList QMMidiNoteNames();

// Makes the MIDI parser (type 12) and the MIDI communicator known to the communications module.
void QMRegisterMIDIClasses();
