#pragma once
// An interface list of the test's own in place of the machine's, for as long as it lives.
#include "comm/showcontrol/dmxnet/FWNNetworkInterface.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"

#include <arpa/inet.h>

namespace dmxtest {

inline QByteArray ipv4(const char* text, quint16 port = 0)
{
    return FWNSockAddressIPv4::sockAddressWithAddressString(QString::fromLatin1(text), port)->data();
}

inline FWNInterfaceAddressEntry entry(const char* name, std::uint32_t flags, const char* address, const char* broadcast = nullptr)
{
    FWNInterfaceAddressEntry e;
    e.name = QString::fromLatin1(name);
    e.flags = flags;
    e.address = ipv4(address);
    e.netmask = ipv4("255.0.0.0");
    if (broadcast)
        e.broadcast = ipv4(broadcast);
    return e;
}

// Loopback dressed as a broadcast-capable interface, so that broadcasts in tests stay on lo.
inline FWNInterfaceAddressEntry broadcastLoopback()
{
    return entry("lo", FWNNetworkInterface::kFlagUp | FWNNetworkInterface::kFlagBroadcast | FWNNetworkInterface::kFlagLoopback,
                 "127.0.0.1", "127.255.255.255");
}

class FakeInterfaces {
public:
    explicit FakeInterfaces(std::optional<FWNNetworkInterfaceManager::Entries> entries)
    {
        FWNNetworkInterfaceManager::setProvider([entries] { return entries; });
    }
    ~FakeInterfaces()
    {
        // Never the machine's list in these tests: a broadcast must not find the real network.
        FWNNetworkInterfaceManager::setProvider([] { return FWNNetworkInterfaceManager::Entries{broadcastLoopback()}; });
    }
};

} // namespace dmxtest
