// What a listed user may do to items of others, and what the tool gives the user, with the
// client running as a second unprivileged user in a child process.

#include "OtherUsers.h"
#include "ToolTestSupport.h"
#include "privhelper/tool/PrivilegedHelperClient.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <initializer_list>
#include <ostream>
#include <sys/stat.h>
#include <thread>
#include <sys/wait.h>

namespace proto = PrivilegedHelperProtocol;
using platform::privileged::FileAttributes;
using privtest::RawClient;
using privtest::request;

using namespace privtest::users;

TEST_F(ToolTest, AnotherUsersItemsStayTheirsWhileRootsAndOwnItemsMayChange)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    startTool("allow-uid " + std::to_string(kUser) + "\n");
    const std::string secret = giveTo(tree_.writeFile("media/secret.mov", "secret", 0600), kOtherUser);
    const std::string shared = giveTo(tree_.writeFile("media/shared.mov", "shared", 0644), kOtherUser);
    const std::string hidden = giveTo(tree_.makeDirectory("media/hidden", 0700), kOtherUser);
    const std::string made = tree_.writeFile("media/made.mov", "made", 0600);
    const std::string own = giveTo(tree_.writeFile("media/own.mov", "own", 0600), kUser);
    const std::string socket = tool_->socketPath();
    const std::string media = media_;

    const int failed = asUser([&] {
        RawClient c(socket);
        return firstFailedStep({
            c.connected(),
            // Another user's single-link file: neither taken, nor opened up, nor copied.
            code(c.call(attributes(secret, FileAttributes{{}, kUser, {}, {}}))) == EPERM,
            code(c.call(attributes(secret, FileAttributes{0644, {}, {}, {}}))) == EPERM,
            code(c.call(attributes(hidden, FileAttributes{0755, {}, {}, {}}))) == EPERM,
            code(c.call(request(proto::copyItem, secret, media + "/stolen.mov"))) == EACCES,
            code(c.call(request(proto::copyItem, hidden, media + "/stolen"))) == EACCES,
            // What the user could read anyway may be copied; the copy is the user's.
            code(c.call(request(proto::copyItem, shared, media + "/shared-copy.mov"))) == 0,
            // Root's items may be taken, the user's own changed.
            code(c.call(attributes(made, FileAttributes{{}, kUser, kGroup, {}}))) == 0,
            code(c.call(attributes(own, FileAttributes{0640, {}, {}, {}}))) == 0,
            // Folders made for the user are the user's: it can write into them.
            [&] {
                auto r = request(proto::createDirectory, media + "/new/deep");
                r.intermediateDirectories = true;
                return code(c.call(r)) == 0;
            }(),
            ::open((media + "/new/deep/file").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600) >= 0,
        });
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(ownerOf(secret), (Owner{kOtherUser, kOtherUser, 0600}));
    EXPECT_EQ(ownerOf(hidden), (Owner{kOtherUser, kOtherUser, 0700}));
    EXPECT_FALSE(privtest::exists(media_ + "/stolen.mov"));
    EXPECT_FALSE(privtest::exists(media_ + "/stolen"));
    EXPECT_EQ(ownerOf(media_ + "/shared-copy.mov"), (Owner{kUser, kGroup, 0644}));
    EXPECT_EQ(ownerOf(made), (Owner{kUser, kGroup, 0600}));
    EXPECT_EQ(ownerOf(own), (Owner{kUser, kUser, 0640}));
    EXPECT_EQ(ownerOf(media_ + "/new"), (Owner{kUser, kGroup, 0755}));
    EXPECT_EQ(ownerOf(media_ + "/new/deep"), (Owner{kUser, kGroup, 0755}));
}

TEST_F(ToolTest, OneUserHoardingConnectionsLocksNoOtherUserOut)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    startTool("allow-uid " + std::to_string(kUser) + "\n");
    std::vector<std::unique_ptr<RawClient>> hoard;
    for (std::size_t i = 0; i < PrivilegedHelperClient::kMaxConnectionsPerUser; ++i) {
        hoard.push_back(std::make_unique<RawClient>(tool_->socketPath()));
        ASSERT_EQ(hoard.back()->versionOrEmpty(), "1.0") << i;
    }
    // One more from the same user is closed unanswered ...
    RawClient extra(tool_->socketPath());
    // (The helper may close it before the request is even sent.)
    const bool sent = extra.send(request(proto::getVersion));
    EXPECT_FALSE(sent && extra.reply().has_value());
    // The helper writes its log line after closing the connection: wait for it, within bounds.
    const auto logged = [&] { return tool_->log().find("too many connections of this user") != std::string::npos; };
    for (int i = 0; i < 500 && !logged(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(logged()) << tool_->log();
    // ... while another user is still served.
    const std::string socket = tool_->socketPath();
    EXPECT_EQ(asUser([&] { return RawClient(socket).versionOrEmpty() == "1.0" ? 0 : 1; }), 0);
    // The hoarded connections still work.
    EXPECT_EQ(hoard.front()->versionOrEmpty(), "1.0");
}

TEST_F(ToolTest, AConnectionThatSendsNothingIsClosedWhileABusyOneIsNot)
{
    startTool({}, {"--idle-timeout-ms", "300"});
    RawClient busy(tool_->socketPath());
    RawClient idle(tool_->socketPath());
    ASSERT_TRUE(busy.connected() && idle.connected());
    // The busy client asks well within each idle period; the idle one never asks.
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(busy.versionOrEmpty(), "1.0") << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_FALSE(idle.reply().has_value()); // closed by the tool, not by waiting out 5 s
    EXPECT_NE(tool_->log().find("closing idle connection"), std::string::npos) << tool_->log();
    EXPECT_EQ(busy.versionOrEmpty(), "1.0");
    busy.close();
    // With both gone the tool quits as after any last connection.
    EXPECT_EQ(tool_->waitForExit(5000), 0);
}

TEST_F(ToolTest, RemoveAndMoveRefuseAnotherUsersItemsAndFoldersHoldingAnyChangingNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    startTool("allow-uid " + std::to_string(kUser) + "\n");
    tree_.makeDirectory("media/shared", 0777); // root's, open to everyone, not sticky
    const std::string theirs = giveTo(tree_.writeFile("media/shared/theirs.mov", "t", 0600), kOtherUser);
    const std::string theirs2 = giveTo(tree_.writeFile("media/shared/theirs2.mov", "t", 0600), kOtherUser);
    const std::string hidden = giveTo(tree_.makeDirectory("media/shared/hidden", 0700), kOtherUser);
    giveTo(tree_.writeFile("media/shared/hidden/inner.mov", "i", 0600), kOtherUser);
    const std::string mine = giveTo(tree_.makeDirectory("media/mine", 0777), kUser);
    giveTo(tree_.writeFile("media/mine/a.mov", "a", 0600), kUser);
    giveTo(tree_.makeDirectory("media/mine/sub", 0777), kUser);
    giveTo(tree_.writeFile("media/mine/sub/left-here.mov", "l", 0600), kOtherUser);
    const std::string clean = giveTo(tree_.makeDirectory("media/clean", 0755), kUser);
    tree_.writeFile("media/clean/made-by-the-helper.mov", "m", 0600); // root's
    giveTo(tree_.writeFile("media/clean/own.mov", "o", 0600), kUser);
    const std::string own = giveTo(tree_.writeFile("media/own.mov", "o", 0600), kUser);
    const std::string socket = tool_->socketPath();
    const std::string media = media_;
    const auto before = privtest::snapshotTree(media_);

    const int refused = asUser([&] {
        RawClient c(socket);
        return firstFailedStep({
            c.connected(),
            code(c.call(request(proto::removeItem, theirs))) == EPERM,
            code(c.call(request(proto::moveItem, theirs2, mine + "/taken.mov"))) == EPERM,
            code(c.call(request(proto::removeItem, hidden))) == EPERM,
            code(c.call(request(proto::moveItem, hidden, mine + "/hidden"))) == EPERM,
            // The user's own folder with one item of another user deep inside.
            code(c.call(request(proto::removeItem, mine))) == EPERM,
            code(c.call(request(proto::moveItem, mine, media + "/renamed"))) == EPERM,
        });
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(privtest::snapshotTree(media_), before);

    const int allowed = asUser([&] {
        RawClient c(socket);
        return firstFailedStep({
            code(c.call(request(proto::removeItem, clean))) == 0,
            code(c.call(request(proto::moveItem, own, mine + "/own.mov"))) == 0,
        });
    });
    EXPECT_EQ(allowed, 0);
    EXPECT_FALSE(privtest::exists(clean));
    EXPECT_EQ(ownerOf(mine + "/own.mov"), (Owner{kUser, kUser, 0600}));
}
