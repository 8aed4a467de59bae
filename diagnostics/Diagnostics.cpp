#include "diagnostics/Diagnostics.h"

#include "diagnostics/Funnels.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/reporting/AnalyticsClient.h"
#include "platform/reporting/Notifier.h"
#include "platform/reporting/ReportingLog.h"

#include <QCoreApplication>
#include <QDir>

#include <mutex>

namespace QMDiagnostics {

namespace reporting = platform::reporting;

namespace {

// Written once by startup, never cleared: the instance lives until the process ends.
std::atomic<Diagnostics*> sharedInstance {nullptr};
std::mutex startupMutex;

const QString kErrorKey = QString::fromLatin1(kEnableErrorReportingKey);
const QString kAnalyticsKey = QString::fromLatin1(kEnableAnalyticsReportingKey);

platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}

platform::LogLevel logLevel(reporting::ReportingLogLevel level)
{
    switch (level) {
    case reporting::ReportingLogLevel::Debug: return platform::LogLevel::Debug;
    case reporting::ReportingLogLevel::Info: return platform::LogLevel::Info;
    case reporting::ReportingLogLevel::Error: return platform::LogLevel::Error;
    }
    return platform::LogLevel::Default;
}

} // namespace

DiagnosticsOptions::DiagnosticsOptions()
    : endpoints {KLV_REPORTING_NOTIFY_URL, KLV_REPORTING_SESSIONS_URL, KLV_REPORTING_ANALYTICS_URL}
{
}

Diagnostics::Keys Diagnostics::keys(APIKey key)
{
    switch (key) {
    case APIKey::crv: return {"0d7e4b2a9c61f385e7a0b3c9d5f12468", "2f9a6d30-1e7b-48c5-a2f4-90d3b6e5c718"};
    case APIKey::zel: return {"a3f8c1d0e92b47f6051c8e3d7a9b2f64", "e41c08a6-93bd-4f27-b5e0-6a2d9c8f1735"};
    case APIKey::klv: return {"5c1e0a7f3b9d24e6a8f0c2b4d6e81357", "7b3e9f12-4c0a-4d6e-9a81-2f5c7e0b3d94"};
    }
    return {"", ""};
}

// --- start-up -------------------------------------------------------------------------------------

std::shared_ptr<Diagnostics> Diagnostics::create(APIKey apiKey, const QString& subsystem,
                                                 const DiagnosticsOptions& options)
{
    const std::string logSubsystem = subsystem.toStdString();
    reporting::setReportingLogSink([logSubsystem](reporting::ReportingLogLevel level, std::string_view text) {
        platform::log(logSubsystem, kLogCategory, logLevel(level), text);
    });

    const Keys productKeys = keys(apiKey);
    std::optional<QString> version = options.version;
    if (!options.version) {
        const QString appVersion = QCoreApplication::applicationVersion();
        if (!appVersion.isEmpty())
            version = appVersion;
    }
    const ReleaseStage stage = releaseStageForVersion(version);
    const QString folder = options.storageFolder.isEmpty() ? platform::applicationDataFolder(QStringLiteral("Diagnostics"))
                                                           : options.storageFolder;
    QDir().mkpath(folder);

    reporting::DeliveryOptions delivery;
    delivery.endpoints = options.endpoints;
    delivery.initialRetryMillis = options.retryInitialMillis;
    std::string error;
    auto queue = reporting::DeliveryQueue::open(QDir(folder).filePath(QStringLiteral("reports.sqlite")).toStdString(),
                                                delivery, &error);
    if (!queue) {
        // Reports still work for this run; they are lost if the program stops before delivery.
        platform::log(logSubsystem, kLogCategory, platform::LogLevel::Error,
                      "Cannot open the report store (" + error + "); keeping reports in memory");
        queue = reporting::DeliveryQueue::open(":memory:", delivery, &error);
    }

    reporting::NotifierConfiguration configuration;
    configuration.apiKey = productKeys.crashReporterKey;
    configuration.appHangThresholdMillis = options.detectAppHangs ? kAppHangThresholdMillis : 0;
    configuration.enabledReleaseStages = {"daily", "beta", "production"};
    configuration.releaseStage = releaseStageName(stage).toStdString();
    configuration.appVersion = version.value_or(QString()).toStdString();
    configuration.storageFolder = folder.toStdString();
    configuration.captureCrashes = options.captureCrashes;
    configuration.appHangPollMillis = options.appHangPollMillis;
    configuration.mainThreadDispatcher = [](std::function<void()> fn) { platform::dispatchMain(std::move(fn)); };
    auto notifier = std::make_unique<reporting::Notifier>(queue);
    notifier->start(std::move(configuration));

    auto analytics = std::make_unique<reporting::AnalyticsClient>(queue);
    analytics->start(productKeys.analyticsAppSecret, version.value_or(QString()).toStdString());
    if (const auto country = reporting::countryCodeFromEnvironment())
        analytics->setCountryCode(*country);

    std::shared_ptr<Diagnostics> instance(
        new Diagnostics(subsystem, std::move(queue), std::move(notifier), std::move(analytics), stage));
    instance->observeDefaults();
    AssertionHelperTracker::shared().setAssertionHelperTrackingProvider(instance);
    AssertionHelperTracker::shared().setLog(logSubsystem);
    return instance;
}

void Diagnostics::startup(APIKey apiKey, const QString& subsystem, const DiagnosticsOptions& options)
{
    std::unique_lock lock(startupMutex);
    if (sharedInstance.load()) {
        lock.unlock();
        assertionFailure("Can only startup once!");
        return;
    }
    // Kept alive by the tracker as well; never released.
    auto instance = create(apiKey, subsystem, options);
    static std::shared_ptr<Diagnostics> keeper;
    keeper = instance;
    sharedInstance = instance.get();
    if (auto* app = QCoreApplication::instance()) {
        // Once the event loop is gone, heartbeats no longer run: that is not a hang.
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { Diagnostics::suspendAppHangDetection(); });
    }
}

bool Diagnostics::isStarted()
{
    return sharedInstance.load() != nullptr;
}

Diagnostics& Diagnostics::shared()
{
    Diagnostics* instance = sharedInstance.load();
    if (!instance)
        fatalError("Diagnostics was accessed before startup");
    return *instance;
}

bool Diagnostics::analyticsEnabled()
{
    return shared().analyticsEnabled_;
}

void Diagnostics::setAnalyticsEnabled(bool enabled)
{
    shared().applyAnalyticsEnabled(enabled);
}

bool Diagnostics::errorReportingEnabled()
{
    return shared().errorReportingEnabled_;
}

void Diagnostics::setErrorReportingEnabled(bool enabled)
{
    shared().applyErrorReportingEnabled(enabled);
}

void Diagnostics::suspendAppHangDetection()
{
    if (Diagnostics* instance = sharedInstance.load())
        instance->notifier_->suspendAppHangDetection();
}

void Diagnostics::resumeAppHangDetection()
{
    if (Diagnostics* instance = sharedInstance.load())
        instance->notifier_->resumeAppHangDetection();
}

void Diagnostics::prepareForFatalStop()
{
    if (Diagnostics* instance = sharedInstance.load())
        instance->notifier_->prepareForFatalStop();
}

Diagnostics::Diagnostics(QString subsystem, std::shared_ptr<reporting::DeliveryQueue> delivery,
                         std::unique_ptr<reporting::Notifier> notifier,
                         std::unique_ptr<reporting::AnalyticsClient> analytics, ReleaseStage stage)
    : log_(std::move(subsystem)),
      delivery_(std::move(delivery)),
      notifier_(std::move(notifier)),
      analytics_(std::move(analytics)),
      releaseStage_(stage)
{
}

Diagnostics::~Diagnostics()
{
    observers_.reset();
    notifier_.reset();
    analytics_.reset();
}

// The two switches follow the defaults from now on, whoever changes them; both handlers run
// once now, so the held services are released or purged before start-up returns.
void Diagnostics::observeDefaults()
{
    observers_ = std::make_unique<QObject>();
    if (auto* app = QCoreApplication::instance())
        observers_->moveToThread(app->thread());
    QObject::connect(&defaults(), &platform::UserDefaults::changed, observers_.get(), [this](const QString& key) {
        if (key == kErrorKey)
            applyErrorReportingEnabled(defaults().boolForKey(kErrorKey));
        else if (key == kAnalyticsKey)
            applyAnalyticsEnabled(defaults().boolForKey(kAnalyticsKey));
    });
    applyErrorReportingEnabled(defaults().boolForKey(kErrorKey));
    applyAnalyticsEnabled(defaults().boolForKey(kAnalyticsKey));
}

void Diagnostics::applyAnalyticsEnabled(bool enabled)
{
    analyticsEnabled_ = enabled;
    // Also while the channel is still held, so the first apply always decides.
    if (analytics_->isEnabled() != enabled || delivery_->gate(reporting::Channel::Analytics) == reporting::Gate::Held)
        analytics_->setEnabled(enabled);
    if (defaults().boolForKey(kAnalyticsKey) != enabled)
        defaults().setBool(enabled, kAnalyticsKey);
}

void Diagnostics::applyErrorReportingEnabled(bool enabled)
{
    errorReportingEnabled_ = enabled;
    if (enabled)
        notifier_->resumeSession();
    else
        notifier_->pauseSession();
    // Pausing the session alone would still let crash, error and hang reports go out.
    notifier_->setDeliveryEnabled(enabled);
    if (defaults().boolForKey(kErrorKey) != enabled)
        defaults().setBool(enabled, kErrorKey);
}

void Diagnostics::markLaunchCompleted()
{
    notifier_->markLaunchCompleted();
}

// --- analytics ------------------------------------------------------------------------------------

void Diagnostics::record(const QString& name, const std::optional<AnalyticProperties>& properties)
{
    if (!analyticsEnabled_)
        return;
    std::optional<reporting::EventProperties> converted;
    if (properties) {
        converted.emplace();
        for (auto it = properties->cbegin(); it != properties->cend(); ++it)
            (*converted)[it.key().toStdString()] = it.value().toStdString();
    }
    analytics_->trackEvent(name.toStdString(), converted);
}

} // namespace QMDiagnostics
