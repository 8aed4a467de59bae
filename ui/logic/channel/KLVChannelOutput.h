#pragma once
// The channel's output device and mode, audio output and mute, time-code output, sync mode
// and reference (the configuration popover's state). The device and mode menus are kept here as
// plain lists; the column's widgets show them and hand choices back by tag and position.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVOutputWindow;
class KLVPlaybackEngine;
class KLVPlaylistNode;
class ssBaseOutput;

class KLVChannelOutput {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    struct MenuItem {
        QString title;
        long tag = -1;
        bool enabled = true;
    };

    explicit KLVChannelOutput(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelOutput(const KLVChannelOutput&) = delete;
    KLVChannelOutput& operator=(const KLVChannelOutput&) = delete;

    // --- device and mode ---
    // Claims the device (by name) in the channel's operation mode and plays to it in that mode.
    bool enableDevice(const QString& deviceName, long modeIndex);
    // The device menu's choice by item tag (-1: the no-device item).
    void selectDeviceWithTag(long tag);
    void unselectDevice();
    // A title that is not in the device menu does nothing.
    void selectDeviceByName(const QString& deviceName);
    // The mode menu's choice by position.
    void selectMode(long position);
    bool deviceEnabled() const { return deviceEnabled_; }
    // Also sets the channel's control latch to the same value.
    void setDeviceEnabled(bool enabled);
    bool outputIsEnabled() const { return outputIsEnabled_; }
    void setOutputIsEnabled(bool enabled);
    void enableOutput();
    void disableOutput();
    // Sleep and screen changes: releases the device and stops the engine.
    void stopOutputDevice();
    void updateModeListForTag(long deviceTag);
    // The first-start device and mode choice and the stored choice applied (set-up step 14).
    void restoreOutputDevice();
    // Rebuilds the device and mode menus.
    void updateMenus();
    // Gives up every device this channel holds, in every mode.
    void releaseClaims();
    // The operation mode changed: the held device is claimed again in the new mode.
    void reclaimForOperationMode(long mode);
    QString ownerName() const;

    // The stored device and mode as they stand (unset values stay unset), so a choice the channel
    // is lent away from (the quad test's screens) can be given back.
    struct StoredChoice {
        QVariant deviceName;
        QVariant modeIndex;
    };
    StoredChoice storedChoice() const;
    // Writes a choice into channel `tag`'s stored settings as it was taken, without playing to it.
    static void storeChoice(long tag, const StoredChoice& choice);
    // Stores the choice again exactly and plays to that device and mode when it names both; a
    // choice without a mode leaves the channel without output, and the menus say so.
    void restoreChoice(const StoredChoice& choice);

    const std::vector<MenuItem>& deviceItems() const { return deviceItems_; }
    long selectedDeviceTag() const { return selectedDeviceTag_; }
    const std::vector<MenuItem>& modeItems() const { return modeItems_; }
    long selectedModePosition() const { return selectedModePosition_; }
    QString componentModeLabel() const { return componentModeLabel_; }
    bool isDVI() const { return isDVI_; }
    ssBaseOutput* outputDevice() const { return outputDevice_; }
    long outputMode() const { return outputMode_; }

    // --- audio ---
    // Set-up steps 11 and 12: the stored audio output and mute.
    void restoreAudio();
    // 0 computer audio, 1 SDI embedded audio; a playing channel resumes where it was.
    void selectAudioOutput(long tag);
    long audioOutput() const { return audioOutput_; }
    void setMute(bool muted);
    bool mute() const { return mute_; }

    // --- time code ---
    // A document's setting: 0 none (box off), 1 elapsed, 2 remaining.
    void takeTimeCodeSetting(long setting);
    void selectTimecode(long tag);
    void enableTimecode(bool on);
    bool timecodeEnabled() const { return timecodeEnabled_; }
    long selectedTimecodeTag() const { return selectedTimecodeTag_; }

    // --- sync ---
    long syncMode() const { return syncMode_; }
    void setSyncMode(long mode);

    // --- the configuration popover ---
    // The alert for a channel without an output, then the popover is asked for.
    void noOutputSelected();
    void configurationPopoverOpened();
    void configurationPopoverClosed();

private:
    KLVPlaybackEngine* engine() const;
    // The output window of a screen device, when it has one.
    KLVOutputWindow* screenWindow() const;
    void detachEngine();
    void clearModes();
    void selectNoDeviceItem();
    bool refuseInUse(const QString& owner);
    void storeDeviceName(const QString& name);
    void storeModeIndex(long position);
    void applyTimeCodeOutput();

    bool deviceEnabled_ = false;
    bool outputIsEnabled_ = false;
    bool isDVI_ = false;
    bool mute_ = false;
    bool timecodeEnabled_ = false;
    bool shouldReselectPlaylistItem_ = false;
    long selectedTimecodeTag_ = 0;
    long audioOutput_ = 0;
    long syncMode_ = 1;
    ssBaseOutput* outputDevice_ = nullptr;
    long outputMode_ = -1;
    std::vector<MenuItem> deviceItems_;
    long selectedDeviceTag_ = -1;
    std::vector<MenuItem> modeItems_;
    long selectedModePosition_ = -1;
    QString componentModeLabel_;
    KLVChannelController& channel_;
};
