#pragma once
// Questions about the application and what it holds, answered with a dictionary.
#include "comm/core/interpreting/QMInterpretingTypes.h"

class QMCatalogQueryInterpreting {
public:
    virtual ~QMCatalogQueryInterpreting() = default;

    virtual QMInterpretingAnswer interpretApplicationInfo(const QMInterpretingParams&) { return std::nullopt; }

    virtual QMInterpretingAnswer interpretListMedia(const QMInterpretingParams&) { return std::nullopt; }
    virtual QMInterpretingAnswer interpretListPresentation(const QMInterpretingParams&) { return std::nullopt; }
    virtual QMInterpretingAnswer interpretListPlaylistItem(const QMInterpretingParams&) { return std::nullopt; }
    virtual QMInterpretingAnswer interpretListAudio(const QMInterpretingParams&) { return std::nullopt; }

    virtual QMInterpretingAnswer interpretQueryMedia(const QMInterpretingParams&) { return std::nullopt; }
};
