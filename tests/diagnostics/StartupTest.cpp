// The class-level start-up, the legacy switch, fatalError and the stop behaviour: each runs in
// a child process, since they change what a process can only have once.
#include "diagnostics/AssertionHelper.h"
#include "diagnostics/Funnels.h"
#include "diagnostics/KLVDiagnostics.h"
#include "platform/foundation/Log.h"
#include "platform/reporting/Gzip.h"
#include "platform/reporting/Notifier.h"
#include "tests/diagnostics/DiagnosticsFixture.h"
#include "tests/platform/reporting/support/ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

using namespace QMDiagnostics;

namespace {

class StartupTest : public DiagnosticsFixture {
protected:
    void SetUp() override
    {
        testsupport::useFreshChildProcesses();
        DiagnosticsFixture::SetUp();
    }
    const QString legacyKey = QString::fromLatin1(kEnableCrashReportingKey);
    const QString errorKey = QString::fromLatin1(kEnableErrorReportingKey);
};

// Answers 1 when a check fails, so a child can add them up.
int fails(bool ok)
{
    return ok ? 0 : 1;
}

// Records what reaches it and ends the process: a report where none may be made shows as exit 3.
struct ExitingProvider : AssertionHelperTrackingProvider {
    void error(const platform::Error&, const QString&, std::uint64_t, const TrackingProperties&,
               const QStringList&) override { ::_exit(3); }
    void exception(const platform::Exception&, const QString&, std::uint64_t, const TrackingProperties&,
                   const QStringList&) override { ::_exit(3); }
    void message(const QString&, const QString&, const QString&, std::uint64_t, const QStringList&,
                 const TrackingProperties&, const QStringList&) override { ::_exit(3); }
};

} // namespace

TEST_F(StartupTest, LegacySwitchIsFoldedInOnlyWhenTheUserStoredIt)
{
    defaults().setBool(true, legacyKey);
    // The checks run in the child, which exits with the number that failed.
    const auto checks = [&] {
        KLVDiagnostics::startup(options());
        int n = fails(defaults().boolForKey(errorKey) && defaults().isPersisted(errorKey));
        n += fails(!defaults().objectForKey(legacyKey).isValid());
        n += fails(Diagnostics::errorReportingEnabled());
        n += fails(Diagnostics::shared().notifier().currentSessionId().has_value()); // resumed
        n += fails(Diagnostics::shared().notifier().deliveryEnabled() == true);
        return n;
    };
    EXPECT_EXIT(::_exit(checks()), ::testing::ExitedWithCode(0), "");
}

TEST_F(StartupTest, LegacySwitchOnlyRegisteredChangesNothing)
{
    // Registered, not stored: the user never chose it, so nothing changes.
    defaults().setBool(false, errorKey);
    defaults().registerDefaults({{legacyKey, true}});
    // The checks run in the child, which exits with the number that failed.
    const auto checks = [&] {
        KLVDiagnostics::startup(options());
        int n = fails(!defaults().boolForKey(errorKey));
        n += fails(!Diagnostics::errorReportingEnabled());
        n += fails(Diagnostics::shared().notifier().deliveryEnabled() == false);
        return n;
    };
    EXPECT_EXIT(::_exit(checks()), ::testing::ExitedWithCode(0), "");
}

TEST_F(StartupTest, SecondStartupIsRefusedAndTheFirstStaysInForce)
{
    setSwitches(false, false);
    // The checks run in the child, which exits with the number that failed.
    const auto checks = [&] {
        platform::LogCapture capture;
        KLVDiagnostics::startup(options());
        Diagnostics* first = &Diagnostics::shared();
        DiagnosticsOptions other = options();
        other.version = QStringLiteral("main");
        Diagnostics::startup(Diagnostics::APIKey::crv, QStringLiteral("com.quenmark.other"), other);
        int n = fails(&Diagnostics::shared() == first);
        n += fails(Diagnostics::shared().releaseStage() == ReleaseStage::daily);
        n += fails(capture.contains("Can only startup once!", platform::LogLevel::Info));
        // The class-level switch writes the default and applies it.
        Diagnostics::setAnalyticsEnabled(true);
        n += fails(Diagnostics::analyticsEnabled() && defaults().boolForKey(QString::fromLatin1(kEnableAnalyticsReportingKey)));
        KLVDiagnostics::markLaunchCompleted();
        n += fails(!Diagnostics::shared().notifier().isLaunching());
        return n;
    };
    EXPECT_EXIT(::_exit(checks()), ::testing::ExitedWithCode(0), "");
}

TEST_F(StartupTest, UseBeforeStartupStopsTheProgram)
{
    EXPECT_DEATH(Diagnostics::shared(), "Fatal error: Diagnostics was accessed before startup");
    EXPECT_DEATH(Diagnostics::setErrorReportingEnabled(true), "accessed before startup");
    Diagnostics::suspendAppHangDetection(); // harmless before start-up
    Diagnostics::resumeAppHangDetection();
}

TEST_F(StartupTest, FatalErrorStoresItsReportBeforeStopping)
{
    setSwitches(true, false);
    DiagnosticsOptions o = options();
    o.endpoints = {}; // keep the report in the store, where this test reads it
    o.captureCrashes = true;
    EXPECT_EXIT(
        {
            KLVDiagnostics::startup(o);
            fatalError("playlist document is gone",
                       FunnelDetails {std::nullopt, {{QStringLiteral("cues"), QStringLiteral("0")}}, {}});
        },
        testsupport::diedOf(SIGABRT), "Fatal error: playlist document is gone");
    auto store = platform::reporting::ReportStore::open(
        QDir(storageFolder()).filePath(QStringLiteral("reports.sqlite")).toStdString());
    ASSERT_TRUE(store);
    const auto row = store->oldest(platform::reporting::Channel::Notify);
    ASSERT_TRUE(row);
    const auto body = platform::reporting::gzipDecompress(row->body);
    ASSERT_TRUE(body);
    const auto event = nlohmann::json::parse(*body)["events"][0];
    EXPECT_EQ(event["exceptions"][0]["message"], "playlist document is gone");
    EXPECT_EQ(event["metaData"]["Error"]["cues"], "0");
    EXPECT_EQ(store->count(platform::reporting::Channel::Notify), 1u);
    // The abort that followed added no crash report of its own.
    EXPECT_EQ(QFileInfo(QDir(storageFolder()).filePath(QString::fromLatin1(platform::reporting::kCrashFileName))).size(), 0);
}

TEST_F(StartupTest, DevelopmentBehaviorStopsAtOnceWithoutAReport)
{
    defaults().setBool(true, QString::fromLatin1(kDevelopmentBehaviorKey));
    defaults().synchronize();
    EXPECT_EXIT(
        {
            AssertionHelperTracker::shared().setAssertionHelperTrackingProvider(std::make_shared<ExitingProvider>());
            assertionFailure("stop here");
            ::_exit(0);
        },
        ::testing::KilledBySignal(SIGILL), "");
    EXPECT_EXIT(
        {
            AssertionHelperTracker::shared().setAssertionHelperTrackingProvider(std::make_shared<ExitingProvider>());
            precondition(true, "holds");
            checkCondition(false, "fails");
            ::_exit(0);
        },
        ::testing::KilledBySignal(SIGILL), "");
    EXPECT_EXIT(
        {
            AssertionHelperTracker::shared().setAssertionHelperTrackingProvider(std::make_shared<ExitingProvider>());
            fatalError("fatal in development");
        },
        ::testing::KilledBySignal(SIGABRT), "Fatal error: fatal in development: file .*StartupTest.cpp, line [0-9]+");
}

TEST_F(StartupTest, TheMainLoopEndingIsNoHang)
{
    setSwitches(true, false);
    const QString marker = QDir(storageFolder()).filePath(QString::fromLatin1(platform::reporting::kHangMarkerFileName));
    // Once the loop has quit, the main thread answers no heartbeat for longer than the hang
    // threshold (shutting down): no hang may be recorded for it.
    const auto checks = [&] {
        KLVDiagnostics::startup(options(true));
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        std::this_thread::sleep_for(std::chrono::milliseconds(2600));
        return fails(!QFile::exists(marker));
    };
    EXPECT_EXIT(::_exit(checks()), ::testing::ExitedWithCode(0), "");
}
