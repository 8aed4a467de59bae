// The reporting half of Diagnostics: handled errors, exceptions and tracked messages as
// reports, and breadcrumbs.
#include "diagnostics/Diagnostics.h"

#include "diagnostics/ReportConfiguration.h"
#include "platform/reporting/Notifier.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace QMDiagnostics {

namespace reporting = platform::reporting;

namespace {

nlohmann::json metadataJson(const std::optional<QVariantMap>& metadata)
{
    if (!metadata)
        return nullptr;
    const QByteArray text = QJsonDocument(QJsonObject::fromVariantMap(*metadata)).toJson(QJsonDocument::Compact);
    return nlohmann::json::parse(text.constData(), text.constData() + text.size(), nullptr, false);
}

} // namespace

reporting::BreadcrumbType Diagnostics::reporterBreadcrumbType(BreadcrumbType type)
{
    switch (type) {
    case BreadcrumbType::manual: return reporting::BreadcrumbType::Manual;
    case BreadcrumbType::log: return reporting::BreadcrumbType::Log;
    case BreadcrumbType::navigation: return reporting::BreadcrumbType::Navigation;
    case BreadcrumbType::process: return reporting::BreadcrumbType::Process;
    case BreadcrumbType::request: return reporting::BreadcrumbType::Request;
    case BreadcrumbType::state: return reporting::BreadcrumbType::State;
    case BreadcrumbType::user: return reporting::BreadcrumbType::User;
    }
    return reporting::BreadcrumbType::Manual;
}

// --- tracking provider ----------------------------------------------------------------------------

void Diagnostics::error(const platform::Error& error, const QString& file, std::uint64_t line,
                        const TrackingProperties& properties, const QStringList& attachments)
{
    reportError(error, file, line, properties, attachments);
}

void Diagnostics::exception(const platform::Exception& exception, const QString& file, std::uint64_t line,
                            const TrackingProperties& properties, const QStringList& attachments)
{
    reportException(exception, file, line, properties, attachments);
}

void Diagnostics::message(const QString& message, const QString& type, const QString& file, std::uint64_t line,
                          const QStringList& callStack, const TrackingProperties& properties,
                          const QStringList& attachments)
{
    reportMessage(message, type, file, line, callStack, properties, attachments);
}

// --- reports --------------------------------------------------------------------------------------

void Diagnostics::notifyWithPosition(reporting::ReportEvent event, const QString& file, std::uint64_t line,
                                     const TrackingProperties& properties, reporting::Severity severity)
{
    notifier_->notify(std::move(event), [&](reporting::ReportEvent& report) {
        return configureReport(report, file, line, properties, severity);
    });
}

void Diagnostics::reportError(const platform::Error& error, const QString& file, std::uint64_t line,
                              const TrackingProperties& properties, const QStringList&)
{
    notifyError(error, file, line, properties, reporting::Severity::Error);
}

void Diagnostics::notifyError(const platform::Error& error, const QString& file, std::uint64_t line,
                              const TrackingProperties& properties, reporting::Severity severity)
{
    auto event = reporting::Notifier::handledEvent(error.domain.toStdString(), error.description.toStdString(),
                                                   severity);
    event.severityReason = "handledError";
    event.addMetadata("errorDetails", "domain", error.domain.toStdString());
    event.addMetadata("errorDetails", "code", error.code);
    if (!error.failureReason.isEmpty())
        event.addMetadata("errorDetails", "reason", error.failureReason.toStdString());
    notifyWithPosition(std::move(event), file, line, properties, severity);
}

void Diagnostics::reportException(const platform::Exception& exception, const QString& file, std::uint64_t line,
                                  const TrackingProperties& properties, const QStringList&)
{
    auto event = reporting::Notifier::handledEvent(exception.name().toStdString(), exception.reason().toStdString(),
                                                   reporting::Severity::Error);
    event.severityReason = "handledException";
    notifyWithPosition(std::move(event), file, line, properties, reporting::Severity::Error);
}

// The message becomes an error of the module's domain with code -1; its type, call stack and
// attachments are not part of the report.
void Diagnostics::reportMessage(const QString& message, const QString&, const QString& file, std::uint64_t line,
                                const QStringList&, const TrackingProperties& properties, const QStringList&)
{
    notifyError(platform::Error(QString::fromLatin1(kDiagnosticsErrorDomain), -1, message), file, line, properties,
                reporting::Severity::Info);
}

void Diagnostics::notify(const platform::Exception& exception)
{
    auto event = reporting::Notifier::handledEvent(exception.name().toStdString(), exception.reason().toStdString(),
                                                   reporting::Severity::Warning);
    event.severityReason = "handledException";
    notifier_->notify(std::move(event));
}

// --- breadcrumbs ----------------------------------------------------------------------------------

void Diagnostics::leaveBreadcrumb(const QString& message, const std::optional<QVariantMap>& metadata,
                                  BreadcrumbType type)
{
    notifier_->leaveBreadcrumb(message.toStdString(), metadataJson(metadata), reporterBreadcrumbType(type));
}

void Diagnostics::leaveBreadcrumbForNotificationName(const QString& name)
{
    notifier_->leaveBreadcrumb(name.toStdString(), nullptr, reporting::BreadcrumbType::State);
}

void Diagnostics::leaveNetworkRequestBreadcrumb(const NetworkRequest& request)
{
    const bool succeeded = request.statusCode > 0 && request.statusCode < 400;
    nlohmann::json metadata = {{"method", request.method.toStdString()},
                               {"url", request.url.toStdString()},
                               {"duration", request.durationMillis},
                               {"requestContentLength", request.requestBodyLength},
                               {"responseContentLength", request.responseBodyLength}};
    if (request.statusCode > 0)
        metadata["status"] = request.statusCode;
    notifier_->leaveBreadcrumb(succeeded ? "Network request succeeded" : "Network request failed",
                               std::move(metadata), reporting::BreadcrumbType::Request);
}

void DiagnosticsHelper::leaveBreadcrumb(const QString& message, const std::optional<QVariantMap>& metadata)
{
    Diagnostics::shared().leaveBreadcrumb(message, metadata, Diagnostics::BreadcrumbType::manual);
}

} // namespace QMDiagnostics
