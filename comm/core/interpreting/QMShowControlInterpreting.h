#pragma once
// Input from show-control devices (lighting desks, MIDI, raw bytes) rather than commands.
#include "comm/core/interpreting/QMInterpretingTypes.h"

class QMShowControlInterpreting {
public:
    virtual ~QMShowControlInterpreting() = default;

    virtual bool interpretDMXValuesChanged(const QMInterpretingParams&) { return false; }
    virtual bool interpretMIDINote(const QMInterpretingParams&) { return false; }
    virtual bool interpretMIDINotes(const QMInterpretingParams&) { return false; }
    virtual bool interpretRawData(const QMInterpretingParams&) { return false; }
};
