#pragma once
// The devices the user can add: one per parser class the module was started with, in its order,
// titled with the class's protocol. Protocols that only arrive with a saved device list (DMX,
// MIDI and the switchers) are not offered.

#include <QList>
#include <QString>

class QMProtocolParserClass;

namespace KLVAddDeviceItems {

struct Item {
    QString title;
    const QMProtocolParserClass* parserClass = nullptr;
};

QList<Item> itemsForParsers(const QList<const QMProtocolParserClass*>& parsers);

} // namespace KLVAddDeviceItems
