#include "ui/widgets/common/KLVDarkMode.h"

#include <QGuiApplication>

namespace KLVDarkMode {

bool isDarkMode(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

bool applicationIsDark()
{
    return isDarkMode(QGuiApplication::palette());
}

} // namespace KLVDarkMode
