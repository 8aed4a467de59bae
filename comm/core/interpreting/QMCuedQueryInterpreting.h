#pragma once
// Questions about what the addressed channel has cued, answered with a dictionary.
#include "comm/core/interpreting/QMInterpretingTypes.h"

class QMCuedQueryInterpreting {
public:
    virtual ~QMCuedQueryInterpreting() = default;

    virtual QMInterpretingAnswer interpretGetCuedMedia(const QMInterpretingParams&) { return std::nullopt; }
    virtual QMInterpretingAnswer interpretGetCuedPresentation(const QMInterpretingParams&) { return std::nullopt; }
    virtual QMInterpretingAnswer interpretGetCuedPlaylistItem(const QMInterpretingParams&) { return std::nullopt; }
    virtual QMInterpretingAnswer interpretGetCuedAudio(const QMInterpretingParams&) { return std::nullopt; }
};
