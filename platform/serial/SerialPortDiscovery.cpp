#include "platform/serial/SerialPortDiscovery.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace platform::serial {

QList<SerialPortEntry> availableSerialPorts()
{
    QHash<QString, QString> byId; // canonical device path -> by-id link
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    const QFileInfoList links = dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !byId.contains(target))
            byId.insert(target, link.absoluteFilePath());
    }
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString location = info.systemLocation();
        const QString canonical = QFileInfo(location).canonicalFilePath();
        SerialPortEntry entry;
        entry.path = byId.value(canonical.isEmpty() ? location : canonical, location);
        entry.displayName = info.portName();
        ports.append(entry);
    }
    return ports;
}

} // namespace platform::serial
