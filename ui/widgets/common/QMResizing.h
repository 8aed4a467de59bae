#pragma once
// Window resizing that keeps the top edge where it is: the connection setup window (centred
// horizontally) and the channel layout (top-left corner kept).

#include <QRect>
#include <QSize>

class QWidget;

namespace QMResizing {

// New frame of rect's size, horizontal centre and top edge kept.
QRect topAlignedFrame(const QRect& frame, const QSize& size);
// Frame grown by delta, top-left corner kept.
QRect frameResizedBy(const QRect& frame, const QSize& delta);

void resizeWindowTopAlignedWithRect(QWidget* window, const QRect& rect, bool animate);
void resizeWindowBy(QWidget* window, const QSize& delta, bool animate);

} // namespace QMResizing
