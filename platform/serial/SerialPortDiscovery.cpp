#include "platform/serial/SerialPortDiscovery.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace platform::serial {

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.systemLocation(), info.portName()});
    return serialPortsNamedById(ports, QStringLiteral("/dev/serial/by-id"));
}

QList<SerialPortEntry> serialPortsNamedById(const QList<SerialPortEntry>& ports, const QString& byIdFolder)
{
    QHash<QString, QString> byId; // canonical device path -> by-id link
    const QDir dir(byIdFolder);
    const QFileInfoList links = dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !byId.contains(target))
            byId.insert(target, link.absoluteFilePath());
    }
    QList<SerialPortEntry> named;
    for (const SerialPortEntry& port : ports) {
        const QString canonical = QFileInfo(port.path).canonicalFilePath();
        named.append({byId.value(canonical.isEmpty() ? port.path : canonical, port.path), port.displayName});
    }
    return named;
}

} // namespace platform::serial
