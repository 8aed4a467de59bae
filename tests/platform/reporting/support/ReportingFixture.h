#pragma once
// A temporary folder and a loopback server for one test, with a delivery queue that posts to
// it (retrying quickly).

#include "platform/reporting/DeliveryQueue.h"
#include "platform/reporting/Notifier.h"
#include "tests/platform/reporting/support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace testsupport {

class ReportingFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string folder() const { return dir_.string(); }
    std::string databasePath() const { return (dir_ / "reports.sqlite").string(); }
    platform::reporting::DeliveryOptions deliveryOptions() const;
    std::shared_ptr<platform::reporting::DeliveryQueue> openQueue();
    // A daily build's notifier in this test's folder, without crash capture or hang detection.
    platform::reporting::NotifierConfiguration notifierConfiguration() const;

    // Requests to a path, their bodies parsed.
    std::vector<nlohmann::json> bodiesTo(const std::string& path) const;

    LoopbackHttpServer server_;
    std::filesystem::path dir_;
    bool ownsFolder_ = false;
};

} // namespace testsupport
