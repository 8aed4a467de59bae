#include "ui/widgets/prefs/KLVDeviceCommandMenu.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/interpreter/QMCommModuleConnectionWrapper.h"
#include "ui/widgets/prefs/KLVParamConfigDialog.h"

#include <QMenu>
#include <QPointer>

namespace KLVDeviceCommandMenu {

namespace {

// The state a device that cannot send is in, as the list says it.
QString stateLine(const QMCommModuleConnectionWrapper& wrapper)
{
    const QString state = wrapper.isConfigured() ? wrapper.connectButtonLabel() : QStringLiteral("Not configured");
    return state.isEmpty() ? QStringLiteral("Not Connected") : state;
}

} // namespace

QMenu* create(QMCommModuleConnectionManager& manager, QMCommModuleConnectionWrapper& wrapper, QWidget* parent)
{
    const std::optional<QMCommandMenu> commands = manager.cueSubmenuForWrapper(&wrapper);
    if (!commands)
        return nullptr;
    auto* menu = new QMenu(commands->title, parent);
    menu->setToolTipsVisible(true);
    const bool connected = wrapper.isConnected();
    if (!connected) {
        menu->addAction(stateLine(wrapper))->setEnabled(false);
        menu->addSeparator();
    }
    QPointer<QMCommModuleConnectionWrapper> device(&wrapper);
    QPointer<QWidget> owner(parent);
    for (const QMCommandMenuItem& item : commands->items) {
        QAction* action = menu->addAction(item.title);
        action->setToolTip(item.toolTip);
        action->setEnabled(connected);
        QObject::connect(action, &QAction::triggered, menu, [device, owner, descriptor = item.descriptor] {
            // After the menu has closed: the dialog runs its own event loop.
            QMetaObject::invokeMethod(
                device,
                [device, owner, descriptor] {
                    if (device)
                        send(*device, descriptor, owner);
                },
                Qt::QueuedConnection);
        });
    }
    return menu;
}

void send(QMCommModuleConnectionWrapper& wrapper, const QVariantMap& descriptor, QWidget* parent)
{
    QVariantMap command = descriptor;
    if (!descriptor.value(QLatin1String(QMProtocolCommandKeyParams)).toList().isEmpty()) {
        QPointer<QMCommModuleConnectionWrapper> device(&wrapper);
        std::optional<QVariantMap> filled = KLVParamConfigDialog::runModalParamConfigSessionForCommand(descriptor, parent);
        // The device may have been removed or disconnected while the dialog was up.
        if (!filled || !device)
            return;
        command = std::move(*filled);
    }
    if (!wrapper.isConnected() || !wrapper.parser())
        return;
    wrapper.parser()->sendProtocolCommand(command);
}

} // namespace KLVDeviceCommandMenu
