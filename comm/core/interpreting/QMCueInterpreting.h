#pragma once
// Cueing what the parameters name, ready to play.
#include "comm/core/interpreting/QMInterpretingTypes.h"

class QMCueInterpreting {
public:
    virtual ~QMCueInterpreting() = default;

    virtual bool interpretCueMedia(const QMInterpretingParams&) { return false; }
    virtual bool interpretCuePresentation(const QMInterpretingParams&) { return false; }
    virtual bool interpretCuePlaylistItem(const QMInterpretingParams&) { return false; }
    virtual bool interpretCueAudio(const QMInterpretingParams&) { return false; }
};
