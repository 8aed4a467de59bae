#include "ui/widgets/common/KLVWidgetText.h"

#include <QCoreApplication>

namespace KLVWidgetText {

QString localized(const char* key, const QString& fallback)
{
    const QString text = QCoreApplication::translate("Localizable", key);
    return text == QLatin1String(key) ? fallback : text;
}

} // namespace KLVWidgetText
