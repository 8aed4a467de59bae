#pragma once
// Transport of the addressed channel (or of every channel when none is addressed).
#include "comm/core/interpreting/QMInterpretingTypes.h"

class QMTransportInterpreting {
public:
    virtual ~QMTransportInterpreting() = default;

    virtual bool interpretTransportStop(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportPlay(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportPause(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportRewind(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportFastForward(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportSeek(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportStep(const QMInterpretingParams&) { return false; }
    virtual bool interpretTransportTimecode(const QMInterpretingParams&) { return false; }
};
