#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelOverlay.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "app/devices/KLVOutputWindow.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/ports/KLVPrompter.h"
#include "engine/output/ssDVIOutput.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <algorithm>

namespace {
platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}

KLVDeviceController& registry()
{
    return KLVDeviceController::sharedController();
}

QString nameOf(const QVariantMap& device)
{
    return device.value(QStringLiteral("deviceName")).toString();
}

void logLine(const QString& text)
{
    platform::log("com.quenmark.Kalvanto", "channel", platform::LogLevel::Info, text);
}
} // namespace

KLVPlaybackEngine* KLVChannelOutput::engine() const
{
    return channel_.movie().movie();
}

QString KLVChannelOutput::ownerName() const
{
    return QStringLiteral("Channel %1").arg(channel_.tag());
}

void KLVChannelOutput::detachEngine()
{
    if (KLVPlaybackEngine* e = engine())
        e->SetOutputDevice(nullptr, -1);
    outputDevice_ = nullptr;
    outputMode_ = -1;
}

void KLVChannelOutput::clearModes()
{
    modeItems_.clear();
    selectedModePosition_ = -1;
}

void KLVChannelOutput::selectNoDeviceItem()
{
    selectedDeviceTag_ = -1;
}

void KLVChannelOutput::storeDeviceName(const QString& name)
{
    defaults().setObject(name, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, channel_.tag()));
}

void KLVChannelOutput::storeModeIndex(long position)
{
    defaults().setInteger(position, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedModeIndex, channel_.tag()));
}

void KLVChannelOutput::releaseClaims()
{
    registry().setOwner(ownerName(), QString(), -1);
}

void KLVChannelOutput::setDeviceEnabled(bool enabled)
{
    deviceEnabled_ = enabled;
    channel_.setControlButtonsEnabled(enabled);
}

// --- menus ---

void KLVChannelOutput::updateMenus()
{
    const QVariantList devices = registry().outputDevices();
    const QString stored =
        defaults().stringForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, channel_.tag()));
    const int mode = int(channel_.operationMode());
    deviceItems_.clear();
    long remembered = -1;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const QString name = nameOf(devices.at(i).toMap());
        MenuItem item{name, long(i), true};
        // Only a holder in this channel's own operation mode makes the device unavailable here: a
        // card recording on one channel can still play out on another.
        const QString owner = registry().ownerForDeviceName(name, mode);
        if (!owner.isNull() && owner != ownerName()) {
            item.enabled = false;
            item.title = QStringLiteral("%1 in use by %2").arg(name, owner);
        }
        if (name == stored)
            remembered = long(i);
        deviceItems_.push_back(item);
    }
    std::sort(deviceItems_.begin(), deviceItems_.end(), [](const MenuItem& a, const MenuItem& b) {
        return a.title.compare(b.title, Qt::CaseInsensitive) < 0;
    });
    deviceItems_.push_back({channel_.noDeviceSelectedMenuItemTitle(), -1, true});
    clearModes();
    selectedDeviceTag_ = remembered;
    if (remembered >= 0)
        updateModeListForTag(remembered);
}

void KLVChannelOutput::updateModeListForTag(long deviceTag)
{
    if (deviceTag < 0)
        return;
    const QVariantList devices = registry().outputDevices();
    if (deviceTag >= devices.size())
        return;
    clearModes();
    for (const QVariant& m : devices.at(deviceTag).toMap().value(QStringLiteral("modes")).toList()) {
        const QVariantMap mode = m.toMap();
        modeItems_.push_back({mode.value(QStringLiteral("modeName")).toString(),
                              long(mode.value(QStringLiteral("modeIndex")).toInt()), true});
    }
    const QString key = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedModeIndex, channel_.tag());
    if (defaults().objectForKey(key).isValid() && !modeItems_.empty()) {
        // The menu shows the mode that plays: a stored -1 (no mode chosen) or a position this
        // device does not have selects nothing.
        const long stored = long(defaults().integerForKey(key));
        selectedModePosition_ = stored >= 0 && stored < long(modeItems_.size()) ? stored : -1;
    }
}

// --- choosing ---

void KLVChannelOutput::selectDeviceWithTag(long tag)
{
    const auto item = std::find_if(deviceItems_.begin(), deviceItems_.end(),
                                   [tag](const MenuItem& i) { return i.tag == tag; });
    if (item == deviceItems_.end() || !item->enabled)
        return;
    releaseClaims();
    selectedDeviceTag_ = tag;
    storeDeviceName(tag >= 0 ? nameOf(registry().outputDevices().value(tag).toMap()) : item->title);
    if (tag < 0) {
        clearModes();
        detachEngine();
        setDeviceEnabled(false);
        componentModeLabel_.clear();
        timecodeEnabled_ = false;
    }
    clearModes();
    updateModeListForTag(tag);
    if (modeItems_.size() == 1) {
        selectedModePosition_ = 0;
        selectMode(0);
    } else {
        // The claim is gone: nothing plays to the old device while a mode is pending.
        selectedModePosition_ = -1;
        storeModeIndex(-1);
        detachEngine();
        setDeviceEnabled(false);
        componentModeLabel_.clear();
    }
    emit channel_.stateChanged();
}

void KLVChannelOutput::selectDeviceByName(const QString& deviceName)
{
    // Callers move devices between channels in one turn; the menu must show who holds what now,
    // not at the last deferred rebuild.
    updateMenus();
    for (const MenuItem& item : deviceItems_)
        if (item.title == deviceName) {
            selectDeviceWithTag(item.tag);
            return;
        }
}

void KLVChannelOutput::unselectDevice()
{
    selectDeviceByName(channel_.noDeviceSelectedMenuItemTitle());
}

void KLVChannelOutput::selectMode(long position)
{
    const QString key = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, channel_.tag());
    if (!defaults().objectForKey(key).isValid())
        return;
    selectedModePosition_ = position;
    enableDevice(defaults().stringForKey(key), position);
}

bool KLVChannelOutput::refuseInUse(const QString& owner)
{
    selectNoDeviceItem();
    clearModes();
    defaults().removeObjectForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, channel_.tag()));
    KLVAlert alert;
    alert.messageText = KLVDeviceController::inUseMessage(owner);
    alert.buttons = {KLVChannelTexts::localized(KLVChannelTexts::kOK)};
    channel_.delegate().prompter().runModal(alert);
    detachEngine();
    emit channel_.stateChanged();
    return false;
}

bool KLVChannelOutput::enableDevice(const QString& deviceName, long modeIndex)
{
    setDeviceEnabled(false);
    if (modeIndex < 0) {
        releaseClaims();
        detachEngine();
        return false;
    }
    const int operationMode = int(channel_.operationMode());
    const QString owner = registry().ownerForDeviceName(deviceName, operationMode);
    if (!owner.isNull() && owner != ownerName()) {
        releaseClaims();
        return refuseInUse(owner);
    }
    disableOutput();
    ssBaseOutput* device = registry().getDeviceByName(deviceName);
    if (!device) {
        releaseClaims();
        selectNoDeviceItem();
        clearModes();
        logLine(QStringLiteral("could not find device by name: %1").arg(deviceName));
        detachEngine();
        return false;
    }
    // The registry's answer decides: a claim made elsewhere in the meantime wins.
    if (!registry().setOwner(ownerName(), deviceName, operationMode)) {
        releaseClaims();
        return refuseInUse(registry().ownerForDeviceName(deviceName, operationMode));
    }
    storeDeviceName(deviceName);
    storeModeIndex(modeIndex);
    if (modeIndex < long(modeItems_.size()))
        componentModeLabel_ = QStringLiteral("%1 - %2").arg(deviceName, modeItems_[size_t(modeIndex)].title);
    // The engine attaches a screen to itself when it is given the device; nothing is set on the
    // screen output from here.
    isDVI_ = device->Kind_ == ssBaseOutput::kKindScreen;
    if (isDVI_ && audioOutput_ == 1)
        selectAudioOutput(0);
    outputDevice_ = device;
    outputMode_ = modeIndex;
    if (operationMode == 1) {
        if (const auto& enter = channel_.recordHooks().enterRecordMode)
            enter(false);
    } else if (KLVPlaybackEngine* e = engine()) {
        e->SetOutputDevice(device, int32_t(modeIndex));
    }
    setDeviceEnabled(true);
    channel_.overlay().outputChanged();
    shouldReselectPlaylistItem_ = true;
    if (outputIsEnabled_)
        enableOutput();
    emit channel_.stateChanged();
    return true;
}

void KLVChannelOutput::reclaimForOperationMode(long mode)
{
    if (!deviceEnabled_ || !outputDevice_) {
        releaseClaims();
        return;
    }
    const QString name = QString::fromUtf8(outputDevice_->Name_);
    // A claim moves with the channel's mode; another holder of the device in the new mode keeps it.
    if (!registry().setOwner(ownerName(), name, int(mode))) {
        const QString owner = registry().ownerForDeviceName(name, int(mode));
        releaseClaims();
        setDeviceEnabled(false);
        componentModeLabel_.clear();
        refuseInUse(owner);
    }
}

// --- the output window ---

void KLVChannelOutput::setOutputIsEnabled(bool enabled)
{
    outputIsEnabled_ = enabled;
    enabled ? enableOutput() : disableOutput();
}

KLVOutputWindow* KLVChannelOutput::screenWindow() const
{
    if (!outputDevice_ || outputDevice_->Kind_ != ssBaseOutput::kKindScreen)
        return nullptr;
    return static_cast<KLVOutputWindow*>(static_cast<ssDVIOutput*>(outputDevice_)->Window_);
}

void KLVChannelOutput::enableOutput()
{
    if (KLVOutputWindow* window = screenWindow()) {
        window->setOpacity(1.0);
        window->show();
        window->raise();
    }
}

void KLVChannelOutput::disableOutput()
{
    if (KLVOutputWindow* window = screenWindow()) {
        window->setOpacity(0.0);
        window->hide();
    }
}

void KLVChannelOutput::stopOutputDevice()
{
    releaseClaims();
    clearModes();
    channel_.transport().cancelPendingStarts();
    channel_.movie().stop();
    detachEngine();
    channel_.movie().stopUpdater();
    setDeviceEnabled(false);
    emit channel_.stateChanged();
}

KLVChannelOutput::StoredChoice KLVChannelOutput::storedChoice() const
{
    const long tag = channel_.tag();
    return {defaults().objectForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, tag)),
            defaults().objectForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedModeIndex, tag))};
}

void KLVChannelOutput::storeChoice(long tag, const StoredChoice& choice)
{
    const auto put = [](const QVariant& value, const QString& key) {
        if (value.isValid())
            defaults().setObject(value, key);
        else
            defaults().removeObjectForKey(key);
    };
    put(choice.deviceName, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, tag));
    put(choice.modeIndex, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedModeIndex, tag));
}

void KLVChannelOutput::restoreChoice(const StoredChoice& choice)
{
    storeChoice(channel_.tag(), choice);
    updateMenus();
    const long mode = choice.modeIndex.isValid() ? long(choice.modeIndex.toLongLong()) : -1;
    if (choice.deviceName.isValid() && mode >= 0 && enableDevice(choice.deviceName.toString(), mode)) {
        shouldReselectPlaylistItem_ = false;
        return;
    }
    releaseClaims();
    detachEngine();
    setDeviceEnabled(false);
    componentModeLabel_.clear();
    emit channel_.stateChanged();
}

// --- start-up ---

void KLVChannelOutput::restoreOutputDevice()
{
    const long tag = channel_.tag();
    const QString nameKey = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, tag);
    const QString modeKey = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedModeIndex, tag);
    auto& d = defaults();
    if (!d.objectForKey(nameKey).isValid() && !d.objectForKey(modeKey).isValid()) {
        const QVariantList devices = registry().outputDevices();
        if (devices.size() >= tag && tag >= 1) {
            const QVariantMap device = devices.at(tag - 1).toMap();
            storeDeviceName(nameOf(device));
            selectedDeviceTag_ = tag - 1;
            updateModeListForTag(tag - 1);
            const QVariantList modes = device.value(QStringLiteral("modes")).toList();
            // No mode named for 720 lines (and more than one to choose from): no mode, so
            // nothing is enabled until the user picks one.
            long position = -1;
            if (modes.size() == 1) {
                position = 0;
            } else {
                for (qsizetype i = 0; i < modes.size(); ++i)
                    if (modes.at(i).toMap().value(QStringLiteral("modeName")).toString().contains(QLatin1String("720"))) {
                        position = long(i);
                        break;
                    }
            }
            storeModeIndex(position);
            selectedModePosition_ = position;
        }
    }
    if (d.objectForKey(nameKey).isValid() && d.objectForKey(modeKey).isValid()) {
        if (enableDevice(d.stringForKey(nameKey), long(d.integerForKey(modeKey)))) {
            if (!channel_.channel()->playlistItems().empty())
                channel_.import().selectPlaylistItemAtIndex(0);
            return;
        }
    }
    componentModeLabel_.clear();
}

void KLVChannelOutput::restoreAudio()
{
    const long tag = channel_.tag();
    audioOutput_ = long(defaults().integerForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedAudioOutput, tag)));
    if (KLVPlaybackEngine* e = engine())
        e->SetAudioOutput(int32_t(audioOutput_));
    setMute(defaults().integerForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kAudioMute, tag)) == 1);
}

// --- audio ---

void KLVChannelOutput::selectAudioOutput(long tag)
{
    KLVMovieController& movie = channel_.movie();
    const bool wasPlaying = movie.isPlaying();
    if (wasPlaying)
        movie.pause();
    KLVPlaybackEngine* e = engine();
    const double position = e ? e->GetCurrentTime() : 0;
    audioOutput_ = tag;
    defaults().setInteger(tag, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedAudioOutput, channel_.tag()));
    if (e)
        e->SetAudioOutput(int32_t(tag));
    movie.seekToSeconds(position, 0);
    if (wasPlaying)
        channel_.transport().playWhenBuffersReady();
    emit channel_.stateChanged();
}

void KLVChannelOutput::setMute(bool muted)
{
    mute_ = muted;
    defaults().setInteger(muted ? 1 : 0, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kAudioMute, channel_.tag()));
    if (KLVPlaybackEngine* e = engine())
        e->SetVolume(muted ? 0.0f : 1.0f);
    emit channel_.stateChanged();
}

// --- time code ---

void KLVChannelOutput::takeTimeCodeSetting(long setting)
{
    timecodeEnabled_ = setting >= 1;
    selectedTimecodeTag_ = setting >= 1 ? setting : 0;
}

void KLVChannelOutput::applyTimeCodeOutput()
{
    if (!isDVI_)
        if (KLVPlaybackEngine* e = engine())
            e->SetTimeCodeOutput(int32_t(selectedTimecodeTag_));
}

void KLVChannelOutput::selectTimecode(long tag)
{
    selectedTimecodeTag_ = tag;
    channel_.channel()->setTimeCodeSetting(tag);
    applyTimeCodeOutput();
    emit channel_.stateChanged();
}

void KLVChannelOutput::enableTimecode(bool on)
{
    timecodeEnabled_ = on;
    if (on) {
        if (selectedTimecodeTag_ < 1)
            selectedTimecodeTag_ = 1;
    } else {
        selectedTimecodeTag_ = 0;
    }
    channel_.channel()->setTimeCodeSetting(selectedTimecodeTag_);
    // Only the time-code output changes: enabling the device again would restart a playing card.
    applyTimeCodeOutput();
    emit channel_.stateChanged();
}

// --- sync ---

void KLVChannelOutput::setSyncMode(long mode)
{
    syncMode_ = mode;
    defaults().setInteger(mode, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedSyncMode, channel_.tag()));
    if (KLVPlaybackEngine* e = engine())
        e->SetSyncMode(mode != 0 ? 1 : 0);
    emit channel_.stateChanged();
}

// --- the configuration popover ---

void KLVChannelOutput::noOutputSelected()
{
    KLVAlert alert;
    alert.style = KLVAlert::Style::Critical;
    alert.messageText = KLVChannelTexts::localized(KLVChannelTexts::kNoOutputDeviceSelectedChannel);
    alert.informativeText = KLVChannelTexts::localized(KLVChannelTexts::kSelectOutputDevice);
    alert.buttons = {KLVChannelTexts::localized(KLVChannelTexts::kOK)};
    channel_.delegate().prompter().runModal(alert);
    emit channel_.configurationRequested();
}

void KLVChannelOutput::configurationPopoverOpened()
{
    shouldReselectPlaylistItem_ = false;
}

void KLVChannelOutput::configurationPopoverClosed()
{
    if (!shouldReselectPlaylistItem_)
        return;
    shouldReselectPlaylistItem_ = false;
    channel_.import().reselectPlaylistItem();
}
