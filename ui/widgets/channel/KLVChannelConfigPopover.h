#pragma once
// The channel configuration popover: output device and mode, operation mode, audio output and
// mute, time-code output, sync mode and the display options. A Qt::Popup: a click outside
// closes it, and closing lets the channel reload its cue when a device was enabled meanwhile.

#include <QWidget>

class KLVChannelController;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QSpinBox;
class QVBoxLayout;

class KLVChannelConfigPopover final : public QWidget {
    Q_OBJECT

public:
    explicit KLVChannelConfigPopover(KLVChannelController& channel, QWidget* parent = nullptr);

    // Shows the popover beside the anchor's right-hand edge.
    void popUp(QWidget* anchor);
    // Re-reads the controller.
    void refresh();
    // Record mode's own settings go here (shown in record mode only).
    void setRecordSettings(QWidget* settings);

    QComboBox* deviceMenu() const { return devices_; }
    QComboBox* modeMenu() const { return modes_; }
    QComboBox* operationModeMenu() const { return operationMode_; }
    QComboBox* syncMenu() const { return sync_; }
    QButtonGroup* audioOutputGroup() const { return audioOutput_; }
    QButtonGroup* timecodeGroup() const { return timecode_; }
    QCheckBox* muteBox() const { return mute_; }
    QCheckBox* timecodeBox() const { return timecodeBox_; }
    QWidget* playbackSettings() const { return playbackSettings_; }
    QWidget* recordSettings() const { return recordSettings_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    // Playback settings in playback mode, the record settings in record mode.
    void adjustSettingsView();

    KLVChannelController& channel_;
    QComboBox* devices_;
    QComboBox* modes_;
    QComboBox* operationMode_;
    QComboBox* sync_;
    QButtonGroup* audioOutput_;
    QButtonGroup* timecode_;
    QCheckBox* mute_;
    QCheckBox* timecodeBox_;
    QCheckBox* showSlate_;
    QCheckBox* mutePreview_;
    QCheckBox* anamorphic_;
    QSpinBox* audioDelay_;
    QWidget* playbackSettings_;
    QWidget* recordSettings_ = nullptr;
    QVBoxLayout* layout_;
};
