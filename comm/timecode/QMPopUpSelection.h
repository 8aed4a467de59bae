#pragma once
// Selecting a pop-up item by the value it represents. Written against the item-data calls of a
// combo box (findData, setCurrentIndex) so this library needs no widget module.

#include <QVariant>

namespace QMAdditions {

// Selects the first item whose data equals object; when there is none, no item is selected.
template <class PopUp>
void selectItemWithRepresentedObject(PopUp& popUp, const QVariant& object)
{
    popUp.setCurrentIndex(popUp.findData(object));
}

} // namespace QMAdditions
