#pragma once
// Small pieces the setup views share: pop-ups whose items carry a value, selected by that value.

#include <QComboBox>
#include <QVariant>

namespace KLVSetupViewSupport {

// Selects the item carrying value; none when no item does.
inline void selectData(QComboBox* popup, const QVariant& value)
{
    popup->setCurrentIndex(popup->findData(value));
}

} // namespace KLVSetupViewSupport
