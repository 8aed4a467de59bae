#include "app/devices/KLVDeviceController.h"

#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssOutputFinder.h"

#include <QDebug>

namespace {
ssBaseOutput* outputOf(const QVariantMap& device)
{
    return static_cast<ssBaseOutput*>(device.value(QStringLiteral("devicePointer")).value<void*>());
}
} // namespace

KLVDeviceController& KLVDeviceController::sharedController()
{
    static KLVDeviceController instance;
    return instance;
}

KLVDeviceController::KLVDeviceController() = default;
KLVDeviceController::~KLVDeviceController() = default;

QString KLVDeviceController::inUseMessage(const QString& owner)
{
    return QStringLiteral("Device already in use by: %1").arg(owner);
}

QVariantMap KLVDeviceController::dictionaryFor(ssBaseOutput* output, bool withOwner)
{
    QVariantMap device;
    const QString name = QString::fromUtf8(output->Name_);
    device.insert(QStringLiteral("deviceName"), name);
    device.insert(QStringLiteral("devicePointer"), QVariant::fromValue(static_cast<void*>(output)));
    if (withOwner) {
        for (int mode = 0; mode < 2; ++mode) {
            const QString owner = ownerForDeviceName(name, mode);
            if (!owner.isNull()) {
                device.insert(QStringLiteral("assigned"), true);
                device.insert(QStringLiteral("ownerName"), owner);
                device.insert(QStringLiteral("deviceMode"), mode);
                break;
            }
        }
    }
    QVariantList modes;
    for (int32_t j = 0; j < output->GetModeCount(); ++j) {
        QVariantMap mode;
        mode.insert(QStringLiteral("modeIndex"), int(j));
        mode.insert(QStringLiteral("modeName"), QString::fromUtf8(output->GetMode(j)->name));
        modes.append(mode);
    }
    device.insert(QStringLiteral("modes"), modes);
    return device;
}

void KLVDeviceController::rebuildOutputDevices()
{
    if (!OutputFinder_)
        OutputFinder_ = std::make_unique<ssOutputFinder>();
    clearCArray();
    const int32_t n = OutputFinder_->FindOutputs();
    haveCArray_ = true;
    if (n <= 0)
        return;
    qInfo("numDevices: %i", int(n));
    cArray_.reserve(n);
    for (int32_t i = 0; i < n; ++i)
        cArray_.append(dictionaryFor(OutputFinder_->GetOutput(i), true));
}

QVariantList KLVDeviceController::outputDevices()
{
    if (!haveCArray_)
        rebuildOutputDevices();
    return cArray_;
}

void KLVDeviceController::addDevice(ssBaseOutput* output)
{
    if (!output)
        return;
    haveCArray_ = true;
    cArray_.append(dictionaryFor(output, false));
}

void KLVDeviceController::removeDevice(const QString& deviceName)
{
    for (qsizetype i = 0; i < cArray_.size(); ++i) {
        const QVariantMap device = cArray_.at(i).toMap();
        ssBaseOutput* output = outputOf(device);
        if (output && QString::fromUtf8(output->Name_) == deviceName) {
            releaseOutput(device);
            cArray_.removeAt(i);
            return;
        }
    }
}

void KLVDeviceController::releaseOutput(const QVariantMap& device)
{
    ssBaseOutput* output = outputOf(device);
    if (!output || output->Kind_ != ssBaseOutput::kKindScreen)
        return;
    auto* screen = static_cast<ssDVIOutput*>(output);
    if (screen->Window_) {
        if (windowReleaser_)
            windowReleaser_(screen->Window_);
        screen->Window_ = nullptr;
    }
}

void KLVDeviceController::clearCArray()
{
    for (const QVariant& device : std::as_const(cArray_))
        releaseOutput(device.toMap());
    cArray_.clear();
    haveCArray_ = false;
}

void KLVDeviceController::removeAllDevices()
{
    setDevicesInUse({});
    clearCArray();
}

bool KLVDeviceController::setOwner(const QString& owner, const QString& deviceName, int mode)
{
    bool granted = false;
    {
        std::lock_guard<std::mutex> lock(inUseLock_);
        granted = setOwnerLocked(owner, deviceName, mode);
    }
    if (granted)
        devicesInUseChanged_.notify();
    return granted;
}

bool KLVDeviceController::setOwnerLocked(const QString& owner, const QString& deviceName, int mode)
{
    const auto modeOf = [](const QVariantMap& e) { return e.value(QStringLiteral("deviceMode")).toInt(); };
    const auto ownerOf = [](const QVariantMap& e) { return e.value(QStringLiteral("ownerName")).toString(); };
    const auto nameOf = [](const QVariantMap& e) { return e.value(QStringLiteral("deviceName")).toString(); };
    if (deviceName.isNull()) {
        // Every entry of this owner in that mode (-1: any mode) goes.
        QVariantList kept;
        for (const QVariant& v : std::as_const(devicesInUse_)) {
            const QVariantMap e = v.toMap();
            if (!(ownerOf(e) == owner && (mode == -1 || modeOf(e) == mode)))
                kept.append(e);
        }
        devicesInUse_ = kept;
        return true;
    }
    for (const QVariant& v : std::as_const(devicesInUse_)) {
        const QVariantMap e = v.toMap();
        if (nameOf(e) == deviceName && modeOf(e) == mode && ownerOf(e) != owner)
            return false;
    }
    // A channel holds one device per mode, and a device it moves to another mode moves with it.
    QVariantList kept;
    for (const QVariant& v : std::as_const(devicesInUse_)) {
        const QVariantMap e = v.toMap();
        if (!(ownerOf(e) == owner && (modeOf(e) == mode || nameOf(e) == deviceName)))
            kept.append(e);
    }
    QVariantMap entry;
    entry.insert(QStringLiteral("deviceName"), deviceName);
    entry.insert(QStringLiteral("ownerName"), owner);
    entry.insert(QStringLiteral("deviceMode"), mode);
    kept.append(entry);
    devicesInUse_ = kept;
    return true;
}

QString KLVDeviceController::ownerForDeviceName(const QString& deviceName, int mode)
{
    const QVariantList entries = devicesInUse();
    for (const QVariant& v : entries) {
        const QVariantMap e = v.toMap();
        if (e.value(QStringLiteral("deviceName")).toString() == deviceName &&
            e.value(QStringLiteral("deviceMode")).toInt() == mode) {
            const QString owner = e.value(QStringLiteral("ownerName")).toString();
            qInfo().noquote() << QStringLiteral("%1 in channel: %2").arg(deviceName, owner);
            return owner;
        }
    }
    return QString();
}

ssBaseOutput* KLVDeviceController::getDeviceByName(const QString& deviceName)
{
    for (const QVariant& v : std::as_const(cArray_)) {
        const QVariantMap device = v.toMap();
        if (device.value(QStringLiteral("deviceName")).toString() == deviceName)
            return outputOf(device);
    }
    return nullptr;
}

QVariantList KLVDeviceController::devicesInUse() const
{
    std::lock_guard<std::mutex> lock(inUseLock_);
    return devicesInUse_;
}

void KLVDeviceController::setDevicesInUse(const QVariantList& entries)
{
    {
        std::lock_guard<std::mutex> lock(inUseLock_);
        devicesInUse_ = entries;
    }
    devicesInUseChanged_.notify();
}
