#pragma once
// The colours the overlay placement view draws with.

#include <QColor>

namespace KLVOverlayColors {

inline QColor white(double level, double alpha)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}
inline QColor backgroundFill() { return white(1.0, 0.2); }
inline QColor backgroundBorder() { return white(0.8, 1.0); }
inline QColor outputFill() { return white(0.0, 0.5); }
inline QColor outputBorder() { return QColor(52, 199, 89); } // the system green
inline QColor imageBorder() { return white(0.8, 1.0); }
inline QColor titleColor() { return white(0.8, 1.0); }

} // namespace KLVOverlayColors
