#pragma once
// The diagnostics module's one door to error reporting and usage analytics.
//
// startup() picks the product's keys and the build's release stage, starts the notifier and
// the analytics client (both held: nothing is delivered before the user's switches apply),
// creates the single instance and makes it the assertion tracker's provider. The instance
// follows the user defaults "enableErrorReporting" and "enableAnalyticsReporting" from then
// on: error reporting off purges what is waiting and stores no more reports (crashes and app
// hangs included); analytics off drops events.
//
// Reports made through the tracker, or directly, carry their source position and properties
// in the section "Error" (ReportConfiguration.h).

#include "diagnostics/AnalyticEvent.h"
#include "diagnostics/AssertionHelperTracker.h"
#include "diagnostics/ReleaseStage.h"
#include "platform/reporting/Breadcrumbs.h"
#include "platform/reporting/DeliveryQueue.h"
#include "platform/reporting/ReportEvent.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <optional>

namespace platform::reporting {
class AnalyticsClient;
class Notifier;
} // namespace platform::reporting

namespace QMDiagnostics {

inline constexpr const char* kEnableErrorReportingKey = "enableErrorReporting";
inline constexpr const char* kEnableAnalyticsReportingKey = "enableAnalyticsReporting";
inline constexpr const char* kEnableCrashReportingKey = "enableCrashReporting";
inline constexpr const char* kLogCategory = "Diagnostics";
// The domain of the errors made from tracked messages.
inline constexpr const char* kDiagnosticsErrorDomain = "com.quenmark.diagnostics";
inline constexpr int kAppHangThresholdMillis = 2000;

// Where and how the module keeps and sends its reports. The defaults come from the build
// (empty endpoints: nothing is ever sent) and the application's data folder.
struct DiagnosticsOptions {
    DiagnosticsOptions();
    platform::reporting::Endpoints endpoints;
    QString storageFolder;               // default: <application data>/Diagnostics
    std::optional<QString> version;      // default: the application's version (none when empty)
    int retryInitialMillis = 15000;
    bool captureCrashes = true;
    bool detectAppHangs = true;
    int appHangPollMillis = 100;
};

class Diagnostics final : public AssertionHelperTrackingProvider, public AnalyticEventRecorder {
public:
    enum class APIKey { crv, zel, klv };
    struct Keys {
        const char* crashReporterKey;  // 32 lower-case hexadecimal characters
        const char* analyticsAppSecret; // GUID form
    };
    static Keys keys(APIKey key);

    enum class BreadcrumbType { manual, log, navigation, process, request, state, user };
    static platform::reporting::BreadcrumbType reporterBreadcrumbType(BreadcrumbType type);

    // A working instance, made as startup() makes the shared one (tracker provider and log
    // included) but not stored: for tests, which need more than one per process.
    static std::shared_ptr<Diagnostics> create(APIKey apiKey, const QString& subsystem,
                                               const DiagnosticsOptions& options = {});

    // --- class level ---
    static void startup(APIKey apiKey, const QString& subsystem, const DiagnosticsOptions& options = {});
    static bool isStarted();
    // Before startup: stops the program through fatalError.
    static Diagnostics& shared();
    static bool analyticsEnabled();
    static void setAnalyticsEnabled(bool enabled);
    static bool errorReportingEnabled();
    static void setErrorReportingEnabled(bool enabled);
    // No-ops before startup.
    static void suspendAppHangDetection();
    static void resumeAppHangDetection();
    static void prepareForFatalStop();

    ~Diagnostics() override;

    void markLaunchCompleted();

    // --- tracking provider ---
    void error(const platform::Error& error, const QString& file, std::uint64_t line,
               const TrackingProperties& properties, const QStringList& attachments) override;
    void exception(const platform::Exception& exception, const QString& file, std::uint64_t line,
                   const TrackingProperties& properties, const QStringList& attachments) override;
    void message(const QString& message, const QString& type, const QString& file, std::uint64_t line,
                 const QStringList& callStack, const TrackingProperties& properties,
                 const QStringList& attachments) override;

    // --- the same reports for direct use ---
    void reportError(const platform::Error& error, const QString& file, std::uint64_t line,
                     const TrackingProperties& properties = {}, const QStringList& attachments = {});
    void reportException(const platform::Exception& exception, const QString& file, std::uint64_t line,
                         const TrackingProperties& properties = {}, const QStringList& attachments = {});
    void reportMessage(const QString& message, const QString& type, const QString& file, std::uint64_t line,
                       const QStringList& callStack = {}, const TrackingProperties& properties = {},
                       const QStringList& attachments = {});
    // The exception alone: no position, no properties, the default severity.
    void notify(const platform::Exception& exception);

    // --- breadcrumbs ---
    void leaveBreadcrumb(const QString& message, const std::optional<QVariantMap>& metadata, BreadcrumbType type);
    void leaveBreadcrumbForNotificationName(const QString& name);
    struct NetworkRequest {
        QString method;
        QString url;
        int statusCode = 0;      // 0: no answer
        qint64 durationMillis = 0;
        qint64 requestBodyLength = 0;
        qint64 responseBodyLength = 0;
    };
    void leaveNetworkRequestBreadcrumb(const NetworkRequest& request);

    // --- analytics ---
    void record(const QString& name, const std::optional<AnalyticProperties>& properties) override;

    // For tests and the bridge.
    platform::reporting::Notifier& notifier() { return *notifier_; }
    platform::reporting::AnalyticsClient& analytics() { return *analytics_; }
    ReleaseStage releaseStage() const { return releaseStage_; }

private:
    Diagnostics(QString subsystem, std::shared_ptr<platform::reporting::DeliveryQueue> delivery,
                std::unique_ptr<platform::reporting::Notifier> notifier,
                std::unique_ptr<platform::reporting::AnalyticsClient> analytics, ReleaseStage stage);
    void observeDefaults();
    void applyAnalyticsEnabled(bool enabled);
    void applyErrorReportingEnabled(bool enabled);
    void notifyError(const platform::Error& error, const QString& file, std::uint64_t line,
                     const TrackingProperties& properties, platform::reporting::Severity severity);
    void notifyWithPosition(platform::reporting::ReportEvent event, const QString& file, std::uint64_t line,
                            const TrackingProperties& properties, platform::reporting::Severity severity);

    const QString log_; // subsystem of the "Diagnostics" log
    std::atomic<bool> analyticsEnabled_ {false};
    std::atomic<bool> errorReportingEnabled_ {false};
    std::unique_ptr<QObject> observers_; // owns the two connections to the defaults
    std::shared_ptr<platform::reporting::DeliveryQueue> delivery_;
    std::unique_ptr<platform::reporting::Notifier> notifier_;
    std::unique_ptr<platform::reporting::AnalyticsClient> analytics_;
    const ReleaseStage releaseStage_;
};

// Breadcrumbs for classes that do not use the module's own types.
class DiagnosticsHelper {
public:
    static void leaveBreadcrumb(const QString& message, const std::optional<QVariantMap>& metadata);
};

} // namespace QMDiagnostics
