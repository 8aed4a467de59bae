// The six operations through the real tool, as the current user.

#include "ToolTestSupport.h"

#include <cerrno>
#include <sys/stat.h>

namespace proto = PrivilegedHelperProtocol;
using platform::privileged::FileAttributes;
using privtest::RawClient;
using privtest::request;

namespace {

std::int64_t errorCode(const std::optional<proto::Reply>& reply)
{
    return reply && reply->error ? reply->error->code : (reply ? 0 : -1);
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST_F(ToolTest, RemovingAMissingItemAnswersENOENTInThePosixDomain)
{
    startTool();
    RawClient client(tool_->socketPath());
    auto reply = client.call(request(proto::removeItem, media_ + "/missing.mov"));
    ASSERT_TRUE(reply && reply->error);
    EXPECT_EQ(reply->error->domain, "posix");
    EXPECT_EQ(reply->error->code, ENOENT);
    EXPECT_EQ(reply->error->description, "No such file or directory");
}

TEST_F(ToolTest, RemovesAFolderTreeWithoutFollowingTheLinksInIt)
{
    startTool();
    tree_.writeFile("outside/keep.txt", "keep");
    tree_.writeFile("media/clips/a.mov", "a");
    tree_.writeFile("media/clips/deep/b.mov", "b");
    tree_.makeSymlink("media/clips/to-outside", outside_);
    tree_.makeSymlink("media/clips/deep/to-file", outside_ + "/keep.txt");
    RawClient client(tool_->socketPath());
    EXPECT_EQ(errorCode(client.call(request(proto::removeItem, media_ + "/clips"))), 0);
    EXPECT_FALSE(privtest::exists(media_ + "/clips"));
    EXPECT_EQ(privtest::readFile(outside_ + "/keep.txt"), "keep");
}

TEST_F(ToolTest, CreatesADirectoryWithDefaultAttributesWhenGivenNone)
{
    startTool();
    RawClient client(tool_->socketPath());
    auto r = request(proto::createDirectory, media_ + "/new");
    EXPECT_EQ(errorCode(client.call(r)), 0);
    EXPECT_EQ(modeOf(media_ + "/new"), 0755u);
    // Without intermediate directories an existing one is an error, a missing parent too.
    EXPECT_EQ(errorCode(client.call(r)), EEXIST);
    EXPECT_EQ(errorCode(client.call(request(proto::createDirectory, media_ + "/x/y"))), ENOENT);
}

TEST_F(ToolTest, CreatesAChainOfDirectoriesWithTheirAttributes)
{
    startTool();
    RawClient client(tool_->socketPath());
    auto r = request(proto::createDirectory, media_ + "/a/b/c");
    r.intermediateDirectories = true;
    r.attributes = FileAttributes{0700, std::nullopt, std::nullopt, std::nullopt};
    EXPECT_EQ(errorCode(client.call(r)), 0);
    EXPECT_EQ(modeOf(media_ + "/a"), 0700u);
    EXPECT_EQ(modeOf(media_ + "/a/b/c"), 0700u);
    // An existing directory is fine with intermediate directories.
    EXPECT_EQ(errorCode(client.call(r)), 0);
}

TEST_F(ToolTest, SetsAttributesOfTheItemAtThePath)
{
    startTool();
    const std::string file = tree_.writeFile("media/clip.mov", "x", 0644);
    RawClient client(tool_->socketPath());
    auto r = request(proto::setAttributes, file);
    const std::int64_t when = 1'600'000'000'123'456'789LL;
    r.attributes = FileAttributes{0600, ::geteuid(), ::getegid(), when};
    EXPECT_EQ(errorCode(client.call(r)), 0);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'600'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'789);
}

TEST_F(ToolTest, CopiesTreesWithoutSpecialModeBitsAndMovesWithoutReplacing)
{
    startTool();
    tree_.writeFile("media/src/tool", "binary", 0755);
    ::chmod((media_ + "/src/tool").c_str(), 06755);
    tree_.writeFile("media/src/sub/clip.mov", "clip");
    tree_.makeSymlink("media/src/link", "sub/clip.mov");
    RawClient client(tool_->socketPath());
    EXPECT_EQ(errorCode(client.call(request(proto::copyItem, media_ + "/src", media_ + "/dst"))), 0);
    EXPECT_EQ(privtest::readFile(media_ + "/dst/sub/clip.mov"), "clip");
    EXPECT_EQ(modeOf(media_ + "/dst/tool"), 0755u);
    char target[64] = {};
    ASSERT_GT(::readlink((media_ + "/dst/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "sub/clip.mov");
    // Copying onto an existing item fails and leaves it alone.
    EXPECT_EQ(errorCode(client.call(request(proto::copyItem, media_ + "/src", media_ + "/dst"))),
              EEXIST);

    tree_.writeFile("media/one.mov", "one");
    tree_.writeFile("media/two.mov", "two");
    EXPECT_EQ(errorCode(client.call(request(proto::moveItem, media_ + "/one.mov",
                                            media_ + "/two.mov"))),
              EEXIST);
    EXPECT_EQ(privtest::readFile(media_ + "/two.mov"), "two");
    EXPECT_EQ(errorCode(client.call(request(proto::moveItem, media_ + "/one.mov",
                                            media_ + "/three.mov"))),
              0);
    EXPECT_EQ(privtest::readFile(media_ + "/three.mov"), "one");
    EXPECT_FALSE(privtest::exists(media_ + "/one.mov"));
}
