#pragma once
// What the device list says about one device besides its label: the protocol, the link it runs
// over and where (port, address or line), and its state, e.g.
// "VDCP · Network (TCP) · lo:51000 · Listening". A link that failed to open, or closed on its own,
// says why after its state: "Not Connected: Connection refused".

#include <QString>

class QMCommModuleConnectionWrapper;

namespace KLVDeviceListText {

QString title(const QMCommModuleConnectionWrapper& wrapper);
QString detail(const QMCommModuleConnectionWrapper& wrapper);
// The link is not open because it failed (rather than because nobody opened it).
bool failed(const QMCommModuleConnectionWrapper& wrapper);

} // namespace KLVDeviceListText
