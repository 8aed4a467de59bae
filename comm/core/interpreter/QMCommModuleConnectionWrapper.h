#pragma once
// One configured control device: a protocol parser (which owns its communicator), the user's
// label, an identity kept in the device file, the reconnect flag and the channel it controls.
// Lives on the main thread. Destroying the wrapper deactivates its communicator, and any
// reconnect still pending for it is dropped with it.
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QMCommModuleConnectionManager;
class QMHardwareCommunicator;
class QMProtocolParser;

class QMCommModuleConnectionWrapper : public QObject {
    Q_OBJECT
public:
    // 0 = "Multi Channel": commands are routed by their own parameters.
    static constexpr long kMultiChannel = 0;

    explicit QMCommModuleConnectionWrapper(std::shared_ptr<QMProtocolParser> parser, QObject* parent = nullptr);
    ~QMCommModuleConnectionWrapper() override;

    // Stored properties.
    bool reconnect() const { return reconnect_; }
    void setReconnect(bool reconnect) { reconnect_ = reconnect; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    QString deviceLabel() const { return deviceLabel_; }
    void setDeviceLabel(const QString& label);
    QString deviceID() const { return deviceID_; }
    void setDeviceID(const QString& deviceID) { deviceID_ = deviceID; }
    const std::shared_ptr<QMProtocolParser>& parser() const { return parser_; }
    long klvChannelIndex() const { return klvChannelIndex_; }
    void setKlvChannelIndex(long index) { klvChannelIndex_ = index; }
    QMCommModuleConnectionManager* commModuleConnectionManager() const { return manager_; }
    void setCommModuleConnectionManager(QMCommModuleConnectionManager* manager) { manager_ = manager; }

    // Derived, read-only; changes are announced by deviceChanged().
    QString deviceIcon() const;
    QString deviceProtocol() const;
    QString deviceDescription() const;
    QString deviceHardware() const;
    bool isConnected() const;
    bool isConfigured() const;
    QString connectButtonLabel() const;
    QString connectButtonIcon() const;

    // Activates the communicator when configured and not connected.
    void connectAction();
    // Deactivates it when connected.
    void disconnectAction();
    // Runs connectAction after the delay unless the wrapper is gone by then.
    void scheduleConnect(int milliseconds);
    // The configuration gave the parser another communicator: follow that one's changes.
    void hardwareCommunicatorChanged();

    // A new uppercase UUID string.
    static QString newDeviceID();

signals:
    // Any derived or stored property shown for the device may have changed.
    void deviceChanged();

private:
    std::shared_ptr<QMHardwareCommunicator> communicator() const;
    void followCommunicator();

    bool reconnect_ = false;
    bool enabled_ = true;
    QString deviceLabel_;
    QString deviceID_;
    std::shared_ptr<QMProtocolParser> parser_;
    long klvChannelIndex_ = kMultiChannel;
    QMCommModuleConnectionManager* manager_ = nullptr;
    QList<QMetaObject::Connection> communicatorLinks_;
};
