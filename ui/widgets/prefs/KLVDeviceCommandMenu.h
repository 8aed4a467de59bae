#pragma once
// A device's outgoing commands as the device list offers them, on the row's context menu and on
// the Commands button: the connection manager's menu for the device (titled with its ID), one
// item per command with its description as tool tip. Choosing a command with parameters asks for
// them in the parameter dialog and sends the filled-in command when accepted, nothing when
// cancelled; a command without parameters is sent at once. A device that is not connected shows
// its commands greyed under a line saying its state.
#include <QVariantMap>

class QMenu;
class QWidget;
class QMCommModuleConnectionManager;
class QMCommModuleConnectionWrapper;

namespace KLVDeviceCommandMenu {

// A new menu owned by parent, or null when the device's protocol sends no commands. Dialogs open
// over parent.
QMenu* create(QMCommModuleConnectionManager& manager, QMCommModuleConnectionWrapper& wrapper, QWidget* parent);

// Sends one command of the device: at once without parameters, else after the dialog (modal over
// parent) is accepted. Nothing is sent when the device is gone or not connected by then.
void send(QMCommModuleConnectionWrapper& wrapper, const QVariantMap& descriptor, QWidget* parent);

} // namespace KLVDeviceCommandMenu
