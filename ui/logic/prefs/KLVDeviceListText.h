#pragma once
// What the device list says about one device besides its label: the protocol, the link it runs
// over and where (port, address or line), and its state, e.g.
// "VDCP · Network (TCP) · lo:51000 · Listening".

#include <QString>

class QMCommModuleConnectionWrapper;

namespace KLVDeviceListText {

QString title(const QMCommModuleConnectionWrapper& wrapper);
QString detail(const QMCommModuleConnectionWrapper& wrapper);

} // namespace KLVDeviceListText
