#include "comm/core/QMNetworkHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "platform/foundation/StringValue.h"
#include "platform/net/NetworkInterfaces.h"

namespace {

class NetworkClass final : public QMHardwareCommunicatorClassOf<QMNetworkHardwareCommunicator> {
public:
    NetworkClass() : QMHardwareCommunicatorClassOf(QStringLiteral("QMNetworkHardwareCommunicator")) {}
    QString hardwareTypeName() const override { return QStringLiteral("Network"); }
    QList<QVariantMap> availableInterfaces() const override
    {
        QList<QVariantMap> list;
        for (const platform::net::NetworkInterfaceEntry& iface : platform::net::availableNetworkInterfaces()) {
            QVariantMap entry;
            entry.insert(QLatin1String(QMHardwareInterfaceDisplayName), iface.displayName);
            entry.insert(QLatin1String(QMHardwareInterfaceUniqueIdentifier), iface.name);
            const bool network = iface.kind == platform::net::InterfaceKind::Ethernet
                || iface.kind == platform::net::InterfaceKind::Wireless;
            entry.insert(QLatin1String(QMHardwareInterfaceType), network ? QMCommunicatorTypeNetwork : QMCommunicatorTypeOther);
            list.append(entry);
        }
        return list;
    }
};

} // namespace

const QMHardwareCommunicatorClass& QMNetworkHardwareCommunicator::networkClass()
{
    static const NetworkClass instance;
    return instance;
}

QMNetworkHardwareCommunicator::QMNetworkHardwareCommunicator() = default;
QMNetworkHardwareCommunicator::~QMNetworkHardwareCommunicator() = default;

std::shared_ptr<QMHardwareCommunicator> QMNetworkHardwareCommunicator::fromXML(const platform::XmlElement& element)
{
    auto communicator = std::make_shared<QMNetworkHardwareCommunicator>();
    communicator->readConnectionProperties(element);
    return communicator;
}

void QMNetworkHardwareCommunicator::readNetworkAttributes(const platform::XmlElement& element)
{
    interfaceString_.set(element.findAttribute(QStringLiteral("interface")).value_or(QString()));
    hostname_.set(element.findAttribute(QStringLiteral("address")).value_or(QString()));
    const qint64 port = platform::integerValue(element.attribute(QStringLiteral("port")));
    portNum_ = port < 0 ? 0 : std::uint64_t(port);
}

std::optional<platform::XmlElement> QMNetworkHardwareCommunicator::serializedConnectionProperties() const
{
    platform::XmlElement element(className());
    const QString iface = interfaceString();
    const QString host = hostname();
    if (!iface.isEmpty())
        element.setAttribute(QStringLiteral("interface"), iface);
    element.setAttribute(QStringLiteral("port"), QString::number(portNum()));
    if (!host.isEmpty())
        element.setAttribute(QStringLiteral("address"), host);
    return element;
}

void QMNetworkHardwareCommunicator::updateDisplayName()
{
    const QString host = hostname();
    const QString iface = interfaceString();
    const QString port = QString::number(portNum());
    if (!host.isEmpty())
        setDisplayName(host + QLatin1Char(':') + port);
    else if (!iface.isEmpty())
        setDisplayName(iface + QLatin1Char(':') + port);
    else
        setDisplayName(QStringLiteral("Any:") + port);
}

QString QMNetworkHardwareCommunicator::hostname() const { return hostname_.get(); }

void QMNetworkHardwareCommunicator::setHostname(const QString& host)
{
    hostname_.set(host);
    updateDisplayName();
}

QString QMNetworkHardwareCommunicator::interfaceString() const { return interfaceString_.get(); }

void QMNetworkHardwareCommunicator::setInterfaceString(const QString& name) { interfaceString_.set(name); }

bool QMNetworkHardwareCommunicator::validPort(std::uint64_t port, quint16* out) const
{
    if (port > 65535) {
        qmcomm::logError(QStringLiteral("port %1 is out of range").arg(port));
        return false;
    }
    *out = quint16(port);
    return true;
}
