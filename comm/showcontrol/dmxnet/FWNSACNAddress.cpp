#include "comm/showcontrol/dmxnet/FWNSACNAddress.h"

#include "comm/showcontrol/dmxnet/FWNSACNIOController.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"

#include <cstring>
#include <netinet/in.h>

namespace FWNACN {

CID CID::fromData(const QByteArray& data)
{
    CID cid;
    std::memcpy(cid.bytes.data(), data.constData(), size_t(std::min<qsizetype>(data.size(), 16)));
    return cid;
}

CIPAddr CIPAddr::ipv4(std::uint32_t hostOrderAddress, std::uint16_t port)
{
    CIPAddr a;
    a.port = port;
    a.address[12] = std::uint8_t(hostOrderAddress >> 24);
    a.address[13] = std::uint8_t(hostOrderAddress >> 16);
    a.address[14] = std::uint8_t(hostOrderAddress >> 8);
    a.address[15] = std::uint8_t(hostOrderAddress);
    return a;
}

bool CIPAddr::isIPv4() const
{
    for (int i = 0; i < 10; ++i) {
        if (address[i] != 0)
            return false;
    }
    return (address[10] == 0 && address[11] == 0) || (address[10] == 0xFF && address[11] == 0xFF);
}

QString CIPAddr::text(bool withPort, bool withInterface) const
{
    QString out;
    if (isIPv4()) {
        out = QStringLiteral("%1.%2.%3.%4").arg(address[12]).arg(address[13]).arg(address[14]).arg(address[15]);
    } else {
        QStringList groups;
        for (int i = 0; i < 16; i += 2)
            groups << QStringLiteral("%1").arg(unsigned(address[i]) << 8 | address[i + 1], 4, 16, QLatin1Char('0')).toUpper();
        out = QLatin1Char('[') + groups.join(QLatin1Char(':')) + QLatin1Char(']');
    }
    if (withInterface)
        out += QStringLiteral(":%1,%2").arg(port).arg(interfaceIndex);
    else if (withPort)
        out += QStringLiteral(":%1").arg(port);
    return out;
}

} // namespace FWNACN

QString FWNSACNIOCOntrollerCWrapper::multicastGroup(std::uint16_t universe) const
{
    return QStringLiteral("239.255.%1.%2").arg(universe >> 8).arg(universe & 0xFF);
}

QByteArray FWNSACNIOCOntrollerCWrapper::mutlicastAddressForUniverse(std::uint16_t universe)
{
    const std::uint32_t group = 0xEFFF0000u | universe;
    return FWNSockAddressIPv4::sockAddressWithAddress(htonl(group), FWNSACNIOController::port()).data();
}

QByteArray FWNSACNIOCOntrollerCWrapper::bindAddressData()
{
    return FWNSockAddressIPv4::sockAddressWithAddress(htonl(INADDR_ANY), FWNSACNIOController::port()).data();
}
