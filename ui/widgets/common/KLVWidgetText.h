#pragma once
// Localized texts of the widgets: the translation of a key, or the given text while no
// translation is installed.

#include <QString>

namespace KLVWidgetText {

QString localized(const char* key, const QString& fallback);

} // namespace KLVWidgetText
