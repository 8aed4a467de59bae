// The manager against the real tool (started by a fake installer) and against helpers that
// answer wrongly, late or not at all. No test ever runs pkexec.

#include "FakeHelper.h"
#include "platform/foundation/Log.h"
#include "privhelper/client/HelperManager.h"
#include "privhelper/client/WritableDestination.h"
#include "tests/privhelper/support/ScratchTree.h"
#include "tests/privhelper/support/ToolProcess.h"

#include <cerrno>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

using State = HelperManager::HelperState;
using Kind = HelperInstallOutcome::Kind;

namespace {

class ManagerTest : public ::testing::Test {
protected:
    std::string socketPath() const { return tree_.path() + "/helper.sock"; }

    // An installer that "installs" by starting the real tool on the test socket.
    std::shared_ptr<FakeInstaller> startingInstaller(std::function<void()> before = {})
    {
        return std::make_shared<FakeInstaller>([this, before] {
            if (before)
                before();
            tool_ = std::make_unique<privtest::ToolProcess>(
                tree_.path(), "allow-uid " + std::to_string(::geteuid()) + "\nroot "
                                  + tree_.makeDirectory("media") + "\n");
            return HelperInstallOutcome{tool_->started() ? Kind::installed : Kind::installFailed,
                                        "tool did not start"};
        });
    }

    static std::shared_ptr<FakeInstaller> refusingInstaller()
    {
        return std::make_shared<FakeInstaller>(
            [] { return HelperInstallOutcome{Kind::authorizationFailed, "Request dismissed"}; });
    }

    std::unique_ptr<HelperManager> manager(std::shared_ptr<HelperInstaller> installer,
                                           int timeoutMs = 5000)
    {
        HelperManager::Options options;
        options.socketPath = socketPath();
        options.installer = std::move(installer);
        options.versionTimeout = std::chrono::milliseconds(timeoutMs);
        return std::make_unique<HelperManager>(std::move(options));
    }

    privtest::ScratchTree tree_;
    std::unique_ptr<privtest::ToolProcess> tool_;
};

} // namespace

TEST(HelperManagerError, CodesAndTextsAreExact)
{
    struct Row {
        HelperManagerError error;
        int code;
        const char* description;
        const char* reason;
    };
    const Row rows[] = {
        {HelperManagerError::authorizationFailed("m"), -1,
         "Unable to get authorization to install helper tool. m", "m"},
        {HelperManagerError::blessingFailed("m"), -2, "Unable to register helper tool. m", "m"},
        {HelperManagerError::unknownConnectionError(), -3, "Unknown connection error.", ""},
        {HelperManagerError::connectionError("m"), -4, "Connection error: m", ""},
        {HelperManagerError::unknownInstallError(platform::Error("x", 1, "boom")), -5,
         "Unknown install error: boom", ""},
        {HelperManagerError::unknown(), -6, "Unknown error.", ""},
        {HelperManagerError::timeout(), -7, "Connection to helper service timedout", ""},
        {HelperManagerError::incorrectVersion(), -8,
         "Incorrect helper version installed. Needs update.", ""},
        {HelperManagerError::helperNotInstalled(), -9, "Helper not installed.", ""},
        {HelperManagerError::installationFailed(), -10, "Helper installation failed", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(row.error.error().domain, "HelperManagerError");
        EXPECT_EQ(row.error.error().code, row.code);
        EXPECT_EQ(static_cast<int>(row.error.kind()), row.code);
        EXPECT_EQ(row.error.error().description, QString::fromUtf8(row.description));
        EXPECT_EQ(row.error.error().failureReason, QString::fromUtf8(row.reason));
    }
    EXPECT_EQ(HelperManagerError::unknownInstallError(platform::Error("x", 1, "boom"))
                  .error()
                  .underlying->description,
              "boom");
    EXPECT_STREQ(HelperManager::description(State::startup),
                 "Startup state -- hasn't been checked yetc");
    EXPECT_STREQ(HelperManager::description(State::notIntstalled), "Not Installed");
    EXPECT_STREQ(HelperManager::description(State::installationFailed), "Failed Installation");
}

TEST_F(ManagerTest, InstallsAMissingHelperOnceAndThenFindsItInstalled)
{
    platform::LogCapture logs;
    auto installer = startingInstaller();
    auto m = manager(installer);
    EXPECT_NO_THROW(m->installIfNeeded());
    EXPECT_EQ(m->state(), State::installed);
    EXPECT_EQ(installer->calls, 1);
    EXPECT_NO_THROW(m->installIfNeeded());
    EXPECT_EQ(installer->calls, 1);
    EXPECT_TRUE(logs.contains("Installed status update: Not Installed"));
    EXPECT_TRUE(logs.contains("Installed status update: Installed"));
    EXPECT_TRUE(logs.contains("Connection Error: ", platform::LogLevel::Error));
}

TEST_F(ManagerTest, ReplacesAHelperOfAnotherVersion)
{
    auto old = std::make_unique<FakeHelperServer>(socketPath(), FakeHelperServer::Mode::answer, "0.9");
    auto installer = startingInstaller([&] { old->stop(); });
    auto m = manager(installer);
    platform::LogCapture logs;
    EXPECT_NO_THROW(m->installIfNeeded());
    EXPECT_EQ(installer->calls, 1);
    EXPECT_EQ(m->state(), State::installed);
    EXPECT_TRUE(logs.contains("Installed status update: Incorrect Version"));
    // The check after the installation talked to the new helper.
    EXPECT_EQ(privtest::RawClient(socketPath()).versionOrEmpty(), "1.0");
}

TEST_F(ManagerTest, ARefusedAuthorizationIsReportedAndTheNextCallAsksAgain)
{
    auto installer = refusingInstaller();
    auto m = manager(installer);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        try {
            m->installIfNeeded();
            ADD_FAILURE() << "no error";
        } catch (const HelperManagerError& e) {
            EXPECT_EQ(e.kind(), HelperManagerError::Case::authorizationFailed);
            EXPECT_EQ(e.error().description,
                      "Unable to get authorization to install helper tool. Request dismissed");
            EXPECT_EQ(e.error().failureReason, "Request dismissed");
        }
        EXPECT_EQ(installer->calls, attempt);
        EXPECT_EQ(m->state(), State::notIntstalled);
    }
}

TEST_F(ManagerTest, TwoThreadsAtOnceInstallOnce)
{
    auto installer = startingInstaller(
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); });
    auto m = manager(installer);
    std::atomic<int> failures{0};
    auto call = [&] {
        try {
            m->installIfNeeded();
        } catch (...) {
            ++failures;
        }
    };
    std::thread a(call), b(call);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(installer->calls, 1);
    EXPECT_EQ(m->state(), State::installed);
}

TEST_F(ManagerTest, AMuteHelperCountsAsNotInstalledAfterTheTimeOut)
{
    FakeHelperServer mute(socketPath(), FakeHelperServer::Mode::mute);
    auto installer = refusingInstaller();
    auto m = manager(installer, 300);
    platform::LogCapture logs;
    EXPECT_THROW(m->installIfNeeded(), HelperManagerError);
    EXPECT_EQ(m->state(), State::notIntstalled);
    EXPECT_EQ(installer->calls, 1);
    EXPECT_TRUE(logs.contains("Helper state check timeout -- assuming not installed"));
}

TEST_F(ManagerTest, AVersionReplyAfterTheTimeOutChangesNothing)
{
    FakeHelperServer slow(socketPath(), FakeHelperServer::Mode::answer, "1.0", 600);
    auto m = manager(refusingInstaller(), 100);
    EXPECT_THROW(m->installIfNeeded(), HelperManagerError);
    EXPECT_EQ(m->state(), State::notIntstalled);
    // Let the late reply arrive while the manager lives on.
    for (int i = 0; i < 200 && slow.repliesSent() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(slow.repliesSent(), 1);
    EXPECT_EQ(m->state(), State::notIntstalled);
}

TEST_F(ManagerTest, AHelperStillOfAnotherVersionAfterInstallingIsReported)
{
    FakeHelperServer stubborn(socketPath(), FakeHelperServer::Mode::answer, "0.9");
    auto installer = std::make_shared<FakeInstaller>([] { return HelperInstallOutcome{}; });
    auto m = manager(installer);
    try {
        m->installIfNeeded();
        ADD_FAILURE() << "no error";
    } catch (const HelperManagerError& e) {
        EXPECT_EQ(e.kind(), HelperManagerError::Case::incorrectVersion);
    }
    EXPECT_EQ(m->state(), State::incorrectVersion);
}

TEST_F(ManagerTest, AFailedInstallationCarriesTheInstallersMessage)
{
    auto installer = std::make_shared<FakeInstaller>(
        [] { return HelperInstallOutcome{Kind::installFailed, "disk full"}; });
    auto m = manager(installer);
    try {
        m->installIfNeeded();
        ADD_FAILURE() << "no error";
    } catch (const HelperManagerError& e) {
        EXPECT_EQ(e.error().code, -2);
        EXPECT_EQ(e.error().description, "Unable to register helper tool. disk full");
    }
}

TEST_F(ManagerTest, ASwitchedOffHelperIsNeitherInstalledNorAsked)
{
    FakeHelperServer server(socketPath(), FakeHelperServer::Mode::answer);
    auto installer = refusingInstaller();
    HelperManager::Options options;
    options.socketPath = socketPath();
    options.installer = installer;
    options.enabled = false;
    HelperManager m(options);
    platform::Error error;
    EXPECT_TRUE(WritableDestination::installPrivilegedHelperAndReturnError(&error, m));
    try {
        m.removeItem(tree_.at("x"));
        ADD_FAILURE() << "no error";
    } catch (const HelperOperationError& e) {
        EXPECT_EQ(e.error().code, -9);
    }
    EXPECT_EQ(installer->calls, 0);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(ManagerTest, OperationsOfAnInstalledHelperGoThroughItAndReportItsErrors)
{
    auto m = manager(startingInstaller());
    const std::string media = tree_.makeDirectory("media");
    const std::string file = tree_.writeFile("media/a.mov", "a");
    EXPECT_NO_THROW(m->copyItem(file, media + "/b.mov"));
    EXPECT_EQ(privtest::readFile(media + "/b.mov"), "a");
    try {
        m->removeItem(media + "/missing.mov");
        ADD_FAILURE() << "no error";
    } catch (const HelperOperationError& e) {
        EXPECT_EQ(e.error().domain, "posix");
        EXPECT_EQ(e.error().code, ENOENT);
    }
    std::promise<HelperOperationResult> done;
    m->moveItem(media + "/b.mov", media + "/c.mov",
                [&](const HelperOperationResult& r) { done.set_value(r); });
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(future.get().ok());
    EXPECT_EQ(privtest::readFile(media + "/c.mov"), "a");
}

TEST_F(ManagerTest, AHelperThatGoesAwayGivesConnectionErrorsAndIsReachedAgainWhenBack)
{
    auto m = manager(startingInstaller());
    ASSERT_NO_THROW(m->installIfNeeded());
    tool_.reset(); // killed
    try {
        m->removeItem(tree_.at("media/x"));
        ADD_FAILURE() << "no error";
    } catch (const HelperOperationError& e) {
        EXPECT_EQ(e.error().code, -4);
        EXPECT_TRUE(e.error().description.startsWith("Connection error: "));
    }
    tool_ = std::make_unique<privtest::ToolProcess>(
        tree_.path(), "allow-uid " + std::to_string(::geteuid()) + "\nroot " + tree_.at("media") + "\n");
    ASSERT_TRUE(tool_->started());
    tree_.writeFile("media/y", "y");
    EXPECT_NO_THROW(m->removeItem(tree_.at("media/y")));
    EXPECT_FALSE(privtest::exists(tree_.at("media/y")));
}

TEST_F(ManagerTest, WithoutAHelperTheOperationsReportTheirOwnFailure)
{
    auto installer = refusingInstaller();
    auto m = manager(installer);
    // Synchronous: the operation's own outcome (no connection) replaces the refused install.
    try {
        m->removeItem(tree_.at("x"));
        ADD_FAILURE() << "no error";
    } catch (const HelperOperationError& e) {
        EXPECT_EQ(e.error().code, -4);
    }
    // Asynchronous: the refused installation ends it, with exactly one completion.
    std::atomic<int> completions{0};
    std::promise<HelperOperationResult> done;
    m->removeItem(tree_.at("x"), [&](const HelperOperationResult& r) {
        if (++completions == 1)
            done.set_value(r);
    });
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto result = future.get();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error->code, -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(installer->calls, 2);
}
