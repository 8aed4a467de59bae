#include "platform/reporting/Notifier.h"
#include "tests/platform/reporting/support/ReportingFixture.h"

#include <gtest/gtest.h>

using namespace platform::reporting;
using testsupport::eventually;

namespace {

class NotifierTest : public testsupport::ReportingFixture {
protected:
    platform::reporting::NotifierConfiguration configuration() const { return notifierConfiguration(); }
};

} // namespace

TEST_F(NotifierTest, ReportIsStoredBeforeNotifyReturnsAndCarriesItsContext)
{
    auto queue = openQueue();
    Notifier notifier(queue);
    ASSERT_TRUE(notifier.start(configuration()));
    EXPECT_FALSE(notifier.start(configuration()));
    notifier.leaveBreadcrumb("opened playlist", {{"channel", 2}}, BreadcrumbType::Navigation);

    ReportEvent event = Notifier::handledEvent("ParserError", "bad frame", Severity::Warning);
    EXPECT_FALSE(event.errors[0].stacktrace.empty());
    ASSERT_TRUE(notifier.notify(event, [](ReportEvent& e) {
        e.severity = Severity::Info;
        e.addMetadata("Error", "file", "klv/comm.cpp");
        return true;
    }));
    EXPECT_EQ(queue->store().count(Channel::Notify), 1u); // committed, nothing sent: still held
    EXPECT_EQ(queue->store().count(Channel::Sessions), 1u);
    EXPECT_EQ(server_.count(), 0u);
    EXPECT_FALSE(notifier.deliveryEnabled().has_value());

    notifier.setDeliveryEnabled(true);
    ASSERT_TRUE(server_.waitForCount(2));
    const auto reports = bodiesTo("/notify");
    ASSERT_EQ(reports.size(), 1u);
    const auto& payload = reports[0];
    EXPECT_EQ(payload["apiKey"], "5c1e0a7f3b9d24e6a8f0c2b4d6e81357");
    const auto& e = payload["events"][0];
    EXPECT_EQ(e["exceptions"][0]["errorClass"], "ParserError");
    EXPECT_EQ(e["exceptions"][0]["message"], "bad frame");
    EXPECT_FALSE(e["exceptions"][0]["stacktrace"].empty());
    EXPECT_EQ(e["severity"], "info");
    EXPECT_EQ(e["unhandled"], false);
    EXPECT_EQ(e["metaData"]["Error"]["file"], "klv/comm.cpp");
    EXPECT_EQ(e["app"]["releaseStage"], "daily");
    EXPECT_EQ(e["app"]["version"], "2026.12.8");
    EXPECT_EQ(e["app"]["isLaunching"], true);
    EXPECT_EQ(e["session"]["events"]["handled"], 1);
    ASSERT_EQ(e["breadcrumbs"].size(), 1u);
    EXPECT_EQ(e["breadcrumbs"][0]["name"], "opened playlist");
    EXPECT_EQ(e["breadcrumbs"][0]["type"], "navigation");
    EXPECT_EQ(e["breadcrumbs"][0]["metaData"]["channel"], 2);
    EXPECT_EQ(server_.requestsTo("/notify")[0].headers.at("api-key"), "5c1e0a7f3b9d24e6a8f0c2b4d6e81357");

    const auto sessions = bodiesTo("/sessions");
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0]["sessions"][0]["id"], e["session"]["id"]);
}

TEST_F(NotifierTest, DroppedByTheCallbackOrAStageOutsideTheEnabledOnes)
{
    auto queue = openQueue();
    {
        Notifier notifier(queue);
        notifier.start(configuration());
        EXPECT_FALSE(notifier.notify(Notifier::handledEvent("E", "m", Severity::Error),
                                     [](ReportEvent&) { return false; }));
        EXPECT_EQ(queue->store().count(Channel::Notify), 0u);
    }
    queue->store().purge(Channel::Sessions);
    Notifier debugBuild(queue);
    NotifierConfiguration c = configuration();
    c.releaseStage = "debug";
    debugBuild.start(c);
    EXPECT_FALSE(debugBuild.notify(Notifier::handledEvent("E", "m", Severity::Error)));
    EXPECT_EQ(queue->store().count(), 0u); // neither the report nor a session
}

TEST_F(NotifierTest, SwitchedOffPurgesWhatWaitsAndStoresNothingMore)
{
    auto queue = openQueue();
    Notifier notifier(queue);
    notifier.start(configuration());
    notifier.notify(Notifier::handledEvent("E", "before the user's choice", Severity::Error));
    ASSERT_EQ(queue->store().count(), 2u); // report and session, held

    notifier.pauseSession();
    notifier.setDeliveryEnabled(false);
    EXPECT_EQ(notifier.deliveryEnabled(), false);
    EXPECT_EQ(queue->store().count(), 0u);
    EXPECT_FALSE(notifier.notify(Notifier::handledEvent("E", "while off", Severity::Error)));
    notifier.resumeSession();
    EXPECT_EQ(queue->store().count(), 0u);

    notifier.setDeliveryEnabled(true);
    ASSERT_TRUE(notifier.notify(Notifier::handledEvent("E", "after switching on", Severity::Error)));
    ASSERT_TRUE(server_.waitForCount(1));
    ASSERT_TRUE(eventually([&] { return queue->store().count() == 0; }));
    const auto reports = bodiesTo("/notify");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["events"][0]["exceptions"][0]["message"], "after switching on");
    EXPECT_TRUE(server_.requestsTo("/sessions").empty()); // the resumed session was the launch one
}

TEST_F(NotifierTest, SessionsPauseAndResume)
{
    auto queue = openQueue();
    Notifier notifier(queue);
    notifier.start(configuration());
    const auto first = notifier.currentSessionId();
    ASSERT_TRUE(first);
    notifier.pauseSession();
    EXPECT_FALSE(notifier.currentSessionId());
    notifier.notify(Notifier::handledEvent("E", "paused", Severity::Error));
    notifier.resumeSession();
    EXPECT_EQ(notifier.currentSessionId(), first);
    notifier.startSession();
    EXPECT_NE(notifier.currentSessionId(), first);
    notifier.setDeliveryEnabled(true);
    ASSERT_TRUE(server_.waitForCount(3));
    const auto reports = bodiesTo("/notify");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0]["events"][0]["session"].is_null());
    EXPECT_EQ(bodiesTo("/sessions").size(), 2u);
}

TEST_F(NotifierTest, BreadcrumbRingKeepsTheLatestHundred)
{
    auto queue = openQueue();
    Notifier notifier(queue);
    notifier.start(configuration());
    for (int i = 0; i < 130; ++i)
        notifier.leaveBreadcrumb("crumb " + std::to_string(i), nullptr, static_cast<BreadcrumbType>(i % 8));
    notifier.leaveBreadcrumb(std::string(3000, 'x') + "\xc3\xa9", nullptr, BreadcrumbType::User);
    const auto crumbs = notifier.breadcrumbs();
    ASSERT_EQ(crumbs.size(), 100u);
    EXPECT_EQ(crumbs.front().message, "crumb 31");
    EXPECT_EQ(crumbs.back().message.size(), BreadcrumbRing::kMaxMessageBytes);

    const char* names[] = {"manual", "error", "log", "navigation", "process", "request", "state", "user"};
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(breadcrumbTypeName(static_cast<BreadcrumbType>(i)), names[i]);
    EXPECT_EQ(truncateUtf8Bytes("a\xc3\xa9", 2), "a"); // never half a character
}
