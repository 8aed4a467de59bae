#include "platform/serial/SerialPortDiscovery.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <mutex>

namespace platform::serial {

namespace {

std::mutex providerMutex;
SerialPortProvider& provider()
{
    static SerialPortProvider instance;
    return instance;
}

} // namespace

void setSerialPortProvider(SerialPortProvider replacement)
{
    const std::lock_guard<std::mutex> lock(providerMutex);
    provider() = std::move(replacement);
}

QList<SerialPortEntry> availableSerialPorts()
{
    SerialPortProvider replacement;
    {
        const std::lock_guard<std::mutex> lock(providerMutex);
        replacement = provider();
    }
    if (replacement)
        return replacement();
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
