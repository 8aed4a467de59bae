#pragma once
// The application's state, keyed by the QMApplicationState... keys (each present key holds true).
#include "comm/core/interpreting/QMInterpretingTypes.h"

class QMStateInterpreting {
public:
    virtual ~QMStateInterpreting() = default;

    // The whole application's state.
    virtual QMInterpretingAnswer currentApplicationState() { return std::nullopt; }
    // Beside the protocol: the state of the channel the parameters address. Preferred by the
    // module controller when offered.
    virtual QMInterpretingAnswer currentApplicationStateForParams(const QMInterpretingParams&) { return std::nullopt; }
};
