#pragma once
// The channel's output device and mode, audio output and mute, time-code output, sync mode
// and reference (the configuration popover's state).

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelOutput {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelOutput(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelOutput(const KLVChannelOutput&) = delete;
    KLVChannelOutput& operator=(const KLVChannelOutput&) = delete;

    // Claims the device (by name) in the channel's operation mode and plays to it in that mode.
    bool enableDevice(const QString& deviceName, long modeIndex);
    void unselectDevice();
    void selectDeviceByName(const QString& deviceName);
    bool deviceEnabled() const { return deviceEnabled_; }
    bool outputIsEnabled() const { return outputIsEnabled_; }
    void setOutputIsEnabled(bool enabled);
    void stopOutputDevice();
    void updateModeListForTag(long deviceTag);
    long syncMode() const { return syncMode_; }
    void setSyncMode(long mode);
    // The first-start device and mode choice and the stored choice applied (set-up step 14).
    void restoreOutputDevice();
    // Rebuilds the device and mode menus.
    void updateMenus();

private:
    bool deviceEnabled_ = false;
    bool outputIsEnabled_ = false;
    long syncMode_ = 1;
    KLVChannelController& channel_;
};
