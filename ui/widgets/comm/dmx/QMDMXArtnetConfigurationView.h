#pragma once
// The Art-Net device's setup view: interface, universe, sub-net and net choices, the port number
// and the interface's broadcast address. It shows the communicator's setup state and hands every
// choice to the communicator; it holds no state of its own. The application's setup-view
// provider makes it for communicators of type QMDMXArtnetHardwareCommunicator.
#include <QWidget>

class QComboBox;
class QLabel;
class QSpinBox;
class QMDMXArtnetHardwareCommunicator;

class QMDMXArtnetConfigurationView : public QWidget {
    Q_OBJECT
public:
    explicit QMDMXArtnetConfigurationView(QMDMXArtnetHardwareCommunicator& communicator, QWidget* parent = nullptr);

    // Shows the communicator's current setup state.
    void refresh();

    QComboBox* interfacePopup() const { return interfacePopup_; }
    QComboBox* universePopup() const { return universePopup_; }
    QComboBox* subnetPopup() const { return subnetPopup_; }
    QSpinBox* netField() const { return netField_; }
    QLabel* portField() const { return portField_; }

private:
    QMDMXArtnetHardwareCommunicator& communicator_;
    QComboBox* interfacePopup_;
    QComboBox* universePopup_;
    QComboBox* subnetPopup_;
    QSpinBox* netField_;
    QLabel* portField_;
    QLabel* addressField_;
    bool refreshing_ = false;
};
