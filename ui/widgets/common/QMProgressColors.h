#pragma once
// The colours the progress bar draws with. The accent follows the palette's highlight; the others
// are fixed, with a light and a dark variant.

#include <QColor>

namespace QMProgressColors {

QColor progressControlBackground();
QColor progressControlAccent();
QColor progressControlBorder();
QColor progressControlAccentBorder();
QColor progressKnobInactiveFill();
QColor progressKnobActiveFill();
QColor progressKnobBorder();
QColor progressInPoint();
QColor progressOutPoint();

} // namespace QMProgressColors
