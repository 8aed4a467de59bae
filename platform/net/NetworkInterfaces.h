#pragma once
// The machine's network interfaces, and the local address that stands for an interface name.
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

namespace platform::net {

enum class InterfaceKind { Ethernet, Wireless, Other };

struct NetworkInterfaceEntry {
    QString name;        // "eth0", "lo"
    QString displayName; // human-readable name
    InterfaceKind kind = InterfaceKind::Other;
};

QList<NetworkInterfaceEntry> availableNetworkInterfaces();

struct InterfaceAddress {
    QHostAddress address; // IPv4 when the interface has one, else its first IPv6 address
    int index = 0;        // kernel interface index
};

// An interface name ("lo", "eth0") or a literal local address. Empty names answer nothing
// (meaning "any"); unknown names and interfaces without an address answer nothing and set
// *unknown.
std::optional<InterfaceAddress> interfaceAddress(const QString& name, bool* unknown = nullptr);

// IPv4-mapped IPv6 addresses (::ffff:a.b.c.d) become plain IPv4; others are unchanged.
QHostAddress plainAddress(const QHostAddress& address);
QString addressText(const QHostAddress& address);

} // namespace platform::net
