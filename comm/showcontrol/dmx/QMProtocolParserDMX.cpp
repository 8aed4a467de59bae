#include "comm/showcontrol/dmx/QMProtocolParserDMX.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/showcontrol/dmx/QMDMXHardwareCommunicator.h"
#include "comm/showcontrol/dmxnet/FWNMXData.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Exception.h"

#include <algorithm>

namespace {

class DMXClass final : public QMProtocolParserClassOf<QMProtocolParserDMX> {
public:
    DMXClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserDMX")) {}
    QString supportedProtocol() const override { return QStringLiteral("DMX"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("DMXIcon"); }
    QString supportedProtocolDescription() const override
    {
        return QStringLiteral("DMX allows Corvelle to be controlled from a lighting console via network based Art-Net.");
    }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMDMXArtnetHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

} // namespace

const QMProtocolParserClass& QMProtocolParserDMX::dmxClass()
{
    static const DMXClass instance;
    return instance;
}

void QMProtocolParserDMX::hardwareReceivedDMXData(const QByteArray& frame)
{
    {
        std::lock_guard lock(mutex_);
        if (pending_)
            ++mergedFrames_;
        pending_ = frame;
        if (handOffPosted_)
            return;
        handOffPosted_ = true;
    }
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak] {
        if (const auto self = weak.lock())
            static_cast<QMProtocolParserDMX&>(*self).takePending();
    });
}

void QMProtocolParserDMX::takePending()
{
    std::optional<QByteArray> frame;
    {
        std::lock_guard lock(mutex_);
        frame = std::exchange(pending_, std::nullopt);
        handOffPosted_ = false;
    }
    if (frame)
        handleDMXData(*frame);
}

std::optional<QByteArray> QMProtocolParserDMX::lastFrame() const
{
    std::lock_guard lock(mutex_);
    return lastFrame_;
}

std::uint64_t QMProtocolParserDMX::mergedFrameCount() const
{
    std::lock_guard lock(mutex_);
    return mergedFrames_;
}

QVariantMap QMProtocolParserDMX::changedValuesForData(const QByteArray& newData, const std::optional<QByteArray>& oldData)
{
    const QByteArray old = oldData.value_or(QByteArray());
    const qsizetype length = std::min(newData.size(), kUniverseSlots);
    QVariantMap changes;
    for (qsizetype i = 0; i < length; ++i) {
        const std::uint8_t now = std::uint8_t(newData[i]);
        const std::uint8_t before = i < old.size() ? std::uint8_t(old[i]) : 0;
        if (now != before)
            changes.insert(QString::number(i), int(now));
    }
    return changes;
}

QByteArray QMProtocolParserDMX::mergedFrame(const QByteArray& newData, const std::optional<QByteArray>& oldData)
{
    const QByteArray carried = newData.left(kUniverseSlots);
    if (!oldData || oldData->size() <= carried.size())
        return carried;
    QByteArray merged = *oldData;
    merged.replace(0, carried.size(), carried);
    return merged;
}

void QMProtocolParserDMX::handleDMXData(const QByteArray& frame)
{
    const std::optional<QByteArray> last = lastFrame();
    QVariantMap changes = changedValuesForData(frame, last);
    if (qmcomm::debugEnabled())
        qmcomm::log(QStringLiteral("DMX:%1\nchanges:%2").arg(qmcomm::dataDescription(frame), qmcomm::valueDescription(changes)));
    {
        std::lock_guard lock(mutex_);
        lastFrame_ = mergedFrame(frame, last);
    }
    if (!changes.isEmpty())
        executeApplicationCommand(QLatin1String(QMApplicationCommandDMXValuesChanged), changes);
}

namespace {

// Sets one slot of the frame; an index outside the universe is reported and left out.
void setSlot(QByteArray& frame, const QVariant& channel, const QVariant& value)
{
    bool ok = false;
    const qulonglong index = channel.toULongLong(&ok);
    const auto byte = std::uint8_t(value.toUInt() & 0xFF); // an unsigned char keeps the low byte
    if (!ok) {
        qmcomm::logError(QStringLiteral("DMX channel %1 skipped: not a slot number").arg(channel.toString()));
        return;
    }
    try {
        FWNMXData::setValueOfChannel(frame, byte, std::size_t(index));
    } catch (const platform::Exception& e) {
        qmcomm::logError(QStringLiteral("DMX channel %1 skipped: %2").arg(channel.toString(), e.reason()));
    }
}

} // namespace

void QMProtocolParserDMX::sendProtocolCommand(const QVariantMap& command)
{
    QByteArray frame(kUniverseSlots, '\0');
    const QString arrayKey = QLatin1String(QMProtocolCommandDMXChannelArray);
    const QString channelKey = QLatin1String(QMProtocolCommandDMXChannel);
    const QString valueKey = QLatin1String(QMProtocolCommandDMXValue);
    if (command.contains(arrayKey)) {
        for (const QVariant& entry : command.value(arrayKey).toList()) {
            const QVariantMap slot = entry.toMap();
            setSlot(frame, slot.value(channelKey), slot.value(valueKey));
        }
    } else if (command.contains(channelKey) && command.contains(valueKey)) {
        setSlot(frame, command.value(channelKey), command.value(valueKey));
    }
    const auto communicator = std::dynamic_pointer_cast<QMDMXHardwareCommunicator>(hardwareCommunicator());
    if (communicator)
        communicator->sendDMXData(frame);
}
