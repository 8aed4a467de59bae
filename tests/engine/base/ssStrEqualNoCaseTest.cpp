#include "engine/base/ssStrEqualNoCase.h"

#include <gtest/gtest.h>

TEST(ssStrEqualNoCase, MatchesAcrossAsciiCase)
{
    EXPECT_EQ(ssStrEqualNoCase("Helvetica24", "HELVETICA24"), 0);
    EXPECT_EQ(ssStrEqualNoCase("slate.JPG", "Slate.jpg"), 0);
    EXPECT_EQ(ssStrEqualNoCase("", ""), 0);
}

TEST(ssStrEqualNoCase, DifferentLengthsNeverMatch)
{
    EXPECT_EQ(ssStrEqualNoCase("a", "ab"), 1);
    EXPECT_EQ(ssStrEqualNoCase("ab", "a"), 1);
    EXPECT_EQ(ssStrEqualNoCase("", "a"), 1);
    // A space is 32 away from the terminator: still a different length.
    EXPECT_EQ(ssStrEqualNoCase("a ", "a"), 1);
}

TEST(ssStrEqualNoCase, PairsExactly32ApartMatch)
{
    EXPECT_EQ(ssStrEqualNoCase("@", "`"), 0);
    EXPECT_EQ(ssStrEqualNoCase("[", "{"), 0);
    EXPECT_EQ(ssStrEqualNoCase("a", "b"), 1);
    EXPECT_EQ(ssStrEqualNoCase("a", "!"), 1);
}

TEST(ssStrEqualNoCase, NullNeverMatchesText)
{
    EXPECT_EQ(ssStrEqualNoCase(nullptr, "a"), 1);
    EXPECT_EQ(ssStrEqualNoCase("a", nullptr), 1);
}
