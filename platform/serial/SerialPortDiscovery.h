#pragma once
// The serial ports of the machine. A port is named by its stable /dev/serial/by-id link when it
// has one, so a saved device finds its adapter again after re-plugging.
#include <QList>
#include <QString>

namespace platform::serial {

struct SerialPortEntry {
    QString path;        // the path to open: /dev/serial/by-id/... when there is one
    QString displayName; // the kernel's name of the port, e.g. "ttyUSB0"
};

QList<SerialPortEntry> availableSerialPorts();

} // namespace platform::serial
