#include "ui/logic/prefs/KLVDeviceListText.h"

#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionWrapper.h"

#include <QStringList>

namespace KLVDeviceListText {

namespace {

std::shared_ptr<QMHardwareCommunicator> communicatorOf(const QMCommModuleConnectionWrapper& wrapper)
{
    return wrapper.parser() ? wrapper.parser()->hardwareCommunicator() : nullptr;
}

// Where the link is: its display name, or for a serial line the system does not list (so it
// has no display name) the path it opens.
QString where(const QMHardwareCommunicator& communicator)
{
    const QString name = communicator.displayName();
    if (!name.isEmpty())
        return name;
    if (auto* serial = dynamic_cast<const QMSerialHardwareCommunicator*>(&communicator))
        return serial->devicePath();
    return {};
}

} // namespace

QString title(const QMCommModuleConnectionWrapper& wrapper)
{
    const QString label = wrapper.deviceLabel().trimmed();
    return label.isEmpty() ? wrapper.deviceProtocol() : label;
}

bool failed(const QMCommModuleConnectionWrapper& wrapper)
{
    const std::shared_ptr<QMHardwareCommunicator> communicator = communicatorOf(wrapper);
    return communicator && !communicator->isActive() && !communicator->failureReason().isEmpty();
}

QString detail(const QMCommModuleConnectionWrapper& wrapper)
{
    QStringList parts;
    if (!wrapper.deviceProtocol().isEmpty())
        parts << wrapper.deviceProtocol();
    const std::shared_ptr<QMHardwareCommunicator> communicator = communicatorOf(wrapper);
    if (!communicator) {
        parts << QStringLiteral("Not configured");
        return parts.join(QStringLiteral(" · "));
    }
    parts << communicator->communicatorClass().hardwareTypeName();
    const QString place = where(*communicator);
    if (!place.isEmpty())
        parts << place;
    const QString reason = communicator->isActive() ? QString() : communicator->failureReason();
    parts << (reason.isEmpty() ? communicator->activeStateLabel() : communicator->activeStateLabel() + QStringLiteral(": ") + reason);
    return parts.join(QStringLiteral(" · "));
}

} // namespace KLVDeviceListText
