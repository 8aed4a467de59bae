#include "tests/diagnostics/DiagnosticsFixture.h"

#include "diagnostics/AssertionHelperTracker.h"

#include "tests/platform/reporting/support/ChildProcess.h"

#include <QDir>

#include <cstdlib>

void DiagnosticsFixture::SetUp()
{
    ASSERT_TRUE(temp_.isValid());
    ASSERT_TRUE(server_.isListening());
    // A death-test child keeps its settings and reports in its parent's folder.
    if (const char* parent = std::getenv(testsupport::kParentFolderVariable)) {
        folder_ = QString::fromLocal8Bit(parent);
    } else {
        folder_ = temp_.path();
        setenv(testsupport::kParentFolderVariable, folder_.toLocal8Bit().constData(), 1);
        ownsFolderVariable_ = true;
    }
    platform::UserDefaults::setSharedFilePath(QDir(folder_).filePath(QStringLiteral("config/Kalvanto.conf")));
}

void DiagnosticsFixture::TearDown()
{
    if (ownsFolderVariable_)
        unsetenv(testsupport::kParentFolderVariable);
    AssertionHelperTracker::shared().setAssertionHelperTrackingProvider(nullptr);
    AssertionHelperTracker::shared().clearLog();
    diagnostics_.reset();
}

QMDiagnostics::DiagnosticsOptions DiagnosticsFixture::options(bool detectHangs) const
{
    QMDiagnostics::DiagnosticsOptions o;
    o.endpoints = {server_.url("/notify"), server_.url("/sessions"), server_.url("/analytics")};
    o.storageFolder = storageFolder();
    o.version = QStringLiteral("2026.3.1");
    o.retryInitialMillis = 20;
    o.captureCrashes = false;
    o.detectAppHangs = detectHangs;
    o.appHangPollMillis = 50;
    return o;
}

std::shared_ptr<QMDiagnostics::Diagnostics> DiagnosticsFixture::start(bool detectHangs)
{
    diagnostics_ = QMDiagnostics::Diagnostics::create(QMDiagnostics::Diagnostics::APIKey::klv,
                                                      QStringLiteral("com.quenmark.kalvanto"), options(detectHangs));
    return diagnostics_;
}

void DiagnosticsFixture::setSwitches(bool errorReporting, bool analytics)
{
    defaults().setBool(errorReporting, QString::fromLatin1(QMDiagnostics::kEnableErrorReportingKey));
    defaults().setBool(analytics, QString::fromLatin1(QMDiagnostics::kEnableAnalyticsReportingKey));
}

std::size_t DiagnosticsFixture::storedRows() const
{
    auto store = platform::reporting::ReportStore::open(
        QDir(storageFolder()).filePath(QStringLiteral("reports.sqlite")).toStdString());
    return store ? store->count() : 0;
}

std::vector<nlohmann::json> DiagnosticsFixture::bodiesTo(const std::string& path) const
{
    std::vector<nlohmann::json> bodies;
    for (const auto& r : server_.requestsTo(path))
        bodies.push_back(r.json());
    return bodies;
}

std::vector<nlohmann::json> DiagnosticsFixture::reportedEvents() const
{
    std::vector<nlohmann::json> events;
    for (const auto& body : bodiesTo("/notify"))
        events.push_back(body["events"][0]);
    return events;
}
