#include "diagnostics/ReportConfiguration.h"

#include <QRegularExpression>

#include <algorithm>

namespace QMDiagnostics {

QString shortenedFilePath(const QString& file)
{
    static const QRegularExpression tree(QStringLiteral("(?<=/)(crv|zel|klv|shared|tools)/"));
    const QRegularExpressionMatch match = tree.match(file);
    return match.hasMatch() ? file.mid(match.capturedStart()) : file;
}

bool configureReport(platform::reporting::ReportEvent& event, const QString& file, std::uint64_t line,
                     const TrackingProperties& properties, platform::reporting::Severity severity)
{
    event.addMetadata(kErrorMetadataSection, "file", shortenedFilePath(file).toStdString());
    event.addMetadata(kErrorMetadataSection, "line", std::to_string(line));
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        event.addMetadata(kErrorMetadataSection, it.key().toStdString(), it.value().toStdString());
    event.severity = severity;
    if (!event.errors.empty()) {
        auto& frames = event.errors.front().stacktrace;
        frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(std::min(kReportingFrames, frames.size())));
    }
    return true;
}

} // namespace QMDiagnostics
