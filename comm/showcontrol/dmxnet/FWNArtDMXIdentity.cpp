#include "comm/showcontrol/dmxnet/FWNArtDMXIdentity.h"

#include "comm/showcontrol/dmxnet/FWNNetworkInterface.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"

#include <atomic>
#include <cstring>
#include <netinet/in.h>

namespace {

std::atomic<quint16> artNetPort{FWNArtDMXIdentity::kDefaultPort};

// The family byte and IPv4 address word of a canonical address; an absent or short address
// reads as zeros.
std::uint8_t familyOf(const QByteArray& address)
{
    return address.size() > 1 ? std::uint8_t(address[1]) : 0;
}

std::uint32_t ipv4WordOf(const QByteArray& address)
{
    std::uint32_t word = 0;
    if (address.size() >= 8)
        std::memcpy(&word, address.constData() + 4, 4);
    return word;
}

} // namespace

std::uint16_t FWNArtDMXIdentity::portAddressWithUniverse(std::uint8_t universe, std::uint8_t subNet, std::uint8_t net)
{
    return std::uint16_t(((unsigned(net) << 8) & 0x7FFF) | ((unsigned(subNet) << 4) & 0xFF) | (universe & 0x0F));
}

void FWNArtDMXIdentity::getUniverse(std::uint8_t* universe, std::uint8_t* subNet, std::uint8_t* net, std::uint16_t portAddress)
{
    if (universe)
        *universe = portAddress & 0x0F;
    if (subNet)
        *subNet = (portAddress >> 4) & 0x0F;
    if (net)
        *net = (portAddress >> 8) & 0x7F;
}

quint16 FWNArtDMXIdentity::port()
{
    return artNetPort.load();
}

void FWNArtDMXIdentity::setPort(quint16 port)
{
    artNetPort.store(port);
}

QByteArray FWNArtDMXIdentity::addressWithIPv4String(const QString& text)
{
    const auto address = FWNSockAddressIPv4::sockAddressWithAddressString(text, port());
    return address ? address->data() : QByteArray();
}

QByteArray FWNArtDMXIdentity::addressWithAddress(const QByteArray& address)
{
    const auto v4 = FWNSockAddressIPv4::fromData(address);
    return v4 ? FWNSockAddressIPv4::sockAddressWithAddress(v4->addressNumber(), port()).data() : QByteArray();
}

QByteArray FWNArtDMXIdentity::addressWithIPv4Config(const FWNIPv4Config& config)
{
    return addressWithAddress(config.broadcast());
}

QByteArray FWNArtDMXIdentity::addressWithNetworkInterface(const FWNNetworkInterface& networkInterface, std::size_t configIndex)
{
    if (configIndex >= networkInterface.IPv4Configs().size())
        return {};
    const FWNIPv4Config& config = networkInterface.IPv4Configs()[configIndex];
    if (networkInterface.supportsBroadcast() && !config.broadcast().isEmpty())
        return config.broadcast();
    if (networkInterface.isLoopback())
        return config.address();
    return {};
}

QByteArray FWNArtDMXIdentity::defaultIPv4Address()
{
    if (const auto interfaces = FWNNetworkInterfaceManager::allInterfaces()) {
        for (const FWNNetworkInterface& i : *interfaces) {
            if (!i.supportsBroadcast())
                continue;
            for (const FWNIPv4Config& config : i.IPv4Configs()) {
                if (!config.broadcast().isEmpty()) {
                    const QByteArray address = addressWithIPv4Config(config);
                    if (!address.isEmpty())
                        return address;
                }
            }
        }
    }
    return FWNSockAddressIPv4::sockAddressWithAddress(htonl(INADDR_LOOPBACK), port()).data();
}

bool FWNArtDMXIdentity::operator==(const FWNArtDMXIdentity& other) const
{
    return portAddress_ == other.portAddress_ && familyOf(address_) == familyOf(other.address_)
        && ipv4WordOf(address_) == ipv4WordOf(other.address_);
}

std::size_t FWNArtDMXIdentity::hash() const
{
    return std::size_t(familyOf(address_)) ^ std::size_t(ipv4WordOf(address_)) ^ std::size_t(portAddress_);
}

QString FWNArtDMXIdentity::description() const
{
    const auto address = FWNSockAddress::sockAddressWithData(address_);
    return QStringLiteral("<FWNArtDMXIdentity: 0x%1, %2, %3>")
        .arg(quintptr(this), 0, 16)
        .arg(address ? address->addressString() : QStringLiteral("(null)"))
        .arg(portAddress_);
}

QVariantMap FWNArtDMXIdentity::archive() const
{
    return {{QStringLiteral("address"), address_}, {QStringLiteral("portAddress"), int(portAddress_)}};
}

FWNArtDMXIdentity FWNArtDMXIdentity::unarchive(const QVariantMap& archive)
{
    return FWNArtDMXIdentity(archive.value(QStringLiteral("address")).toByteArray(),
                             std::uint16_t(archive.value(QStringLiteral("portAddress")).toInt()));
}
