#pragma once
// A machine without a MIDI system, for the MIDI tests: no client can be made, and the backend
// says why as the ALSA one does without a sequencer.
#include "platform/midi/LoopbackMidiBackend.h"

class NoMidiSystem : public platform::midi::LoopbackMidiBackend {
public:
    static QString reason() { return QStringLiteral("no MIDI sequencer"); }

    int clientCreate(const QString&, platform::midi::MidiNotifyCallback, platform::midi::MidiObjectRef*) override
    {
        return platform::midi::kMidiErrorUnavailable;
    }
    QString unavailableReason() const override { return reason(); }
};
