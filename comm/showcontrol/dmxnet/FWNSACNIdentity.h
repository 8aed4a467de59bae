#pragma once
// One sACN stream's universe as seen from one source: universe, the source's 16-byte component
// identifier (CID), the preview flag and a socket address (canonical bytes, may be empty).
#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <cstdint>

namespace platform {
class UserDefaults;
}

inline constexpr char FWNMXSACNCIDKey[] = "FWNMXSACNCID";

class FWNSACNIdentity {
public:
    static constexpr int kCIDLength = 16;

    FWNSACNIdentity() = default;
    explicit FWNSACNIdentity(std::uint16_t universe, QByteArray CID = {}, bool preview = false, QByteArray address = {})
        : address_(std::move(address)), CID_(std::move(CID)), universe_(universe), preview_(preview) {}

    // 16 bytes of a new UUID.
    static QByteArray generateCID();
    // This installation's CID: the user default "FWNMXSACNCID" when it holds 16 bytes, else a new
    // one, stored there. Read once per process.
    static QByteArray sharedCID();
    // What sharedCID does with the given defaults: the stored CID, or a new one stored there.
    static QByteArray loadOrCreateCID(platform::UserDefaults& defaults);
    // The universe with the shared CID, no preview and the universe's multicast address.
    static FWNSACNIdentity identityWithUniverse(std::uint16_t universe);

    const QByteArray& address() const { return address_; }
    const QByteArray& CID() const { return CID_; }
    std::uint16_t universe() const { return universe_; }
    bool preview() const { return preview_; }

    bool operator==(const FWNSACNIdentity& other) const;
    std::size_t hash() const;
    QString description() const; // "<FWNSACNIdentity: %p, %@, %u>"

    // Archived under "universe", "CID", "preview" and "address".
    QVariantMap archive() const;
    static FWNSACNIdentity unarchive(const QVariantMap& archive);

private:
    QByteArray address_;
    QByteArray CID_;
    std::uint16_t universe_ = 0;
    bool preview_ = false;
};
