#pragma once
// Where popovers and pop-ups open: beside their anchor's right-hand edge when they fit there,
// else beside its left-hand edge, and always wholly inside the available area of the anchor's
// screen (the part not taken by panels), so a column at the screen's edge opens them inward.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace KLVScreenPlacement {

// Pure: the top-left for a popup of `size` beside `anchor` (global coordinates) inside `available`.
QPoint besideAnchor(const QRect& anchor, const QSize& size, const QRect& available);
// The same for a widget anchor, on the screen the anchor is on.
QPoint besideAnchor(const QWidget& anchor, const QSize& size);
// Moves a top-level widget (after it grew, say) back inside its screen's available area.
void keepOnScreen(QWidget& window);

} // namespace KLVScreenPlacement
