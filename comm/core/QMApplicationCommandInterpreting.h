#pragma once
// The application's side of the command vocabulary: every family of operations
// (comm/core/interpreting) in the one interface the module controller holds. Every operation is
// optional: the defaults answer "not offered" (false, or std::nullopt for the operations that
// answer a dictionary), and the module controller logs such a command and answers nothing. An
// implementation returns true (or a value, possibly a null QVariant for "no answer") for what it
// carries out.
#include "comm/core/interpreting/QMCatalogQueryInterpreting.h"
#include "comm/core/interpreting/QMClearInterpreting.h"
#include "comm/core/interpreting/QMCueInterpreting.h"
#include "comm/core/interpreting/QMCuedQueryInterpreting.h"
#include "comm/core/interpreting/QMInterpretingTypes.h"
#include "comm/core/interpreting/QMNavigationInterpreting.h"
#include "comm/core/interpreting/QMShowControlInterpreting.h"
#include "comm/core/interpreting/QMStateInterpreting.h"
#include "comm/core/interpreting/QMTransportInterpreting.h"

class QMApplicationCommandInterpreting : public QMTransportInterpreting,
                                         public QMCueInterpreting,
                                         public QMClearInterpreting,
                                         public QMNavigationInterpreting,
                                         public QMCuedQueryInterpreting,
                                         public QMCatalogQueryInterpreting,
                                         public QMShowControlInterpreting,
                                         public QMStateInterpreting {
public:
    using Params = QMInterpretingParams;
    using Answer = QMInterpretingAnswer;
};
