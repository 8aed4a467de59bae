#include "comm/showcontrol/dmxnet/FWNSACNIdentity.h"

#include "comm/showcontrol/dmxnet/FWNSACNAddress.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"
#include "platform/foundation/UserDefaults.h"

#include <QHash>
#include <QUuid>

#include <cstring>

namespace {

bool sameAddress(const QByteArray& a, const QByteArray& b)
{
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() && b.isEmpty();
    std::uint32_t wordA = 0;
    std::uint32_t wordB = 0;
    if (a.size() >= 8)
        std::memcpy(&wordA, a.constData() + 4, 4);
    if (b.size() >= 8)
        std::memcpy(&wordB, b.constData() + 4, 4);
    return (a.size() > 1 ? a[1] : 0) == (b.size() > 1 ? b[1] : 0) && wordA == wordB;
}

} // namespace

QByteArray FWNSACNIdentity::generateCID()
{
    return QUuid::createUuid().toRfc4122();
}

QByteArray FWNSACNIdentity::loadOrCreateCID(platform::UserDefaults& defaults)
{
    const QByteArray stored = defaults.dataForKey(QString::fromLatin1(FWNMXSACNCIDKey));
    // Anything but 16 bytes is no CID: make a new one rather than send a damaged one.
    if (stored.size() == kCIDLength)
        return stored;
    const QByteArray made = generateCID();
    defaults.setObject(made, QString::fromLatin1(FWNMXSACNCIDKey));
    return made;
}

QByteArray FWNSACNIdentity::sharedCID()
{
    static const QByteArray cid = loadOrCreateCID(platform::UserDefaults::sharedDefaults());
    return cid;
}

FWNSACNIdentity FWNSACNIdentity::identityWithUniverse(std::uint16_t universe)
{
    return FWNSACNIdentity(universe, sharedCID(), false, FWNSACNIOCOntrollerCWrapper::mutlicastAddressForUniverse(universe));
}

bool FWNSACNIdentity::operator==(const FWNSACNIdentity& other) const
{
    return universe_ == other.universe_ && preview_ == other.preview_ && CID_ == other.CID_ && sameAddress(address_, other.address_);
}

std::size_t FWNSACNIdentity::hash() const
{
    std::size_t h = qHash(CID_) ^ universe_ ^ (std::size_t(preview_) << 16);
    if (address_.size() >= 8) {
        std::uint32_t word = 0;
        std::memcpy(&word, address_.constData() + 4, 4);
        h ^= std::size_t(std::uint8_t(address_[1])) ^ word;
    }
    return h;
}

QString FWNSACNIdentity::description() const
{
    const auto address = FWNSockAddress::sockAddressWithData(address_);
    return QStringLiteral("<FWNSACNIdentity: 0x%1, %2, %3>")
        .arg(quintptr(this), 0, 16)
        .arg(address ? address->addressString() : QStringLiteral("(null)"))
        .arg(universe_);
}

QVariantMap FWNSACNIdentity::archive() const
{
    return {{QStringLiteral("universe"), int(universe_)},
            {QStringLiteral("CID"), CID_},
            {QStringLiteral("preview"), int(preview_)},
            {QStringLiteral("address"), address_}};
}

FWNSACNIdentity FWNSACNIdentity::unarchive(const QVariantMap& archive)
{
    return FWNSACNIdentity(std::uint16_t(archive.value(QStringLiteral("universe")).toInt()),
                           archive.value(QStringLiteral("CID")).toByteArray(),
                           archive.value(QStringLiteral("preview")).toInt() != 0,
                           archive.value(QStringLiteral("address")).toByteArray());
}
