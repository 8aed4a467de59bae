#pragma once
// Small pieces the setup views share: pop-ups whose items carry a value, selected by that value.

#include "comm/core/QMHardwareCommunicator.h"

#include <QComboBox>
#include <QVariant>

namespace KLVSetupViewSupport {

// Selects the item carrying value; none when no item does.
inline void selectData(QComboBox* popup, const QVariant& value)
{
    popup->setCurrentIndex(popup->findData(value));
}

// One item per interface, titled "name (identifier)", carrying the identifier.
inline void addInterfaces(QComboBox* popup, const QList<QVariantMap>& interfaces)
{
    for (const QVariantMap& entry : interfaces) {
        const QString id = entry.value(QLatin1String(QMHardwareInterfaceUniqueIdentifier)).toString();
        const QString name = entry.value(QLatin1String(QMHardwareInterfaceDisplayName)).toString();
        popup->addItem(QStringLiteral("%1 (%2)").arg(name, id), id);
    }
}

} // namespace KLVSetupViewSupport
