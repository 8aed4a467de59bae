#include "platform/net/NetworkInterfaces.h"

#include <QNetworkInterface>

namespace platform::net {

QList<NetworkInterfaceEntry> availableNetworkInterfaces()
{
    QList<NetworkInterfaceEntry> list;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        NetworkInterfaceEntry entry;
        entry.name = iface.name();
        entry.displayName = iface.humanReadableName();
        switch (iface.type()) {
        case QNetworkInterface::Ethernet: entry.kind = InterfaceKind::Ethernet; break;
        case QNetworkInterface::Wifi: entry.kind = InterfaceKind::Wireless; break;
        default: entry.kind = InterfaceKind::Other; break;
        }
        list.append(entry);
    }
    return list;
}

std::optional<InterfaceAddress> interfaceAddress(const QString& name, bool* unknown)
{
    if (unknown)
        *unknown = false;
    if (name.isEmpty())
        return std::nullopt;
    QHostAddress literal;
    if (literal.setAddress(name)) {
        InterfaceAddress result;
        result.address = plainAddress(literal);
        return result;
    }
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(name);
    if (iface.isValid()) {
        std::optional<QHostAddress> v6;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress a = entry.ip();
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                return InterfaceAddress{a, iface.index()};
            if (!v6 && a.protocol() == QAbstractSocket::IPv6Protocol)
                v6 = a;
        }
        if (v6)
            return InterfaceAddress{*v6, iface.index()};
    }
    if (unknown)
        *unknown = true;
    return std::nullopt;
}

QHostAddress plainAddress(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok && address.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(v4);
    return address;
}

QString addressText(const QHostAddress& address)
{
    return plainAddress(address).toString();
}

} // namespace platform::net
