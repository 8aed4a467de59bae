// The file operations: the local attempt first, the helper only for permission failures, and
// the safe move that never loses the destination.

#include "FakeHelper.h"
#include "privhelper/client/WritableDestination.h"
#include "tests/privhelper/support/ScratchTree.h"
#include "tests/privhelper/support/ToolProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <future>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace WD = WritableDestination;
using Kind = HelperInstallOutcome::Kind;

namespace {

// A manager whose helper is a counting stand-in: any message it receives is a failure of
// "the local attempt comes first".
class LocalFirstTest : public ::testing::Test {
protected:
    LocalFirstTest()
        : server_(tree_.path() + "/helper.sock", FakeHelperServer::Mode::answer),
          installer_(std::make_shared<FakeInstaller>([] { return HelperInstallOutcome{}; }))
    {
        HelperManager::Options options;
        options.socketPath = tree_.path() + "/helper.sock";
        options.installer = installer_;
        manager_ = std::make_unique<HelperManager>(options);
    }
    void expectHelperUntouched()
    {
        EXPECT_EQ(server_.connections(), 0);
        EXPECT_EQ(installer_->calls, 0);
    }
    std::vector<std::string> namesIn(const std::string& dir)
    {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..")
                    names.push_back(n);
            }
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    privtest::ScratchTree tree_;
    FakeHelperServer server_;
    std::shared_ptr<FakeInstaller> installer_;
    std::unique_ptr<HelperManager> manager_;
};

HelperOperationResult waitFor(std::future<HelperOperationResult> future)
{
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
        return HelperOperationResult::failure(platform::Error("test", 1, "no completion"));
    return future.get();
}

} // namespace

TEST_F(LocalFirstTest, ALocalSuccessNeverContactsTheHelper)
{
    const std::string file = tree_.writeFile("a.mov", "a");
    platform::Error error;
    EXPECT_TRUE(WD::authenticatedCopyItemAt(file, tree_.at("b.mov"), &error, *manager_));
    EXPECT_TRUE(WD::authenticatedMoveItemAt(tree_.at("b.mov"), tree_.at("c.mov"), &error, *manager_));
    EXPECT_EQ(privtest::readFile(tree_.at("c.mov")), "a");
    EXPECT_TRUE(WD::authenticatedCreateDirectoryAt(tree_.at("x/y"), true,
                                                   WD::FileAttributes{0700, {}, {}, {}}, &error,
                                                   *manager_));
    EXPECT_TRUE(WD::authenticatedSetAttributes(WD::FileAttributes{0600, {}, {}, {}}, file, &error,
                                               *manager_));
    EXPECT_TRUE(WD::authenticatedRemoveItemAt(file, &error, *manager_));
    EXPECT_FALSE(privtest::exists(file));
    std::promise<HelperOperationResult> done;
    std::thread::id ranOn;
    WD::authenticatedRemoveItem(tree_.at("x"), [&](const HelperOperationResult& r) {
        ranOn = std::this_thread::get_id();
        done.set_value(r);
    }, *manager_);
    EXPECT_TRUE(waitFor(done.get_future()).ok());
    EXPECT_EQ(ranOn, std::this_thread::get_id()); // known at once: on the caller's thread
    expectHelperUntouched();
}

TEST_F(LocalFirstTest, FailuresOtherThanPermissionAreReportedWithoutTheHelper)
{
    const std::string file = tree_.writeFile("a.mov", "a");
    tree_.writeFile("b.mov", "b");
    platform::Error error;
    EXPECT_FALSE(WD::authenticatedRemoveItemAt(tree_.at("missing"), &error, *manager_));
    EXPECT_EQ(error.domain, "posix");
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_FALSE(WD::authenticatedCopyItemAt(file, tree_.at("b.mov"), &error, *manager_));
    EXPECT_EQ(error.code, EEXIST);
    EXPECT_FALSE(WD::authenticatedCreateDirectoryAt(tree_.at("a.mov/x"), true, std::nullopt,
                                                    &error, *manager_));
    EXPECT_EQ(error.code, ENOTDIR);
    // A null error pointer: the answer alone.
    EXPECT_FALSE(WD::authenticatedRemoveItemAt(tree_.at("missing"), nullptr, *manager_));
    expectHelperUntouched();
}

TEST_F(LocalFirstTest, SafeMoveReplacesTheDestinationAndLeavesNothingAside)
{
    const std::string from = tree_.writeFile("dir/new.mov", "new");
    const std::string to = tree_.writeFile("dir/clip.mov", "old");
    platform::Error error;
    ASSERT_TRUE(WD::safeAuthenticatedMoveItemAt(from, to, &error, *manager_))
        << error.toString().toStdString();
    EXPECT_EQ(privtest::readFile(to), "new");
    EXPECT_EQ(namesIn(tree_.at("dir")), std::vector<std::string>{"clip.mov"});
    expectHelperUntouched();
}

TEST_F(LocalFirstTest, SafeMoveWithAMissingSourceKeepsTheDestination)
{
    const std::string to = tree_.writeFile("dir/clip.mov", "old");
    platform::Error error;
    EXPECT_FALSE(WD::safeAuthenticatedMoveItemAt(tree_.at("dir/missing.mov"), to, &error, *manager_));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_EQ(privtest::readFile(to), "old");
    EXPECT_EQ(namesIn(tree_.at("dir")), std::vector<std::string>{"clip.mov"});

    std::promise<HelperOperationResult> done;
    WD::safeAuthenticatedMoveItem(tree_.at("dir/missing.mov"), to,
                                  [&](const HelperOperationResult& r) { done.set_value(r); },
                                  *manager_);
    auto result = waitFor(done.get_future());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error->code, ENOENT);
    EXPECT_EQ(privtest::readFile(to), "old");
    EXPECT_EQ(namesIn(tree_.at("dir")), std::vector<std::string>{"clip.mov"});
    expectHelperUntouched();
}

TEST_F(LocalFirstTest, SafeMoveCreatesTheFolderChainOrFailsOnAFileInTheWay)
{
    const std::string from = tree_.writeFile("new.mov", "new");
    platform::Error error;
    ASSERT_TRUE(WD::safeAuthenticatedMoveItemAt(from, tree_.at("a/b/c/clip.mov"), &error, *manager_));
    EXPECT_EQ(privtest::readFile(tree_.at("a/b/c/clip.mov")), "new");

    tree_.writeFile("file", "f");
    tree_.writeFile("other.mov", "o");
    EXPECT_FALSE(WD::safeAuthenticatedMoveItemAt(tree_.at("other.mov"), tree_.at("file/clip.mov"),
                                                 &error, *manager_));
    EXPECT_EQ(error.code, EEXIST);
    EXPECT_TRUE(privtest::exists(tree_.at("other.mov")));

    std::promise<HelperOperationResult> done;
    tree_.writeFile("dir/clip.mov", "old");
    WD::safeAuthenticatedMoveItem(tree_.at("other.mov"), tree_.at("dir/clip.mov"),
                                  [&](const HelperOperationResult& r) { done.set_value(r); },
                                  *manager_);
    EXPECT_TRUE(waitFor(done.get_future()).ok());
    EXPECT_EQ(privtest::readFile(tree_.at("dir/clip.mov")), "o");
    EXPECT_EQ(namesIn(tree_.at("dir")), std::vector<std::string>{"clip.mov"});
    expectHelperUntouched();
}

// Runs in a child process that the test below starts as uid 65534 (see there).
TEST(PrivilegedChild, RemovesARootOwnedFileThroughTheHelper)
{
    const char* socket = std::getenv("KLV_PRIVCHILD_SOCKET");
    const char* target = std::getenv("KLV_PRIVCHILD_TARGET");
    if (!socket || !target)
        GTEST_SKIP() << "only runs as the child of UnprivilegedUser.RemovesARootOwnedFile";
    ASSERT_EQ(::getuid(), 65534u);
    HelperManager::Options options;
    options.socketPath = socket;
    options.installer = std::make_shared<FakeInstaller>(
        [] { return HelperInstallOutcome{Kind::authorizationFailed, "no prompts in tests"}; });
    HelperManager manager(options);
    platform::Error error;
    ASSERT_TRUE(WD::authenticatedRemoveItemAt(target, &error, manager))
        << error.toString().toStdString();
    EXPECT_EQ(manager.state(), HelperManager::HelperState::installed);
}

TEST(UnprivilegedUser, RemovesARootOwnedFileThroughTheHelper)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    privtest::ScratchTree tree;
    const std::string media = tree.makeDirectory("media");
    const std::string target = tree.writeFile("media/clip.mov", "root's");
    privtest::ToolProcess tool(tree.path(), "allow-uid 65534\nroot " + media + "\n");
    ASSERT_TRUE(tool.started()) << tool.log();

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("KLV_PRIVCHILD_SOCKET", tool.socketPath().c_str(), 1);
        ::setenv("KLV_PRIVCHILD_TARGET", target.c_str(), 1);
        ::setenv("HOME", tree.path().c_str(), 1);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(90);
        char filter[] = "--gtest_filter=PrivilegedChild.*";
        char self[] = "/proc/self/exe";
        char* argv[] = {self, filter, nullptr};
        ::execv(self, argv);
        ::_exit(91);
    }
    int status = 0;
    for (int i = 0; i < 600 && ::waitpid(child, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(WIFEXITED(status)) << "child did not finish";
    EXPECT_EQ(WEXITSTATUS(status), 0) << tool.log();
    EXPECT_FALSE(privtest::exists(target));
}
