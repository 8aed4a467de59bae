#pragma once
// One Art-Net universe at one host: a socket address (canonical bytes, may be empty) and a 15-bit
// port address (net bits 8-14, sub-net 4-7, universe 0-3). Two identities are equal when their
// port addresses are equal and their addresses have the same family and IPv4 address; the UDP
// port inside the address is not compared.
#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>

class FWNNetworkInterface;
class FWNIPv4Config;

class FWNArtDMXIdentity {
public:
    static constexpr quint16 kDefaultPort = 6454;

    FWNArtDMXIdentity() = default;
    explicit FWNArtDMXIdentity(QByteArray address, std::uint16_t portAddress = 0)
        : address_(std::move(address)), portAddress_(portAddress) {}
    explicit FWNArtDMXIdentity(std::uint16_t portAddress) : portAddress_(portAddress) {}
    static FWNArtDMXIdentity withUniverse(std::uint8_t universe, std::uint8_t subNet, std::uint8_t net,
                                          const QByteArray& address = {})
    {
        return FWNArtDMXIdentity(address, portAddressWithUniverse(universe, subNet, net));
    }

    static std::uint16_t portAddressWithUniverse(std::uint8_t universe, std::uint8_t subNet, std::uint8_t net);
    static void getUniverse(std::uint8_t* universe, std::uint8_t* subNet, std::uint8_t* net, std::uint16_t portAddress);

    // The Art-Net UDP port: 6454 unless a process-wide replacement is set (tests).
    static quint16 port();
    static void setPort(quint16 port);

    // IPv4 socket addresses (canonical bytes) on port(); empty when they cannot be made.
    static QByteArray addressWithIPv4String(const QString& text);
    static QByteArray addressWithAddress(const QByteArray& address);
    static QByteArray addressWithIPv4Config(const FWNIPv4Config& config);
    // The broadcast address of that configuration when the interface broadcasts and has one,
    // else its own address on a loopback interface, else empty. The address keeps its port.
    static QByteArray addressWithNetworkInterface(const FWNNetworkInterface& networkInterface, std::size_t configIndex);
    // The broadcast address of the first broadcast-capable interface with one, else 127.0.0.1.
    static QByteArray defaultIPv4Address();
    static FWNArtDMXIdentity defaultIdentity(std::uint16_t portAddress = 0)
    {
        return FWNArtDMXIdentity(defaultIPv4Address(), portAddress);
    }

    const QByteArray& address() const { return address_; }
    std::uint16_t portAddress() const { return portAddress_; }
    std::uint8_t universe() const { return portAddress_ & 0x0F; }
    std::uint8_t subNet() const { return (portAddress_ >> 4) & 0x0F; }
    std::uint8_t net() const { return (portAddress_ >> 8) & 0x7F; }

    bool operator==(const FWNArtDMXIdentity& other) const;
    std::size_t hash() const;
    QString description() const; // "<FWNArtDMXIdentity: %p, %@, %u>"

    // Archived under "address" and "portAddress".
    QVariantMap archive() const;
    static FWNArtDMXIdentity unarchive(const QVariantMap& archive);

private:
    QByteArray address_;
    std::uint16_t portAddress_ = 0;
};

template <>
struct std::hash<FWNArtDMXIdentity> {
    std::size_t operator()(const FWNArtDMXIdentity& identity) const { return identity.hash(); }
};
