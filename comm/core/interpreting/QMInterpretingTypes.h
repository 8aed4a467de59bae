#pragma once
// What every interpreting family speaks: a command's parameters in, and for the operations that
// answer a dictionary, std::nullopt for "not offered", else the answer (a null QVariant for "no
// answer").
#include <QVariant>
#include <QVariantMap>

#include <optional>

using QMInterpretingParams = QVariantMap;
using QMInterpretingAnswer = std::optional<QVariant>;
