// Descriptor-based file operations: links are never followed, failures leave nothing behind.

#include "platform/privileged/FileTree.h"
#include "platform/privileged/UniqueFd.h"
#include "tests/privhelper/support/ScratchTree.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform::privileged;

namespace {

UniqueFd openDir(const std::string& path)
{
    return UniqueFd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

TEST(FileTree, RemoveTakesLinksAwayNotTheirTargets)
{
    privtest::ScratchTree tree;
    tree.writeFile("outside/keep", "k");
    tree.makeSymlink("work/dirlink", tree.at("outside"));
    tree.writeFile("work/a/b/c", "c");
    auto work = openDir(tree.at("work"));
    EXPECT_EQ(removeTree(work.get(), "dirlink"), 0);
    EXPECT_TRUE(privtest::exists(tree.at("outside/keep")));
    EXPECT_EQ(removeTree(work.get(), "a"), 0);
    EXPECT_FALSE(privtest::exists(tree.at("work/a")));
    EXPECT_EQ(removeTree(work.get(), "a"), ENOENT);
}

TEST(FileTree, RefusesTreesDeeperThanTheLimit)
{
    privtest::ScratchTree tree;
    std::string relative = "deep";
    for (int i = 0; i < kMaxTreeDepth + 1; ++i)
        relative += "/d";
    tree.makeDirectory(relative);
    auto root = openDir(tree.path());
    EXPECT_EQ(removeTree(root.get(), "deep"), ENAMETOOLONG);
    EXPECT_TRUE(privtest::exists(tree.at("deep")));
}

TEST(FileTree, AFailedCopyLeavesNothingBehind)
{
    privtest::ScratchTree tree;
    tree.writeFile("src/a.mov", "a");
    ASSERT_EQ(::mkfifo(tree.at("src/pipe").c_str(), 0644), 0);
    auto root = openDir(tree.path());
    EXPECT_EQ(copyTree(root.get(), "src", root.get(), "dst"), ENOTSUP);
    EXPECT_FALSE(privtest::exists(tree.at("dst")));
}

TEST(FileTree, CopyingAFolderIntoItselfCopiesItOnce)
{
    privtest::ScratchTree tree;
    tree.writeFile("src/a.mov", "a");
    auto root = openDir(tree.path());
    auto src = openDir(tree.at("src"));
    EXPECT_EQ(copyTree(root.get(), "src", src.get(), "copy"), 0);
    EXPECT_EQ(privtest::readFile(tree.at("src/copy/a.mov")), "a");
    EXPECT_FALSE(privtest::exists(tree.at("src/copy/copy")));
}

TEST(FileTree, AttributesRefuseLinksAndSpecialFilesAndHonourTheVeto)
{
    privtest::ScratchTree tree;
    tree.writeFile("f", "x", 0644);
    tree.makeSymlink("l", tree.at("f"));
    ASSERT_EQ(::mkfifo(tree.at("p").c_str(), 0644), 0);
    auto root = openDir(tree.path());
    FileAttributes a;
    a.posixPermissions = 0600;
    EXPECT_EQ(applyAttributes(root.get(), "l", a), ELOOP);
    EXPECT_EQ(applyAttributes(root.get(), "p", a), EPERM);
    EXPECT_EQ(applyAttributes(root.get(), "f", a, [](const struct stat&) { return EPERM; }), EPERM);
    struct stat st {};
    ::stat(tree.at("f").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(applyAttributes(root.get(), "f", a), 0);
    ::stat(tree.at("f").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(FileTree, DirectoryChainStopsAtAFileAndAtLinksUnlessToldToFollow)
{
    privtest::ScratchTree tree;
    tree.writeFile("file", "x");
    tree.makeDirectory("real");
    tree.makeSymlink("viaLink", tree.at("real"));
    auto root = openDir(tree.path());
    EXPECT_EQ(makeDirectoryChain(root.get(), {"file", "x"}, true, nullptr, false), ENOTDIR);
    EXPECT_EQ(makeDirectoryChain(root.get(), {"file"}, true, nullptr, false), EEXIST);
    EXPECT_EQ(makeDirectoryChain(root.get(), {"viaLink", "x"}, true, nullptr, false), ELOOP);
    EXPECT_FALSE(privtest::exists(tree.at("real/x")));
    EXPECT_EQ(makeDirectoryChain(root.get(), {"viaLink", "x"}, true, nullptr, true), 0);
    EXPECT_TRUE(privtest::exists(tree.at("real/x")));
}
