#include "tests/platform/reporting/support/ReportingFixture.h"

#include "tests/platform/reporting/support/ChildProcess.h"

#include <cstdlib>
#include <unistd.h>

namespace testsupport {

void ReportingFixture::SetUp()
{
    ASSERT_TRUE(server_.isListening());
    // A death-test child works in its parent's folder.
    if (const char* parent = std::getenv(kParentFolderVariable)) {
        dir_ = parent;
        return;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path()
        / ("klv-reporting-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv(kParentFolderVariable, dir_.c_str(), 1);
    ownsFolder_ = true;
}

void ReportingFixture::TearDown()
{
    if (!ownsFolder_)
        return;
    unsetenv(kParentFolderVariable);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

platform::reporting::DeliveryOptions ReportingFixture::deliveryOptions() const
{
    platform::reporting::DeliveryOptions o;
    o.endpoints = {server_.url("/notify"), server_.url("/sessions"), server_.url("/analytics")};
    o.initialRetryMillis = 20;
    o.maxRetryMillis = 200;
    o.requestTimeoutMillis = 5000;
    return o;
}

std::shared_ptr<platform::reporting::DeliveryQueue> ReportingFixture::openQueue()
{
    return platform::reporting::DeliveryQueue::open(databasePath(), deliveryOptions());
}

platform::reporting::NotifierConfiguration ReportingFixture::notifierConfiguration() const
{
    platform::reporting::NotifierConfiguration c;
    c.apiKey = "5c1e0a7f3b9d24e6a8f0c2b4d6e81357";
    c.releaseStage = "daily";
    c.enabledReleaseStages = {"daily", "beta", "production"};
    c.appVersion = "2026.12.8";
    c.storageFolder = folder();
    c.captureCrashes = false;
    c.appHangThresholdMillis = 0;
    return c;
}

std::vector<nlohmann::json> ReportingFixture::bodiesTo(const std::string& path) const
{
    std::vector<nlohmann::json> bodies;
    for (const auto& r : server_.requestsTo(path))
        bodies.push_back(r.json());
    return bodies;
}

} // namespace testsupport
