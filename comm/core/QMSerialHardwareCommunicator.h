#pragma once
// A serial port communicator: applies the line settings (the parser's preferred values fill
// what the user left unchosen), reads on the main thread and hands every chunk to the parser
// in order, and queues writes so nothing is lost to a full line. A line that goes away (adapter
// pulled, other side closed) deactivates the communicator.
#include "comm/core/LockedProperty.h"
#include "comm/core/QMHardwareCommunicator.h"
#include "platform/serial/SerialLineSettings.h"
#include "platform/serial/SerialPort.h"

#include <QByteArray>

class QMSerialProtocolParser;

class QMSerialHardwareCommunicator : public QMHardwareCommunicator {
    Q_OBJECT
public:
    QMSerialHardwareCommunicator();
    ~QMSerialHardwareCommunicator() override;

    static const QMHardwareCommunicatorClass& serialClass();
    // initWithXML: settings from an element named "QMSerialHardwareCommunicator"; any other
    // element leaves the defaults.
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    void readConnectionProperties(const platform::XmlElement& element) override;

    const QMHardwareCommunicatorClass& communicatorClass() const override { return serialClass(); }
    unsigned communicatorType() const override { return QMCommunicatorTypeSerial; }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    void activate() override;
    void deactivate() override;
    void updateFromConfig() override { updateDisplayName(); }
    void updateDisplayName();

    // Starts delivering received bytes (a serial parser calls it when the port connects).
    void read();
    void writeData(const QByteArray& data);
    // Main-thread delivery of received bytes to the parser.
    void serialPortReadData(const QByteArray& data);
    void closeSerialPort();
    std::shared_ptr<QMSerialProtocolParser> serialParser() const;

    // What the setup view does before it is shown: settings still unchosen take the parser's
    // preferred values.
    void applyPreferredSettings();
    // The setup view's actions.
    void interfaceMenuItemAction(const QString& identifier);
    void connectAction() { activate(); }

    int serialPortFD() const { return port_.descriptor(); }
    QString devicePath() const;
    void setDevicePath(const QString& path);
    QString selectedInterfaceItem() const { return devicePath(); }
    void setSelectedInterfaceItem(const QString& identifier) { setDevicePath(identifier); }

    int speed() const { return speed_; }
    int dataBits() const { return dataBits_; }
    int parity() const { return parity_; }
    int stopBits() const { return stopBits_; }
    int hfci() const { return hfci_; }
    int hfco() const { return hfco_; }
    void setSpeed(int v) { speed_ = v; }
    void setDataBits(int v) { dataBits_ = v; }
    void setParity(int v) { parity_ = v; }
    void setStopBits(int v) { stopBits_ = v; }
    void setHfci(int v) { hfci_ = v; }
    void setHfco(int v) { hfco_ = v; }

    // The settings the next opening uses: chosen values, else the parser's preferred ones,
    // else -1 (the port keeps what it had).
    platform::serial::SerialLineSettings effectiveSettings() const;

private:
    void onHungUp(int error);
    void markClosed();

    platform::serial::SerialPort port_;
    LockedProperty<QString> devicePath_;
    std::atomic<int> speed_{-1};
    std::atomic<int> dataBits_{-1};
    std::atomic<int> parity_{-1};
    std::atomic<int> stopBits_{-1};
    std::atomic<int> hfci_{-1};
    std::atomic<int> hfco_{-1};
    QList<QVariantMap> cachedAvailableInterfaces_;
    bool interfacesCached_ = false;
};
