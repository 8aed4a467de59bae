#pragma once
// The application-wide list of output devices (SDI cards and screens) with their modes, and who
// holds which device: each device is lent to at most one channel per operation mode (0 playback,
// 1 record). Main thread, except devicesInUse, which any thread may read.

#include "platform/foundation/ObserverList.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>

class ssBaseOutput;
class ssOutputFinder;

class KLVDeviceController {
public:
    static KLVDeviceController& sharedController();

    KLVDeviceController();
    ~KLVDeviceController();
    KLVDeviceController(const KLVDeviceController&) = delete;
    KLVDeviceController& operator=(const KLVDeviceController&) = delete;

    // The text shown when a channel asks for a device another channel holds.
    static QString inUseMessage(const QString& owner);

    // Enumerates the SDI cards again; screen outputs added earlier are dropped (add them again).
    void rebuildOutputDevices();
    // Device dictionaries: "deviceName", "devicePointer" (ssBaseOutput*), "modes" ({"modeIndex",
    // "modeName"}), and with an owner "assigned", "ownerName", "deviceMode".
    QVariantList outputDevices();
    // A screen output.
    void addDevice(ssBaseOutput* output);
    void removeDevice(const QString& deviceName);
    void releaseOutput(const QVariantMap& device);
    void clearCArray();
    void removeAllDevices();

    // With a device: the owner holds it in that mode (giving up whatever else it held in that mode
    // or of that device in the other mode); false, changing nothing, when another owner holds it
    // in that mode. With a null device: drops the owner's entries in that mode (-1: every mode).
    bool setOwner(const QString& owner, const QString& deviceName, int mode);
    // The owner holding the device in that mode, or a null string when free.
    QString ownerForDeviceName(const QString& deviceName, int mode);
    ssBaseOutput* getDeviceByName(const QString& deviceName);

    QVariantList devicesInUse() const;
    void setDevicesInUse(const QVariantList& entries);
    // Told (on the changing thread, outside the registry's lock) whenever devicesInUse changes;
    // channels refresh their device menus.
    platform::ObserverList<>& devicesInUseChanged() { return devicesInUseChanged_; }

    // How a screen output's window is given back (the screen adapter installs it).
    void setWindowReleaser(std::function<void(void*)> releaser) { windowReleaser_ = std::move(releaser); }

private:
    bool setOwnerLocked(const QString& owner, const QString& deviceName, int mode);
    QVariantMap dictionaryFor(ssBaseOutput* output, bool withOwner);

    std::unique_ptr<ssOutputFinder> OutputFinder_;
    QVariantList cArray_;
    bool haveCArray_ = false;
    mutable std::mutex inUseLock_;
    QVariantList devicesInUse_;
    platform::ObserverList<> devicesInUseChanged_;
    std::function<void(void*)> windowReleaser_;
};
