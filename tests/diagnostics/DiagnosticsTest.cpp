// Diagnostics against a loopback server with the real main loop: the user's switches, reports
// from the funnels and AssertionHelper, analytics events and app hangs.
#include "diagnostics/AssertionHelper.h"
#include "diagnostics/Funnels.h"
#include "platform/foundation/Log.h"
#include "platform/reporting/AnalyticsClient.h"
#include "platform/reporting/Notifier.h"
#include "tests/diagnostics/DiagnosticsFixture.h"
#include "tests/support/WaitUntil.h"

#include <QDir>
#include <QFile>

#include <thread>

using namespace QMDiagnostics;
using namespace std::chrono_literals;
using testsupport::pumpEvents;
using testsupport::waitUntil;

namespace {

class DiagnosticsTest : public DiagnosticsFixture {
protected:
    // Errors, funnel messages, an event and breadcrumbs: everything the module can be asked to send.
    void makeReportsAndEvents()
    {
        AssertionHelper::error(platform::Error(QStringLiteral("DeviceErrorDomain"), 7, QStringLiteral("port lost")),
                               "/build/klv/comm/Port.cpp", 12);
        assertionFailure("cue list out of order", FunnelDetails {std::nullopt, {{QStringLiteral("channel"), QStringLiteral("2")}}, {}});
        AssertionHelper::exception(platform::Exception(QStringLiteral("XmlParseException"), QStringLiteral("bad tag")),
                                   "/build/shared/Xml.cpp", 3);
        diagnostics_->leaveBreadcrumb(QStringLiteral("opened"), QVariantMap {{QStringLiteral("cues"), 4}},
                                      Diagnostics::BreadcrumbType::user);
        diagnostics_->record(QStringLiteral("Export"), AnalyticProperties {{QStringLiteral("hd"), QStringLiteral("true")}});
    }

    // Blocks the main thread (this test's own), then lets the event loop catch up.
    static void blockMainThread(std::chrono::milliseconds d)
    {
        std::this_thread::sleep_for(d);
        pumpEvents(300);
    }

    std::size_t hangReports() const
    {
        std::size_t n = 0;
        for (const auto& e : reportedEvents())
            n += e["exceptions"][0]["errorClass"] == platform::reporting::kAppHangErrorClass ? 1 : 0;
        return n;
    }
};

} // namespace

TEST_F(DiagnosticsTest, WithBothSwitchesOffNothingLeavesTheMachine)
{
    setSwitches(false, false);
    start(true);
    EXPECT_FALSE(diagnostics_->notifier().deliveryEnabled().value_or(true));
    EXPECT_FALSE(diagnostics_->analytics().isEnabled());
    makeReportsAndEvents();
    blockMainThread(2500ms);
    pumpEvents(1000);
    EXPECT_EQ(server_.count(), 0u);
    EXPECT_EQ(storedRows(), 0u); // not even kept for later
    EXPECT_FALSE(QFile::exists(QDir(storageFolder()).filePath(QString::fromLatin1(platform::reporting::kHangMarkerFileName))));
}

TEST_F(DiagnosticsTest, WithBothSwitchesOnEverythingArrivesAndOneHangIsOneReport)
{
    setSwitches(true, true);
    start(true);
    makeReportsAndEvents();
    ASSERT_TRUE(waitUntil([&] { return bodiesTo("/notify").size() == 3 && bodiesTo("/analytics").size() == 2; }));
    EXPECT_EQ(bodiesTo("/sessions").size(), 1u);

    const auto events = reportedEvents();
    const auto& error = events[0];
    EXPECT_EQ(error["exceptions"][0]["errorClass"], "DeviceErrorDomain");
    EXPECT_EQ(error["exceptions"][0]["message"], "port lost");
    EXPECT_EQ(error["severity"], "error");
    EXPECT_EQ(error["metaData"]["Error"]["file"], "klv/comm/Port.cpp");
    EXPECT_EQ(error["metaData"]["Error"]["line"], "12");
    EXPECT_EQ(error["app"]["releaseStage"], "daily");

    const auto& message = events[1];
    EXPECT_EQ(message["exceptions"][0]["errorClass"], kDiagnosticsErrorDomain);
    EXPECT_EQ(message["exceptions"][0]["message"], "cue list out of order");
    EXPECT_EQ(message["metaData"]["errorDetails"]["code"], -1);
    EXPECT_EQ(message["severity"], "info");
    EXPECT_EQ(message["metaData"]["Error"]["file"], __FILE__);
    EXPECT_EQ(message["metaData"]["Error"]["channel"], "2");

    const auto& exception = events[2];
    EXPECT_EQ(exception["exceptions"][0]["errorClass"], "XmlParseException");
    EXPECT_EQ(exception["exceptions"][0]["message"], "bad tag");
    EXPECT_EQ(exception["severity"], "error");
    EXPECT_EQ(exception["metaData"]["Error"]["file"], "shared/Xml.cpp");

    const auto analytics = bodiesTo("/analytics");
    EXPECT_EQ(analytics[1]["logs"][0]["name"], "Export");
    EXPECT_EQ(analytics[1]["logs"][0]["properties"]["hd"], "true");
    EXPECT_EQ(server_.requestsTo("/analytics")[0].headers.at("app-secret"),
              Diagnostics::keys(Diagnostics::APIKey::klv).analyticsAppSecret);

    blockMainThread(2500ms);
    ASSERT_TRUE(waitUntil([&] { return hangReports() == 1; }));
    pumpEvents(500);
    EXPECT_EQ(hangReports(), 1u);
    const auto hang = reportedEvents().back();
    EXPECT_EQ(hang["unhandled"], false);
    EXPECT_GE(hang["metaData"]["appHang"]["duration"].get<int>(), 2000);
    EXPECT_EQ(hang["breadcrumbs"].back()["name"], "opened");

    blockMainThread(1500ms);
    pumpEvents(1000);
    EXPECT_EQ(hangReports(), 1u);
}

TEST_F(DiagnosticsTest, HangsWhileSuspendedAreNotReported)
{
    setSwitches(true, false);
    start(true);
    diagnostics_->notifier().suspendAppHangDetection();
    blockMainThread(2500ms);
    diagnostics_->notifier().resumeAppHangDetection();
    pumpEvents(1000);
    EXPECT_EQ(hangReports(), 0u);
}

TEST_F(DiagnosticsTest, SwitchesFollowTheDefaultsWhileRunning)
{
    setSwitches(false, false);
    start();
    diagnostics_->record(QStringLiteral("Dropped"), std::nullopt);

    defaults().setBool(true, QString::fromLatin1(kEnableAnalyticsReportingKey));
    ASSERT_TRUE(waitUntil([&] { return diagnostics_->analytics().isEnabled(); }));
    diagnostics_->record(QStringLiteral("Kept"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return bodiesTo("/analytics").size() == 1; }));
    EXPECT_EQ(bodiesTo("/analytics")[0]["logs"][0]["name"], "Kept");
    EXPECT_FALSE(bodiesTo("/analytics")[0]["logs"][0].contains("properties"));

    defaults().setBool(true, QString::fromLatin1(kEnableErrorReportingKey));
    ASSERT_TRUE(waitUntil([&] { return diagnostics_->notifier().deliveryEnabled().value_or(false); }));
    AssertionHelper::message(QStringLiteral("now reported"), __FILE__, __LINE__);
    ASSERT_TRUE(waitUntil([&] { return reportedEvents().size() == 1; }));

    defaults().setBool(false, QString::fromLatin1(kEnableErrorReportingKey));
    ASSERT_TRUE(waitUntil([&] { return !diagnostics_->notifier().deliveryEnabled().value_or(true); }));
    AssertionHelper::message(QStringLiteral("not reported"), __FILE__, __LINE__);
    pumpEvents(300);
    EXPECT_EQ(reportedEvents().size(), 1u);
    EXPECT_FALSE(diagnostics_->notifier().currentSessionId().has_value()); // paused
}

TEST_F(DiagnosticsTest, TrackerLogsUnderAssertionsAndReportsWhatItGets)
{
    setSwitches(true, false);
    start();
    platform::LogCapture capture;
    AssertionHelper::error(platform::Error(QStringLiteral("D"), 1, QStringLiteral("broken")), "\xff\xfe.cpp", 7);
    AssertionHelper::exception(platform::Exception(QStringLiteral("NoReason"), QString()), "/a/b.cpp", 9);
    precondition(true, [] {
        ADD_FAILURE() << "the message of a holding check is never built";
        return QString();
    });
    EXPECT_TRUE(checkCondition(true, "fine"));
    EXPECT_FALSE(checkCondition(false, "checked"));
    assertCondition(false, "asserted");

    EXPECT_TRUE(capture.contains("broken at unknown:7", platform::LogLevel::Error));
    EXPECT_TRUE(capture.contains("NoReason [] at /a/b.cpp:9", platform::LogLevel::Error));
    bool infoLine = false;
    for (const auto& r : capture.records())
        infoLine |= r.category == "Assertions" && r.level == platform::LogLevel::Info && r.message.find("checked at ") == 0;
    EXPECT_TRUE(infoLine);

    ASSERT_TRUE(waitUntil([&] { return reportedEvents().size() == 4; }));
    const auto events = reportedEvents();
    EXPECT_EQ(events[0]["metaData"]["Error"]["file"], "unknown");
    EXPECT_EQ(events[1]["exceptions"][0]["message"], "");
    EXPECT_EQ(events[2]["exceptions"][0]["message"], "checked");
    EXPECT_EQ(events[3]["exceptions"][0]["message"], "asserted");
    EXPECT_EQ(events[3]["severity"], "info");
}

TEST_F(DiagnosticsTest, BreadcrumbsOfEveryKindReachTheReport)
{
    setSwitches(true, false);
    start();
    using T = Diagnostics::BreadcrumbType;
    for (T type : {T::manual, T::log, T::navigation, T::process, T::request, T::state, T::user})
        diagnostics_->leaveBreadcrumb(QStringLiteral("crumb"), std::nullopt, type);
    diagnostics_->leaveBreadcrumbForNotificationName(QStringLiteral("KLVPlaylistDidChange"));
    diagnostics_->leaveNetworkRequestBreadcrumb({QStringLiteral("GET"), QStringLiteral("http://127.0.0.1/x"), 404, 12, 0, 9});
    diagnostics_->notify(platform::Exception(QStringLiteral("Plain"), QStringLiteral("notice")));
    ASSERT_TRUE(waitUntil([&] { return reportedEvents().size() == 1; }));
    const auto event = reportedEvents()[0];
    EXPECT_TRUE(event["metaData"].empty()); // the plain notice carries no position
    const auto& crumbs = event["breadcrumbs"];
    ASSERT_EQ(crumbs.size(), 9u);
    const char* names[] = {"manual", "log", "navigation", "process", "request", "state", "user"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(crumbs[i]["type"], names[i]);
        EXPECT_FALSE(crumbs[i].contains("metaData"));
    }
    EXPECT_EQ(crumbs[7]["name"], "KLVPlaylistDidChange");
    EXPECT_EQ(crumbs[8]["type"], "request");
    EXPECT_EQ(crumbs[8]["name"], "Network request failed");
    EXPECT_EQ(crumbs[8]["metaData"]["status"], 404);
}

TEST(AssertionHelperTracker, DoesNothingBeforeStartUp)
{
    auto fresh = std::make_shared<AssertionHelperTracker>();
    AssertionHelperTracker::setShared(fresh);
    platform::LogCapture capture;
    AssertionHelper::error(platform::Error(QStringLiteral("D"), 1, QStringLiteral("lost")), __FILE__, __LINE__);
    assertionFailure("also lost");
    EXPECT_EQ(capture.count(), 0u);
    EXPECT_FALSE(fresh->log().has_value());
    EXPECT_FALSE(fresh->assertionHelperTrackingProvider());
    AssertionHelperTracker::setShared(nullptr);
}
