#pragma once
// What the TCP and UDP communicators share: host, port, local interface, the display name made
// from them, their element in the control-device file and the machine's network interfaces.
#include "comm/core/LockedProperty.h"
#include "comm/core/QMHardwareCommunicator.h"

#include <cstdint>

// Socket modes (0 = not chosen).
inline constexpr std::int64_t QMSocketModeConnect = 1;
inline constexpr std::int64_t QMSocketModeListen = 2;
inline constexpr std::int64_t QMSocketModeMulticastListen = 3;
inline constexpr std::int64_t QMSocketModeBroadcast = 4;

class QMNetworkHardwareCommunicator : public QMHardwareCommunicator {
    Q_OBJECT
public:
    QMNetworkHardwareCommunicator();
    ~QMNetworkHardwareCommunicator() override;

    static const QMHardwareCommunicatorClass& networkClass();
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    void readConnectionProperties(const platform::XmlElement& element) override { readNetworkAttributes(element); }

    const QMHardwareCommunicatorClass& communicatorClass() const override { return networkClass(); }
    unsigned communicatorType() const override { return QMCommunicatorTypeNetwork; }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    void updateFromConfig() override { updateDisplayName(); }
    // "host:port", else "interface:port", else "Any:port".
    void updateDisplayName();

    QString hostname() const;
    // Renames; setting the port or the interface does not.
    void setHostname(const QString& host);
    std::uint64_t portNum() const { return portNum_.load(); }
    void setPortNum(std::uint64_t port) { portNum_.store(port); }
    QString interfaceString() const;
    void setInterfaceString(const QString& name);
    // The setup view's interface pop-up.
    virtual void interfaceMenuItemAction(const QString& name) { setInterfaceString(name); }

protected:
    // The network attributes of a saved element ("interface", "address", "port").
    void readNetworkAttributes(const platform::XmlElement& element);
    // Port numbers above 65535 cannot be used; they are reported and refused.
    bool validPort(std::uint64_t port, quint16* out) const;

private:
    LockedProperty<QString> hostname_;
    LockedProperty<QString> interfaceString_;
    std::atomic<std::uint64_t> portNum_{0};
};
