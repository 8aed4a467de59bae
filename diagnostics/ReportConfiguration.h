#pragma once
// What every handled report made through Diagnostics carries: the source position (the file
// shortened to the tree it lives in) and the caller's properties in the section "Error", and
// the severity of its kind.

#include "diagnostics/AssertionHelperTracker.h"
#include "platform/reporting/ReportEvent.h"

#include <QString>

#include <cstdint>

namespace QMDiagnostics {

inline constexpr const char* kErrorMetadataSection = "Error";
// Frames of the reporting machinery at the top of a captured stack.
inline constexpr std::size_t kReportingFrames = 5;

// From the first directory named crv, zel, klv, shared or tools that directly follows a "/";
// the whole text when there is none.
QString shortenedFilePath(const QString& file);

// Applies the position, the properties and the severity, and removes the reporting frames from
// the first error's stack (never below empty). Answers true: the report is sent.
bool configureReport(platform::reporting::ReportEvent& event, const QString& file, std::uint64_t line,
                     const TrackingProperties& properties, platform::reporting::Severity severity);

} // namespace QMDiagnostics
