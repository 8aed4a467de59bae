#pragma once
// The TCP and UDP links' setup view: how the link works (connect, listen, multicast, broadcast:
// the modes the protocol allows), the local interface, the address and the port, and a button
// that opens the link at once. It shows the communicator's settings and hands every change to it.

#include <QPointer>
#include <QWidget>

#include <cstdint>

class QComboBox;
class QLineEdit;
class QPushButton;

class QMNetworkHardwareCommunicator;
class QMTCPNetworkHardwareCommunicator;
class QMUDPNetworkHardwareCommunicator;

class KLVNetworkSetupView : public QWidget {
    Q_OBJECT
public:
    explicit KLVNetworkSetupView(QMNetworkHardwareCommunicator& communicator, QWidget* parent = nullptr);

    void refresh();

    QComboBox* modePopup() const { return mode_; }
    QComboBox* interfacePopup() const { return interface_; }
    QLineEdit* addressField() const { return address_; }
    QLineEdit* portField() const { return port_; }
    QPushButton* goButton() const { return go_; }

protected:
    // Shows the link's settings each time: a dismissed sheet may have put them back.
    void showEvent(QShowEvent* event) override;

private:
    QList<std::int64_t> offeredModes() const;
    std::int64_t socketMode() const;
    void modeChosen(std::int64_t mode);
    void updateAddressState();
    void updateGoButton();

    QPointer<QMNetworkHardwareCommunicator> communicator_;
    QMTCPNetworkHardwareCommunicator* tcp_ = nullptr;
    QMUDPNetworkHardwareCommunicator* udp_ = nullptr;
    QComboBox* mode_;
    QComboBox* interface_;
    QLineEdit* address_;
    QLineEdit* port_;
    QPushButton* go_;
    bool refreshing_ = false;
};
