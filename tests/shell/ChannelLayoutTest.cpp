#include "shell/KLVChannelLayout.h"

#include <gtest/gtest.h>

using namespace KLVChannelLayout;

TEST(ChannelLayout, ColumnsFillAContentUpToHalfAgainAsWideAndKeepTheirWidthBeyond)
{
    // Four 300-point columns: 1.2 × 1200 fills out, 1.6 × 1200 does not.
    const Columns filled = layoutColumns(4, 300, QSize(1440, 800));
    EXPECT_FALSE(filled.resizeWindow);
    EXPECT_EQ(filled.container, QSize(1440, 800));
    ASSERT_EQ(filled.columns.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(filled.columns[size_t(i)], QRect(i * 360, 0, 360, 800));

    const Columns kept = layoutColumns(4, 300, QSize(1920, 800));
    EXPECT_TRUE(kept.resizeWindow);
    EXPECT_EQ(kept.container, QSize(1200, 800));
    EXPECT_EQ(kept.columns[3], QRect(900, 0, 300, 800));

    // More than four channels share the four-column width.
    const Columns six = layoutColumns(6, 300, QSize(1000, 700));
    EXPECT_EQ(six.container.width(), 1200);
    EXPECT_EQ(six.columns[5], QRect(1000, 0, 200, 700));
}

TEST(ChannelLayout, ALowContentGetsASixHundredHighContainerWithTheColumnsAtItsBottom)
{
    const Columns low = layoutColumns(2, 300, QSize(500, 450));
    EXPECT_TRUE(low.resizeWindow);
    EXPECT_EQ(low.container, QSize(600, 600));
    EXPECT_EQ(low.columns[0], QRect(0, 150, 300, 450));
    EXPECT_EQ(low.columns[1], QRect(300, 150, 300, 450));
}

TEST(ChannelLayout, RelayoutPutsColumnsSideBySideAtTheLastColumnsSize)
{
    const Relayout r = relayoutColumns({QRect(5, 10, 280, 700), QRect(400, 12, 300, 720)}, 2);
    ASSERT_EQ(r.columns.size(), 2u);
    EXPECT_EQ(r.columns[0], QRect(0, 10, 300, 720));
    EXPECT_EQ(r.columns[1], QRect(300, 12, 300, 720));
    EXPECT_EQ(r.widthChange, 0);
    EXPECT_EQ(relayoutColumns({QRect(0, 0, 300, 720)}, 2).widthChange, -300);
}

TEST(ChannelLayout, PreviewStripAndSpacersCoverOnlyThePreviewFrames)
{
    const PreviewPlacement p = previewPlacement(QRect(12, 40, 276, 160), 300);
    EXPECT_EQ(p.leading, 12);
    EXPECT_EQ(p.trailing, 12);
    EXPECT_EQ(p.top, 40);
    EXPECT_EQ(p.height, 160);
    EXPECT_EQ(previewPlacement(QRect(7, 40, 276, 160), -1).trailing, 7);
    const PreviewPlacement none = previewPlacement();
    EXPECT_EQ(none.top, 45);
    EXPECT_EQ(none.height, 200);
    EXPECT_EQ(none.leading, 10);
    EXPECT_EQ(none.trailing, 10);

    const std::vector<QRect> spacers = spacerRects({QRect(12, 40, 276, 160), QRect(312, 40, 276, 160), QRect(612, 40, 276, 160)});
    ASSERT_EQ(spacers.size(), 2u);
    EXPECT_EQ(spacers[0], QRect(288, 40, 24, 160));
    EXPECT_EQ(spacers[1], QRect(588, 40, 24, 160));
    EXPECT_TRUE(spacerRects({QRect(0, 0, 10, 10)}).empty());
}

TEST(ChannelLayout, QuadModeUsesTheQuadrantsOfTheLastScreenWithoutTheMainWindow)
{
    const std::vector<QRect> q = quadrantRects(QRect(1920, 0, 1280, 720));
    ASSERT_EQ(q.size(), 4u);
    EXPECT_EQ(q[0], QRect(1920, 0, 640, 360));   // top-left
    EXPECT_EQ(q[1], QRect(2560, 0, 640, 360));   // top-right
    EXPECT_EQ(q[2], QRect(1920, 360, 640, 360)); // bottom-left
    EXPECT_EQ(q[3], QRect(2560, 360, 640, 360)); // bottom-right

    EXPECT_EQ(quadTarget(3, {false, true, false}).screenIndex, 2);
    EXPECT_EQ(quadTarget(3, {false, false, true}).screenIndex, 1);
    // One screen, holding the main window: that screen, head index 1.
    const QuadTarget only = quadTarget(1, {true});
    EXPECT_EQ(only.screenIndex, 0);
    EXPECT_EQ(only.headIndex, 1);
    EXPECT_EQ(quadTarget(0, {}).screenIndex, -1);
}

TEST(ChannelLayout, OutputsBeyondSixteenScreensOrTheChannelCountAreSkipped)
{
    EXPECT_EQ(outputWindowCount(2), 2);
    EXPECT_EQ(outputWindowCount(20), 16);
    EXPECT_EQ(channelsWithOutputs(6, 4), 4);
    EXPECT_EQ(channelsWithOutputs(2, 4), 2);
}
