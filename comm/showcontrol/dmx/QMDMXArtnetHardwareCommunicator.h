#pragma once
// The Art-Net DMX input device (communicator type 3): listens on the Art-Net port for the ArtDmx
// frames of one port address (net × 256 + sub-net × 16 + universe) and hands each to its DMX
// parser; sends frames as ArtDmx to the broadcast address of the chosen interface. It owns an
// Art-Net I/O controller while active. Configuration and activation run on the main thread;
// frames arrive on the I/O controller's Art-Net queue. While active, frames merged into newer
// ones or dropped under load (by the I/O controller or the parser) are logged once a second, as
// long as it goes on.
//
// The setup view's state (interface list, selections, port and address texts) is kept here so
// that any view, or a test, can drive it; setupChanged() tells the view to show it again.
#include "comm/core/LockedProperty.h"
#include "comm/showcontrol/dmx/QMDMXHardwareCommunicator.h"
#include "comm/showcontrol/dmxnet/FWNArtNetIOController.h"

#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class FWNNetworkInterface;
class QTimer;

class QMDMXArtnetHardwareCommunicator : public QMDMXHardwareCommunicator,
                                        private FWNArtNetIOControllerDelegate,
                                        private FWNArtNetIOControllerErrorDelegate {
    Q_OBJECT
public:
    // What the setup view offers: universe and sub-net 0-15, net 0-127.
    static constexpr int kMaxUniverse = 15;
    static constexpr int kMaxSubnet = 15;
    static constexpr int kMaxNet = 127;
    static constexpr int kLossReportIntervalMs = 1000;

    struct SetupState {
        QStringList interfaceItems; // names of the broadcast-capable interfaces
        QString selectedInterface;  // empty when there is none
        std::int64_t universe = -1; // the selected items' tags; -1 leaves a pop-up as it is
        std::int64_t subnet = -1;
        QString netField;
        QString portField;    // the port number ("%d")
        QString addressField; // the interface's broadcast address, or "?"
    };

    QMDMXArtnetHardwareCommunicator();
    ~QMDMXArtnetHardwareCommunicator() override;

    static const QMHardwareCommunicatorClass& artnetClass();
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    void readConnectionProperties(const platform::XmlElement& element) override;

    const QMHardwareCommunicatorClass& communicatorClass() const override { return artnetClass(); }
    unsigned communicatorType() const override { return QMCommunicatorTypeDMX; }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    void updateFromConfig() override { setDisplayName(interfaceString()); }
    void activate() override;
    void deactivate() override;
    void connectAction() { activate(); }
    // Broadcasts the frame as one ArtDmx packet (sequence 0) for the port number; nothing when
    // inactive.
    void sendDMXData(const QByteArray& frame) override;

    QString interfaceString() const;
    void setInterfaceString(const QString& name);
    std::int64_t universeNum() const { return universeNum_.load(); }
    void setUniverseNum(std::int64_t value) { universeNum_.store(value); }
    std::int64_t subnetNum() const { return subnetNum_.load(); }
    void setSubnetNum(std::int64_t value) { subnetNum_.store(value); }
    std::int64_t netNum() const { return netNum_.load(); }
    void setNetNum(std::int64_t value) { netNum_.store(value); }
    std::int64_t portNumber() const { return portNumber_.load(); }
    // Numbers still unset become 0; the port number is recomputed and shown.
    void updatePortNumber();
    // Where sendDMXData sends (canonical socket-address bytes), resolved at activation.
    QByteArray destinationAddress() const;
    // The running I/O controller (null while inactive).
    FWNArtNetIOController* ioController() const { return ioController_.get(); }

    // --- setup view ---
    QWidget* setupView() override;
    // Fills the interface list and the selections from the configuration.
    void prepareSetup();
    SetupState setupState() const;
    void universeAction(std::int64_t tag);
    void subnetAction(std::int64_t tag);
    void netAction(std::int64_t value);
    void interfaceMenuItemAction(const QString& name);

signals:
    void setupChanged();

private:
    void artNetIOControllerReceivedArtDMXPacket(FWNArtNetIOController*, const FWNArtDMXPacket& packet) override;
    void artNetIOControllerDidError(FWNArtNetIOController*, const platform::Error& error) override;
    // Logs what was merged or dropped since the last report, if anything (main thread).
    void reportLosses();
    struct LossTotals {
        std::uint64_t merged = 0;
        std::uint64_t dropped = 0;
    };
    LossTotals lossTotals() const;

    LockedProperty<QString> interfaceString_;
    std::atomic<std::int64_t> universeNum_{-1};
    std::atomic<std::int64_t> subnetNum_{-1};
    std::atomic<std::int64_t> netNum_{-1};
    std::atomic<std::int64_t> portNumber_{0};
    LockedProperty<SetupState> setup_;
    LockedProperty<QByteArray> destination_; // found at activation
    mutable std::mutex controllerMutex_;
    std::unique_ptr<FWNArtNetIOController> ioController_;
    std::unique_ptr<QTimer> lossReportTimer_; // main thread, while active
    LossTotals reportedLosses_;               // main thread
};
