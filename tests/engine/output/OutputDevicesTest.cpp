#include "tests/engine/output/CardsForOutputs.h"

#include "engine/output/ssOutputFinder.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(OutputFinder, ListsPlayoutAndCaptureOnlyCardsWithTheirModes)
{
    testsupport::VirtualCards cards(testsupport::kTwoCards);
    ssOutputFinder finder;
    ASSERT_EQ(finder.FindOutputs(), 2);
    ssBaseOutput* out = finder.GetOutput(0);
    ssBaseOutput* capture = finder.GetOutput(1);
    ASSERT_TRUE(out && capture);
    EXPECT_EQ(finder.GetOutput(2), nullptr);
    EXPECT_EQ(finder.GetOutput(-1), nullptr);

    EXPECT_STREQ(out->Name_, "Out A");
    EXPECT_EQ(out->Kind_, ssBaseOutput::kKindDeckLink);
    EXPECT_EQ(out->Flags_, 3);
    ASSERT_EQ(out->GetModeCount(), 4);
    const outputMode* p50 = out->GetMode(1);
    ASSERT_NE(p50, nullptr);
    EXPECT_STREQ(p50->name, "Test 64x36p50");
    EXPECT_EQ(p50->width, 64);
    EXPECT_EQ(p50->height, 36);
    EXPECT_FLOAT_EQ(p50->frameRate, 50.0f);
    EXPECT_EQ(p50->interlaced, 0);
    EXPECT_EQ(out->GetMode(2)->interlaced, 1);
    EXPECT_NEAR(out->GetMode(3)->frameRate, 59.94f, 0.001f);
    EXPECT_EQ(out->GetMode(-1), nullptr);
    EXPECT_EQ(out->GetMode(4), nullptr);

    // A capture-only card lists its capture modes and cannot play.
    EXPECT_STREQ(capture->Name_, "Capture B");
    EXPECT_EQ(capture->Flags_, 2);
    EXPECT_FALSE(capture->CanPlay());
    ASSERT_EQ(capture->GetModeCount(), 2);
    EXPECT_STREQ(capture->GetMode(1)->name, "PAL");
    EXPECT_EQ(static_cast<ssDecklinkOutput*>(capture)->GetOutput(), nullptr);

    EXPECT_EQ(out->SelectMode(3), 0);
    EXPECT_EQ(out->CurrentMode_, 3);
    EXPECT_EQ(out->SelectMode(4), -1);
    EXPECT_EQ(out->SelectMode(-1), -1);
    EXPECT_EQ(out->CurrentMode_, 3);

    // A second enumeration makes new objects; the old ones stay usable.
    ASSERT_EQ(finder.FindOutputs(), 2);
    EXPECT_NE(finder.GetOutput(0), out);
    EXPECT_STREQ(out->GetMode(0)->name, "Test 64x36p25");
}

TEST(OutputFinder, NoCardsGiveAnEmptyList)
{
    testsupport::VirtualCards cards(R"({"cards": []})");
    ssOutputFinder finder;
    EXPECT_EQ(finder.FindOutputs(), 0);
    EXPECT_EQ(finder.GetOutput(0), nullptr);
}

TEST(OutputNames, LongNamesAreCutAtACharacterBoundary)
{
    char field[8];
    ssCopyName(field, 8, "abcdef\xC3\xA9xyz"); // 'é' would straddle the last byte
    EXPECT_STREQ(field, "abcdef");
    ssCopyName(field, 8, "abc");
    EXPECT_STREQ(field, "abc");
    ssCopyName(field, 8, nullptr);
    EXPECT_STREQ(field, "");
}
