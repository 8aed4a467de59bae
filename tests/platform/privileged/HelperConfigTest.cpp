// The configuration file: strict parsing and refusal of files others could have written.

#include "platform/privileged/HelperConfig.h"
#include "tests/privhelper/support/ScratchTree.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace platform::privileged;

TEST(HelperConfig, RoundTripsAndRefusesUnknownOrMalformedLines)
{
    HelperConfig config;
    std::string problem;
    ASSERT_TRUE(parseHelperConfig("# note\n\nallow-uid 1000\nallow-uid 1000\nroot /media/a b\n"
                                  "client-executable /opt/App\n",
                                  config, problem));
    EXPECT_EQ(config.allowedUids, std::vector<uid_t>{1000});
    EXPECT_EQ(config.roots, std::vector<std::string>{"/media/a b"});
    EXPECT_TRUE(config.allowsExecutable("/opt/App"));
    EXPECT_FALSE(config.allowsExecutable("/opt/Other"));

    HelperConfig again;
    ASSERT_TRUE(parseHelperConfig(formatHelperConfig(config), again, problem));
    EXPECT_EQ(again.allowedUids, config.allowedUids);
    EXPECT_EQ(again.roots, config.roots);
    EXPECT_EQ(again.clientExecutables, config.clientExecutables);

    for (const char* bad : {"allow-uid\n", "allow-uid 12x\n", "allow-uid -1\n",
                            "allow-uid 4294967295\n", "root media\n", "allow-user 1000\n",
                            "root\n"}) {
        HelperConfig c;
        EXPECT_FALSE(parseHelperConfig(bad, c, problem)) << bad;
        EXPECT_NE(problem.find("line 1"), std::string::npos);
    }
}

TEST(HelperConfig, LoadRefusesFilesOthersCanWriteAndLinks)
{
    privtest::ScratchTree tree;
    const std::string good = tree.writeFile("good.conf", "allow-uid 5\n", 0644);
    const std::string open = tree.writeFile("open.conf", "allow-uid 5\n", 0666);
    const std::string link = tree.makeSymlink("link.conf", good);
    HelperConfig config;
    std::string problem;
    EXPECT_EQ(loadHelperConfig(good, config, problem), 0);
    EXPECT_TRUE(config.allowsUid(5));
    EXPECT_EQ(loadHelperConfig(open, config, problem), EPERM);
    EXPECT_EQ(loadHelperConfig(link, config, problem), ELOOP);
    EXPECT_EQ(loadHelperConfig(tree.at("missing"), config, problem), ENOENT);
    EXPECT_EQ(problem, "cannot open " + tree.at("missing") + ": No such file or directory");
}
