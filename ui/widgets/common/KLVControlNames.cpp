#include "ui/widgets/common/KLVControlNames.h"

#include "resources/strings/KLVLocalized.h"

#include <QWidget>

namespace KLVControlNames {

void name(QWidget* control, const char* nameKey, const char* tipKey)
{
    const QString text = KLVLocalized::text(nameKey);
    control->setAccessibleName(text);
    control->setToolTip(tipKey ? KLVLocalized::text(tipKey) : text);
}

} // namespace KLVControlNames
