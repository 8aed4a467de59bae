#pragma once
// The geometry of the main window and the outputs as pure functions, in Qt's coordinates (y
// grows downwards; a rectangle's y is its top edge).

#include <QRect>
#include <QSize>

#include <vector>

namespace KLVChannelLayout {

inline constexpr int kMinimumContainerHeight = 600;
inline constexpr int kMaxOutputWindows = 16;

// The channel columns in the main window's content.
struct Columns {
    QSize container;             // the content's new size
    std::vector<QRect> columns;  // one per channel, in column order
    bool resizeWindow = false;   // the content differs in width: the window takes the container's size
};

// count columns of the natural width columnWidth in a content of contentSize. The four-column
// width (fewer with fewer channels) is filled out to a content up to half again as wide; a wider
// content keeps it. With more than four channels the four-column width is shared by all. The
// container is at least 600 high; the columns keep the content's height, at its bottom.
Columns layoutColumns(int count, int columnWidth, QSize contentSize);

// After a screen change: each column keeps its y and takes the last column's size, side by side
// from x = 0. widthChange: what the window grows by when the column count changed.
struct Relayout {
    std::vector<QRect> columns;
    int widthChange = 0;
};
Relayout relayoutColumns(const std::vector<QRect>& columns, int previousCount);

// Where the preview strip goes in the content: its margins to the content's edges and height.
struct PreviewPlacement {
    int leading = 10;
    int trailing = 10;
    int top = 45;
    int height = 200;
};
// firstPreviewFrame: the first channel's preview frame in content coordinates; frameParentWidth:
// the width of the frame's parent (negative: it has none, the leading margin is used).
PreviewPlacement previewPlacement(const QRect& firstPreviewFrame, int frameParentWidth);
// No channels.
PreviewPlacement previewPlacement();

// The spacer boxes between neighbouring preview frames (content coordinates): from the right
// edge of frame i to the left edge of frame i + 1, as high as frame i. None for fewer than two.
std::vector<QRect> spacerRects(const std::vector<QRect>& previewFrames);

// Quad test mode: the four windows on the screen, j = 0 top-left, 1 top-right, 2 bottom-left,
// 3 bottom-right, each half the screen's width and height.
std::vector<QRect> quadrantRects(const QRect& screen);

// The screen quad test mode uses: the last one that does not hold the main window (index and
// head index both its index), or, when all do, the last one with head index = screen count.
struct QuadTarget {
    int screenIndex = -1;
    int headIndex = 0;
};
QuadTarget quadTarget(int screenCount, const std::vector<bool>& holdsMainWindow);

// How many output windows the screens get (at most 16) and how many channels get one (no more
// than there are channels).
inline int outputWindowCount(int screenCount)
{
    return screenCount < 0 ? 0 : (screenCount > kMaxOutputWindows ? kMaxOutputWindows : screenCount);
}
inline int channelsWithOutputs(int outputCount, int channelCount)
{
    return outputCount < channelCount ? outputCount : channelCount;
}

} // namespace KLVChannelLayout
