// The tool as a real child process: its version, its lifetime across connections, and who it
// lets in.

#include "ToolTestSupport.h"

#include <sys/wait.h>

namespace proto = PrivilegedHelperProtocol;
using privtest::RawClient;

TEST_F(ToolTest, AnswersItsVersionAndQuitsWithStatusZeroAfterItsLastConnection)
{
    startTool();
    RawClient first(tool_->socketPath());
    RawClient second(tool_->socketPath());
    ASSERT_TRUE(first.connected() && second.connected());
    EXPECT_EQ(first.versionOrEmpty(), "1.0");
    EXPECT_EQ(second.versionOrEmpty(), HelperService::version);

    first.close();
    // The second connection is still served after the first has gone.
    EXPECT_EQ(second.versionOrEmpty(), "1.0");
    EXPECT_TRUE(tool_->running());

    second.close();
    EXPECT_EQ(tool_->waitForExit(10000), 0) << tool_->log();
    // It stopped accepting: its socket file is gone.
    EXPECT_FALSE(privtest::exists(tool_->socketPath()));
    const std::string log = tool_->log();
    EXPECT_NE(log.find("starting…"), std::string::npos) << log;
    EXPECT_NE(log.find("accepted new connection"), std::string::npos);
    EXPECT_NE(log.find("invalidating connection"), std::string::npos);
    EXPECT_NE(log.find("getting version"), std::string::npos);
}

TEST_F(ToolTest, KeepsRunningWithoutAnyConnection)
{
    startTool();
    EXPECT_FALSE(tool_->waitForExit(1500).has_value());
}

TEST_F(ToolTest, ARefusedPeerNeverCountsAsAConnection)
{
    // Only a client program that does not exist is allowed: every peer is refused by its
    // executable, and the refusals do not make the tool quit.
    startTool("client-executable /nonexistent/App\n");
    RawClient refused(tool_->socketPath());
    ASSERT_TRUE(refused.connected());
    refused.send(privtest::request(proto::getVersion));
    EXPECT_FALSE(refused.reply().has_value());
    EXPECT_FALSE(tool_->waitForExit(1500).has_value());
    EXPECT_NE(tool_->log().find("not allowed"), std::string::npos);
}

TEST_F(ToolTest, AUserNotInTheConfigurationIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    startTool();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // uid 65534 is not listed: the tool closes the connection without an answer.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        RawClient client(tool_->socketPath());
        if (!client.connected())
            ::_exit(3);
        client.send(privtest::request(proto::getVersion));
        ::_exit(client.reply().has_value() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(tool_->log().find("uid 65534"), std::string::npos) << tool_->log();
    // The allowed user is still served.
    RawClient allowed(tool_->socketPath());
    EXPECT_EQ(allowed.versionOrEmpty(), "1.0");
}

TEST(ToolStartup, RefusesAConfigurationOthersCanWrite)
{
    privtest::ScratchTree tree;
    privtest::ToolProcess tool(tree.path(), "allow-uid 0\n", 0666);
    EXPECT_FALSE(tool.started());
    EXPECT_EQ(tool.waitForExit(10000), 78);
    EXPECT_NE(tool.log().find("configuration refused"), std::string::npos) << tool.log();
}
