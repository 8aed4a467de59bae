#pragma once
// The configuration sheet of one control device: its label, the hardware and behaviour it runs
// with, the channel it controls, whether it reconnects, and the link's own setup view. Saving
// refuses settings that cannot work and reports a port that cannot be opened, in the sheet.

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QMCommModuleConnectionManager;
class QMCommModuleConnectionWrapper;
class KLVDeviceConfiguration;

class KLVDeviceConfigSheet : public QDialog {
    Q_OBJECT
public:
    // Window-modal over parent when there is one.
    KLVDeviceConfigSheet(QMCommModuleConnectionWrapper& wrapper, QMCommModuleConnectionManager& manager,
                         QWidget* parent = nullptr);
    ~KLVDeviceConfigSheet() override;

    KLVDeviceConfiguration& configuration() const { return *configuration_; }
    QComboBox* hardwarePopup() const { return hardware_; }
    QComboBox* behaviorPopup() const { return behavior_; }
    QComboBox* channelPopup() const { return channel_; }
    QLineEdit* labelField() const { return label_; }
    QCheckBox* reconnectButton() const { return reconnect_; }
    QPushButton* saveButton() const { return save_; }
    QLabel* messageLabel() const { return message_; }
    QWidget* installedConfigView() const { return installed_; }

    // Saves; the sheet closes when the device was saved and nothing needs saying.
    void saveAction();
    // Escape, the close box, or the window dismissing it: the device goes back to how it was.
    void reject() override;

private:
    void fillMenus();
    void loadConfigView();
    void detachConfigView();

    QMCommModuleConnectionWrapper& wrapper_;
    KLVDeviceConfiguration* configuration_;
    QLineEdit* label_;
    QComboBox* hardware_;
    QComboBox* behavior_;
    QComboBox* channel_;
    QCheckBox* reconnect_;
    QVBoxLayout* viewHost_;
    QLabel* message_;
    QPushButton* save_;
    // Borrowed from the communicator, which keeps it: never deleted with the sheet.
    QPointer<QWidget> installed_;
    bool filling_ = false;
};
