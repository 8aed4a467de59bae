#pragma once
// The ACN address types behind the sACN layer (component identifier and ACN IP address with its
// text forms) and the bridge through which the I/O controller and the packer use them.
#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace FWNACN {

// A 16-byte component identifier.
struct CID {
    std::array<std::uint8_t, 16> bytes{};
    static CID fromData(const QByteArray& data); // the first 16 bytes, zero-padded
};

// An ACN address: interface index (-1 unset), port (0 unset) and a 16-byte address, IPv4 held in
// the last four bytes.
struct CIPAddr {
    std::int32_t interfaceIndex = -1;
    std::uint16_t port = 0;
    std::array<std::uint8_t, 16> address{};

    static CIPAddr ipv4(std::uint32_t hostOrderAddress, std::uint16_t port);
    bool isIPv4() const;
    // "a.b.c.d" or "[xxxx:...:xxxx]", then ":port" when asked, or ":port,interface" when the
    // interface is asked (which wins). At most 59 characters.
    QString text(bool withPort, bool withInterface) const;
};

} // namespace FWNACN

// (The class name is spelled so.)
class FWNSACNIOCOntrollerCWrapper {
public:
    static std::uint8_t startCode() { return 0; }
    // 239.255.(u >> 8).(u & 0xFF)
    QString multicastGroup(std::uint16_t universe) const;
    // That group on the sACN port, as canonical socket-address bytes. (The name is spelled so.)
    static QByteArray mutlicastAddressForUniverse(std::uint16_t universe);
    // 0.0.0.0 on the sACN port.
    static QByteArray bindAddressData();
};
