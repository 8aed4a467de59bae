#pragma once
// The serial link's setup view: port, speed, data bits, parity, stop bits and flow control. It
// shows the communicator's settings and hands every choice to it; it holds none of its own.

#include <QPointer>
#include <QWidget>

class QComboBox;
class QMSerialHardwareCommunicator;

class KLVSerialSetupView : public QWidget {
    Q_OBJECT
public:
    explicit KLVSerialSetupView(QMSerialHardwareCommunicator& communicator, QWidget* parent = nullptr);

    void refresh();

    QComboBox* interfacePopup() const { return interface_; }
    QComboBox* speedPopup() const { return speed_; }
    QComboBox* dataBitsPopup() const { return dataBits_; }
    QComboBox* parityPopup() const { return parity_; }
    QComboBox* stopBitsPopup() const { return stopBits_; }
    QComboBox* hfcInputPopup() const { return hfcInput_; }
    QComboBox* hfcOutputPopup() const { return hfcOutput_; }

protected:
    // Shows the link's settings each time: a dismissed sheet may have put them back.
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QMSerialHardwareCommunicator> communicator_;
    QComboBox* interface_;
    QComboBox* speed_;
    QComboBox* dataBits_;
    QComboBox* parity_;
    QComboBox* stopBits_;
    QComboBox* hfcInput_;
    QComboBox* hfcOutput_;
    bool refreshing_ = false;
};
