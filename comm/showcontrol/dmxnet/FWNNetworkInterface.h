#pragma once
// The machine's network interfaces with their IPv4 and IPv6 configurations, read anew on every
// call. The interface-address list comes from a provider: the system's (getifaddrs) unless one
// is installed, so callers and tests can be given a list of their own.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

// One entry of the interface-address list; addresses in the canonical form of FWNSockAddress,
// empty when absent.
struct FWNInterfaceAddressEntry {
    QString name;
    std::uint32_t flags = 0;
    QByteArray address;
    QByteArray netmask;
    QByteArray broadcast; // meaningful only when flags has 0x2
};

class FWNIPv4Config {
public:
    FWNIPv4Config(QByteArray address, QByteArray mask, QByteArray broadcast)
        : address_(std::move(address)), mask_(std::move(mask)), broadcast_(std::move(broadcast)) {}
    const QByteArray& address() const { return address_; }
    const QByteArray& mask() const { return mask_; }
    const QByteArray& broadcast() const { return broadcast_; } // empty when there is none
    QString description() const;                               // "<IPv4 %p, %@>"

private:
    QByteArray address_;
    QByteArray mask_;
    QByteArray broadcast_;
};

class FWNIPv6Config {
public:
    explicit FWNIPv6Config(QByteArray address) : address_(std::move(address)) {}
    // Nothing unless the entry's address is IPv6.
    static std::optional<FWNIPv6Config> configWithIfaddrs(const FWNInterfaceAddressEntry& entry);
    const QByteArray& address() const { return address_; }
    QString description() const; // "<IPv6 %p, %@>"

private:
    QByteArray address_;
};

class FWNNetworkInterface {
public:
    using Config = std::variant<FWNIPv4Config, FWNIPv6Config>;

    static constexpr std::uint32_t kFlagUp = 0x1;
    static constexpr std::uint32_t kFlagBroadcast = 0x2;
    static constexpr std::uint32_t kFlagLoopback = 0x8;
    static constexpr std::uint32_t kFlagPointToPoint = 0x10;
    static constexpr std::uint32_t kFlagRunning = 0x40;

    // Interfaces are made only by name; userDefinedName comes from the system's interface list.
    explicit FWNNetworkInterface(QString name);

    // Nothing for an entry without an address or of another family.
    static std::optional<Config> configWithIfaddrs(const FWNInterfaceAddressEntry& entry);
    void addConfig(const Config& config);
    void takeIfaddrs(const FWNInterfaceAddressEntry& entry);

    std::uint32_t flags() const { return flags_; }
    void setFlags(std::uint32_t flags) { flags_ = flags; }
    const QString& name() const { return name_; }
    const QString& userDefinedName() const { return userDefinedName_; }
    const QString& type() const { return type_; } // never set
    QString displayName() const { return userDefinedName_.isEmpty() ? name_ : userDefinedName_; }
    const std::vector<FWNIPv4Config>& IPv4Configs() const { return ipv4Configs_; }
    const std::vector<FWNIPv6Config>& IPv6Configs() const { return ipv6Configs_; }

    bool isUp() const { return flags_ & kFlagUp; }
    bool supportsBroadcast() const { return flags_ & kFlagBroadcast; }
    bool isLoopback() const { return flags_ & kFlagLoopback; }
    bool isPointToPoint() const { return flags_ & kFlagPointToPoint; }
    bool isRunning() const { return flags_ & kFlagRunning; }
    // Declared for completeness; nothing reads them.
    bool isPromiscuous() const { return false; }
    bool isReceivingAllMulticast() const { return false; }
    bool isActive() const { return false; }
    bool isSimplex() const { return false; }
    bool supportsMulticast() const { return false; }

    // Up, broadcast-capable and with an IPv4 configuration: what Art-Net can broadcast on.
    bool isArtNetCapable() const { return isUp() && supportsBroadcast() && !ipv4Configs_.empty(); }

    QString description() const; // "<FWNNetworkInterface: %p, %@> %@,%@"

private:
    std::uint32_t flags_ = 0;
    QString name_;
    QString userDefinedName_;
    QString type_;
    std::vector<FWNIPv4Config> ipv4Configs_;
    std::vector<FWNIPv6Config> ipv6Configs_;
};

class FWNNetworkInterfaceManager {
public:
    using Entries = std::vector<FWNInterfaceAddressEntry>;
    // Answers the interface-address list, or nothing when it cannot be read.
    using Provider = std::function<std::optional<Entries>()>;

    static FWNNetworkInterfaceManager& sharedManager();

    // Each interface once, with all its configurations in list order; nothing when the list
    // cannot be read.
    std::optional<std::vector<FWNNetworkInterface>> interfaces() const;
    static std::optional<std::vector<FWNNetworkInterface>> allInterfaces() { return sharedManager().interfaces(); }
    // The interfaces that are up, broadcast-capable and have an IPv4 configuration.
    static std::vector<FWNNetworkInterface> artNetInterfaces();

    // Installs a provider (an empty one restores the system's). Process-wide.
    static void setProvider(Provider provider);
    static std::optional<Entries> systemEntries();

private:
    FWNNetworkInterfaceManager() = default;
};
