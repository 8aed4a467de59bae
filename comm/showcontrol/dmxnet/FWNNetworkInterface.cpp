#include "comm/showcontrol/dmxnet/FWNNetworkInterface.h"

#include "comm/showcontrol/dmxnet/FWNSockAddress.h"
#include "platform/net/NetworkInterfaces.h"

#include <ifaddrs.h>
#include <mutex>
#include <net/if.h>

namespace {

QString pointerText(const void* p)
{
    return QStringLiteral("0x%1").arg(quintptr(p), 0, 16);
}

QString addressText(const QByteArray& data)
{
    const auto address = FWNSockAddress::sockAddressWithData(data);
    return address ? address->addressString() : QStringLiteral("(null)");
}

struct ProviderSlot {
    std::mutex mutex;
    FWNNetworkInterfaceManager::Provider provider;
};

ProviderSlot& providerSlot()
{
    static ProviderSlot slot;
    return slot;
}

QByteArray canonical(const sockaddr* address)
{
    const auto a = FWNSockAddress::sockAddressWithSockAddr(address);
    return a ? a->data() : QByteArray();
}

} // namespace

QString FWNIPv4Config::description() const
{
    return QStringLiteral("<IPv4 %1, %2>").arg(pointerText(this), addressText(address_));
}

std::optional<FWNIPv6Config> FWNIPv6Config::configWithIfaddrs(const FWNInterfaceAddressEntry& entry)
{
    if (entry.address.size() < 2 || std::uint8_t(entry.address[1]) != FWNSockAddress::kFamilyIPv6)
        return std::nullopt;
    return FWNIPv6Config(entry.address);
}

QString FWNIPv6Config::description() const
{
    return QStringLiteral("<IPv6 %1, %2>").arg(pointerText(this), addressText(address_));
}

FWNNetworkInterface::FWNNetworkInterface(QString name)
    : name_(std::move(name))
{
    for (const platform::net::NetworkInterfaceEntry& entry : platform::net::availableNetworkInterfaces()) {
        if (entry.name == name_) {
            if (entry.displayName != name_)
                userDefinedName_ = entry.displayName;
            break;
        }
    }
}

std::optional<FWNNetworkInterface::Config> FWNNetworkInterface::configWithIfaddrs(const FWNInterfaceAddressEntry& entry)
{
    if (entry.address.size() < 2)
        return std::nullopt;
    const std::uint8_t family = std::uint8_t(entry.address[1]);
    if (family == FWNSockAddress::kFamilyIPv6)
        return Config(FWNIPv6Config(entry.address));
    if (family == FWNSockAddress::kFamilyIPv4) {
        const QByteArray broadcast = (entry.flags & kFlagBroadcast) ? entry.broadcast : QByteArray();
        return Config(FWNIPv4Config(entry.address, entry.netmask, broadcast));
    }
    return std::nullopt;
}

void FWNNetworkInterface::addConfig(const Config& config)
{
    if (const auto* v4 = std::get_if<FWNIPv4Config>(&config))
        ipv4Configs_.push_back(*v4);
    else if (const auto* v6 = std::get_if<FWNIPv6Config>(&config))
        ipv6Configs_.push_back(*v6);
}

void FWNNetworkInterface::takeIfaddrs(const FWNInterfaceAddressEntry& entry)
{
    if (const auto config = configWithIfaddrs(entry))
        addConfig(*config);
}

QString FWNNetworkInterface::description() const
{
    QStringList v4;
    for (const FWNIPv4Config& c : ipv4Configs_)
        v4 << c.description();
    QStringList v6;
    for (const FWNIPv6Config& c : ipv6Configs_)
        v6 << c.description();
    return QStringLiteral("<FWNNetworkInterface: %1, %2> (%3),(%4)")
        .arg(pointerText(this), name_, v4.join(QStringLiteral(", ")), v6.join(QStringLiteral(", ")));
}

FWNNetworkInterfaceManager& FWNNetworkInterfaceManager::sharedManager()
{
    static FWNNetworkInterfaceManager instance;
    return instance;
}

void FWNNetworkInterfaceManager::setProvider(Provider provider)
{
    ProviderSlot& slot = providerSlot();
    std::lock_guard lock(slot.mutex);
    slot.provider = std::move(provider);
}

std::optional<FWNNetworkInterfaceManager::Entries> FWNNetworkInterfaceManager::systemEntries()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    Entries entries;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        FWNInterfaceAddressEntry entry;
        entry.name = QString::fromUtf8(a->ifa_name);
        entry.flags = a->ifa_flags;
        entry.address = canonical(a->ifa_addr);
        entry.netmask = canonical(a->ifa_netmask);
        if (a->ifa_flags & IFF_BROADCAST)
            entry.broadcast = canonical(a->ifa_broadaddr);
        entries.push_back(std::move(entry));
    }
    ::freeifaddrs(list);
    return entries;
}

std::optional<std::vector<FWNNetworkInterface>> FWNNetworkInterfaceManager::interfaces() const
{
    Provider provider;
    {
        ProviderSlot& slot = providerSlot();
        std::lock_guard lock(slot.mutex);
        provider = slot.provider;
    }
    const std::optional<Entries> entries = provider ? provider() : systemEntries();
    if (!entries)
        return std::nullopt;
    std::vector<FWNNetworkInterface> result;
    for (const FWNInterfaceAddressEntry& entry : *entries) {
        FWNNetworkInterface* found = nullptr;
        for (FWNNetworkInterface& i : result) {
            if (i.name() == entry.name) {
                found = &i;
                break;
            }
        }
        if (!found) {
            found = &result.emplace_back(entry.name);
            found->setFlags(entry.flags);
        }
        found->takeIfaddrs(entry);
    }
    return result;
}

std::vector<FWNNetworkInterface> FWNNetworkInterfaceManager::artNetInterfaces()
{
    std::vector<FWNNetworkInterface> result;
    if (const auto all = allInterfaces()) {
        for (const FWNNetworkInterface& i : *all) {
            if (i.isArtNetCapable())
                result.push_back(i);
        }
    }
    return result;
}
