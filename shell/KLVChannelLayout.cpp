#include "shell/KLVChannelLayout.h"

#include <algorithm>

namespace KLVChannelLayout {

Columns layoutColumns(int count, int columnWidth, QSize contentSize)
{
    Columns result;
    if (count < 1)
        return result;
    const int contentWidth = contentSize.width();
    const int contentHeight = contentSize.height();
    int width = columnWidth * std::min(count, 4);
    if (contentWidth > width && contentWidth * 2 < width * 3)
        width = contentWidth;
    const int height = std::max(kMinimumContainerHeight, contentHeight);
    const int column = width / count;
    for (int i = 0; i < count; ++i)
        result.columns.emplace_back(i * column, height - contentHeight, column, contentHeight);
    result.resizeWindow = width != contentWidth;
    result.container = result.resizeWindow ? QSize(width, height) : contentSize;
    return result;
}

Relayout relayoutColumns(const std::vector<QRect>& columns, int previousCount)
{
    Relayout result;
    if (columns.empty())
        return result;
    const QSize size = columns.back().size();
    int x = 0;
    for (const QRect& column : columns) {
        result.columns.emplace_back(QPoint(x, column.y()), size);
        x += size.width();
    }
    result.widthChange = (int(columns.size()) - previousCount) * size.width();
    return result;
}

PreviewPlacement previewPlacement(const QRect& frame, int frameParentWidth)
{
    PreviewPlacement p;
    p.leading = frame.x();
    p.height = frame.height();
    p.top = frame.y();
    p.trailing = frameParentWidth < 0 ? frame.x() : frameParentWidth - frame.width() - frame.x();
    return p;
}

PreviewPlacement previewPlacement()
{
    return {};
}

std::vector<QRect> spacerRects(const std::vector<QRect>& frames)
{
    std::vector<QRect> spacers;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        const int left = frames[i].x() + frames[i].width();
        spacers.emplace_back(left, frames[i].y(), frames[i + 1].x() - left, frames[i].height());
    }
    return spacers;
}

std::vector<QRect> quadrantRects(const QRect& screen)
{
    const int w = screen.width() / 2;
    const int h = screen.height() / 2;
    const int x0 = screen.x();
    const int y0 = screen.y();
    return {QRect(x0, y0, w, h), QRect(x0 + w, y0, w, h), QRect(x0, y0 + h, w, h), QRect(x0 + w, y0 + h, w, h)};
}

QuadTarget quadTarget(int screenCount, const std::vector<bool>& holdsMainWindow)
{
    QuadTarget target;
    if (screenCount < 1)
        return target;
    for (int i = screenCount - 1; i >= 0; --i) {
        if (i >= int(holdsMainWindow.size()) || !holdsMainWindow[size_t(i)])
            return {i, i};
    }
    return {screenCount - 1, screenCount};
}

} // namespace KLVChannelLayout
