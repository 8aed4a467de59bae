#include "ui/widgets/common/QMProgressColors.h"

#include "ui/widgets/common/KLVDarkMode.h"

#include <QGuiApplication>
#include <QPalette>

namespace QMProgressColors {
namespace {

QColor pick(QRgb light, QRgb dark)
{
    return QColor::fromRgba(KLVDarkMode::applicationIsDark() ? dark : light);
}

} // namespace

QColor progressControlBackground() { return pick(0xFFD8D8D8, 0xFF3A3A3C); }
QColor progressControlAccent() { return QGuiApplication::palette().color(QPalette::Highlight); }
QColor progressControlBorder() { return pick(0xFFA0A0A0, 0xFF5A5A5E); }
QColor progressControlAccentBorder() { return progressControlAccent().darker(130); }
QColor progressKnobInactiveFill() { return pick(0xFFFFFFFF, 0xFFC8C8CC); }
QColor progressKnobActiveFill() { return pick(0xFFE0E0E0, 0xFFFFFFFF); }
QColor progressKnobBorder() { return pick(0xFF808080, 0xFF202022); }
QColor progressInPoint() { return pick(0xFF2E9E3E, 0xFF3CC24E); }
QColor progressOutPoint() { return pick(0xFFD03030, 0xFFE84848); }

} // namespace QMProgressColors
