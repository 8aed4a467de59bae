#pragma once
// The serial ports of the machine. A port is named by its stable /dev/serial/by-id link when it
// has one, so a saved device finds its adapter again after re-plugging.
#include <QList>
#include <QString>

#include <functional>

namespace platform::serial {

struct SerialPortEntry {
    QString path;        // the path to open: /dev/serial/by-id/... when there is one
    QString displayName; // the kernel's name of the port, e.g. "ttyUSB0"
};

QList<SerialPortEntry> availableSerialPorts();

// Replaces the system's port list (tests offer pseudo-terminals this way); null restores it.
using SerialPortProvider = std::function<QList<SerialPortEntry>()>;
void setSerialPortProvider(SerialPortProvider provider);

// The naming rule on its own: each port (its device path and kernel name, in order) takes the
// first link of byIdFolder, by link name, that resolves to the same device; else its own path.
QList<SerialPortEntry> serialPortsNamedById(const QList<SerialPortEntry>& ports, const QString& byIdFolder);

} // namespace platform::serial
