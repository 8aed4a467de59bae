#pragma once
// The inspector's typed times: "hh:mm:ss" or "hh:mm:ss:ff" (either separator may be ";"), each
// part a non-negative number; frames count at the cue's frame rate.

#include <QString>

#include <optional>

namespace KLVInspectorTime {

// Seconds, or nothing for any other form (or frames without a frame rate).
std::optional<double> parse(const QString& text, double fps);

} // namespace KLVInspectorTime
