// Which paths the helper may touch, and that resolution never follows a link.

#include "platform/privileged/SafePath.h"
#include "tests/privhelper/support/ScratchTree.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace platform::privileged;

TEST(SafePath, SyntaxAcceptsOnlyAbsoluteNormalisedPaths)
{
    EXPECT_EQ(checkPathSyntax("/media/a b/c.mov"), 0);
    EXPECT_EQ(checkPathSyntax("/media/\xff\xfe"), 0); // names are bytes, not UTF-8
    for (const char* bad : {"", "media/x", "/media//x", "/media/./x", "/media/../etc", "/media/x/",
                            "/media/.."})
        EXPECT_EQ(checkPathSyntax(bad), EINVAL) << bad;
    EXPECT_EQ(checkPathSyntax(std::string("/media/a\0b", 10)), EINVAL);
    EXPECT_EQ(checkPathSyntax("/" + std::string(256, 'n')), ENAMETOOLONG);
    EXPECT_EQ(checkPathSyntax("/" + std::string(kMaxPathLength, 'n')), ENAMETOOLONG);
}

TEST(SafePath, PrefixesMatchWholeComponents)
{
    EXPECT_TRUE(pathIsAtOrBelow("/media", "/media"));
    EXPECT_TRUE(pathIsAtOrBelow("/media/x", "/media"));
    EXPECT_FALSE(pathIsAtOrBelow("/media2/x", "/media"));
    EXPECT_FALSE(pathIsAtOrBelow("/med", "/media"));
}

TEST(SafePath, PolicyDropsDangerousRootsAndRefusesRootsAndProtectedTrees)
{
    PathPolicy policy({"/media", "/", "/etc/x", "/var", "relative", "/srv/media", "/srv"},
                      systemProtectedTrees());
    EXPECT_EQ(policy.roots(), (std::vector<std::string>{"/media", "/srv/media", "/srv"}));
    EXPECT_EQ(policy.rejectedRoots(), (std::vector<std::string>{"/", "/etc/x", "/var", "relative"}));

    std::string root;
    std::vector<std::string> parts;
    EXPECT_EQ(policy.check("/srv/media/show/a.mov", &root, &parts), 0);
    EXPECT_EQ(root, "/srv/media"); // the closest root
    EXPECT_EQ(parts, (std::vector<std::string>{"show", "a.mov"}));
    EXPECT_EQ(policy.check("/media"), EPERM);
    EXPECT_EQ(policy.check("/mediax/a"), EPERM);
    EXPECT_EQ(policy.check("/home/user/a"), EPERM);

    // A root holding one of the helper's own files is no root at all.
    PathPolicy withOwnFiles({"/media", "/srv"}, {"/media/helper.conf"});
    EXPECT_EQ(withOwnFiles.roots(), std::vector<std::string>{"/srv"});
    EXPECT_EQ(withOwnFiles.check("/media/helper.conf"), EPERM);
}

TEST(SafePath, LocateOpensTheParentBeneathTheRootWithoutFollowingLinks)
{
    privtest::ScratchTree tree;
    const std::string media = tree.makeDirectory("media");
    tree.writeFile("media/dir/clip.mov", "x");
    tree.writeFile("outside/secret", "s");
    tree.makeSymlink("media/link", tree.at("outside"));
    tree.makeSymlink("media/dir/back", "..");
    PathPolicy policy({media}, {});

    SafeLocation location;
    ASSERT_EQ(locate(policy, media + "/dir/clip.mov", location), 0);
    EXPECT_EQ(location.name(), "clip.mov");
    EXPECT_EQ(locate(policy, media + "/link/secret", location), ELOOP);
    EXPECT_EQ(locate(policy, media + "/dir/back/dir/clip.mov", location), ELOOP);
    // The item itself may be a link: it is acted on as a link.
    ASSERT_EQ(locate(policy, media + "/link", location), 0);
    EXPECT_EQ(locate(policy, media + "/missing/x", location), ENOENT);

    // A root reached through a link is not opened either.
    const std::string linkedRoot = tree.makeSymlink("linked-media", media);
    PathPolicy viaLink({linkedRoot}, {});
    EXPECT_EQ(locate(viaLink, linkedRoot + "/dir/clip.mov", location), ELOOP);
}
