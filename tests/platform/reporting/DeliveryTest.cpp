#include "platform/reporting/DeliveryQueue.h"
#include "platform/reporting/ReportingLog.h"
#include "tests/platform/reporting/support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform::reporting;
using testsupport::eventually;
using testsupport::LoopbackHttpServer;

namespace {

class DeliveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server_.isListening());
        dir_ = std::filesystem::temp_directory_path()
            / ("klv-delivery-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    DeliveryOptions options() const
    {
        DeliveryOptions o;
        o.endpoints = {server_.url("/notify"), server_.url("/sessions"), server_.url("/analytics")};
        o.initialRetryMillis = 20;
        o.maxRetryMillis = 200;
        o.requestTimeoutMillis = 5000;
        return o;
    }
    std::shared_ptr<DeliveryQueue> open(DeliveryOptions o)
    {
        return DeliveryQueue::open((dir_ / "reports.sqlite").string(), std::move(o));
    }

    LoopbackHttpServer server_;
    std::filesystem::path dir_;
};

} // namespace

TEST_F(DeliveryTest, HundredRowsArriveInOrderAsGzipWithTheirHeaders)
{
    auto queue = open(options());
    ASSERT_TRUE(queue);
    queue->setHeaders(Channel::Notify, {{"Api-Key", "k123"}, {"Content-Encoding", "gzip"}});
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(queue->enqueue(Channel::Notify, R"({"n":)" + std::to_string(i) + "}"));
    EXPECT_EQ(queue->store().count(Channel::Notify), 100u); // stored before any delivery
    EXPECT_EQ(server_.count(), 0u);                          // held: nothing sent yet
    queue->setGate(Channel::Notify, Gate::Open);

    ASSERT_TRUE(server_.waitForCount(100));
    ASSERT_TRUE(eventually([&] { return queue->store().count() == 0; }));
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        const auto& r = requests[static_cast<std::size_t>(i)];
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path, "/notify");
        EXPECT_EQ(r.headers.at("api-key"), "k123");
        EXPECT_EQ(r.headers.at("content-encoding"), "gzip");
        ASSERT_TRUE(r.inflated.has_value()) << "request " << i << " is not gzip";
        EXPECT_EQ(r.json()["n"], i);
    }
}

TEST_F(DeliveryTest, ServerErrorsAreRetriedUntilAccepted)
{
    server_.scriptStatuses({500, 500, 200, 503, 429, 408});
    auto queue = open(options());
    queue->setGate(Channel::Notify, Gate::Open);
    queue->enqueue(Channel::Notify, R"({"id":"a"})");
    ASSERT_TRUE(server_.waitForCount(3));
    ASSERT_TRUE(eventually([&] { return queue->store().count() == 0; }));
    queue->enqueue(Channel::Notify, R"({"id":"b"})");
    queue->enqueue(Channel::Notify, R"({"id":"c"})");
    ASSERT_TRUE(server_.waitForCount(3 + 3 + 2));
    ASSERT_TRUE(eventually([&] { return queue->store().count() == 0; }));
    std::vector<std::string> ids;
    for (const auto& r : server_.requests())
        ids.push_back(r.json()["id"]);
    EXPECT_EQ(ids, (std::vector<std::string> {"a", "a", "a", "b", "b", "b", "b", "c"}));
}

TEST_F(DeliveryTest, RefusedRowsAreDroppedAndTheRestGoOn)
{
    server_.scriptStatuses({400, 413});
    auto queue = open(options());
    queue->setGate(Channel::Analytics, Gate::Open);
    for (const char* id : {"x", "y", "z"})
        queue->enqueue(Channel::Analytics, std::string(R"({"id":")") + id + "\"}");
    ASSERT_TRUE(server_.waitForCount(3));
    ASSERT_TRUE(eventually([&] { return queue->store().count() == 0; }));
    EXPECT_EQ(server_.count(), 3u);
}

TEST_F(DeliveryTest, RowsWaitOutAnUnreachableServerAndSurviveARestart)
{
    DeliveryOptions o = options();
    o.endpoints.notify = "http://127.0.0.1:1/notify"; // nothing listens on port 1
    {
        auto queue = open(o);
        queue->setGate(Channel::Notify, Gate::Open);
        queue->enqueue(Channel::Notify, R"({"id":"kept"})");
        ASSERT_TRUE(eventually([&] { return queue->store().oldest(Channel::Notify)->attempts >= 2; }));
    }
    auto queue = open(options());
    EXPECT_EQ(queue->store().count(Channel::Notify), 1u);
    queue->setGate(Channel::Notify, Gate::Open);
    ASSERT_TRUE(server_.waitForCount(1));
    EXPECT_EQ(server_.requests()[0].json()["id"], "kept");
}

TEST_F(DeliveryTest, EmptyEndpointHeldAndClosedChannelsSendNothing)
{
    DeliveryOptions o = options();
    o.endpoints.sessions.clear();
    auto queue = open(o);
    queue->setGate(Channel::Sessions, Gate::Open); // open, but nowhere to send
    queue->enqueue(Channel::Sessions, "{}");
    queue->enqueue(Channel::Notify, "{}"); // held
    queue->enqueue(Channel::Analytics, "{}");
    queue->setGate(Channel::Analytics, Gate::Closed);
    EXPECT_EQ(queue->store().count(Channel::Analytics), 0u); // closing purges
    EXPECT_FALSE(queue->enqueue(Channel::Analytics, "{}"));  // and refuses
    EXPECT_EQ(queue->store().count(Channel::Analytics), 0u);

    // A send that was going to happen would have by now: the open notify channel below proves
    // the thread is alive.
    queue->setGate(Channel::Notify, Gate::Open);
    ASSERT_TRUE(server_.waitForCount(1));
    ASSERT_TRUE(eventually([&] { return queue->store().count(Channel::Notify) == 0; }));
    EXPECT_EQ(server_.count(), 1u);
    EXPECT_EQ(server_.requests()[0].path, "/notify");
    EXPECT_EQ(queue->store().count(Channel::Sessions), 1u);
}

TEST_F(DeliveryTest, ShutdownDuringBackOffIsPrompt)
{
    server_.scriptStatuses({500});
    DeliveryOptions o = options();
    o.initialRetryMillis = 60 * 60 * 1000;
    o.maxRetryMillis = 60 * 60 * 1000;
    auto queue = open(o);
    queue->setGate(Channel::Notify, Gate::Open);
    queue->enqueue(Channel::Notify, "{}");
    ASSERT_TRUE(server_.waitForCount(1));
    queue.reset(); // must not wait an hour
    EXPECT_EQ(server_.count(), 1u);
}
