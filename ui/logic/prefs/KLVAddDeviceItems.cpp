#include "ui/logic/prefs/KLVAddDeviceItems.h"

#include "comm/core/QMProtocolParser.h"

#include <QStringList>

namespace KLVAddDeviceItems {

QList<Item> itemsForParsers(const QList<const QMProtocolParserClass*>& parsers)
{
    static const QStringList notOffered{QStringLiteral("DMX"), QStringLiteral("MIDI"), QStringLiteral("Sony BVS"),
                                        QStringLiteral("GVG100"), QStringLiteral("RossTalk")};
    QList<Item> items;
    for (const QMProtocolParserClass* parserClass : parsers) {
        if (!parserClass || notOffered.contains(parserClass->supportedProtocol()))
            continue;
        items.append({parserClass->supportedProtocol(), parserClass});
    }
    return items;
}

} // namespace KLVAddDeviceItems
