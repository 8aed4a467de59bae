#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "comm/showcontrol/dmxnet/FWNNetworkInterface.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"
#include "platform/foundation/StringValue.h"

#include <QTimer>

#include <optional>

namespace {

class ArtnetClass final : public QMHardwareCommunicatorClassOf<QMDMXArtnetHardwareCommunicator> {
public:
    ArtnetClass() : QMHardwareCommunicatorClassOf(QStringLiteral("QMDMXArtnetHardwareCommunicator")) {}
    QString hardwareTypeName() const override { return QStringLiteral("Art-Net"); }
    QString setupViewNibName() const override { return QStringLiteral("QMDMXArtnetConfiguration"); }
    QList<QVariantMap> availableInterfaces() const override
    {
        QList<QVariantMap> list;
        for (const FWNNetworkInterface& i : FWNNetworkInterfaceManager::artNetInterfaces()) {
            list.append({{QLatin1String(QMHardwareInterfaceDisplayName), i.name()},
                         {QLatin1String(QMHardwareInterfaceUniqueIdentifier), i.name()},
                         {QLatin1String(QMHardwareInterfaceType), QMCommunicatorTypeNetwork}});
        }
        return list;
    }
};

// Every interface the machine has, each once, in the system's order.
std::vector<FWNNetworkInterface> machineInterfaces()
{
    return FWNNetworkInterfaceManager::allInterfaces().value_or(std::vector<FWNNetworkInterface>());
}

std::optional<FWNNetworkInterface> interfaceNamed(const QString& name)
{
    for (FWNNetworkInterface& i : machineInterfaces()) {
        if (i.name() == name)
            return std::move(i);
    }
    return std::nullopt;
}

// The broadcast address of the interface's last IPv4 configuration; empty when it has none
// (loopback, or an interface without IPv4).
QByteArray lastBroadcast(const FWNNetworkInterface& networkInterface)
{
    const auto& configs = networkInterface.IPv4Configs();
    return configs.empty() ? QByteArray() : configs.back().broadcast();
}

} // namespace

const QMHardwareCommunicatorClass& QMDMXArtnetHardwareCommunicator::artnetClass()
{
    static const ArtnetClass instance;
    return instance;
}

QMDMXArtnetHardwareCommunicator::QMDMXArtnetHardwareCommunicator() = default;

QMDMXArtnetHardwareCommunicator::~QMDMXArtnetHardwareCommunicator()
{
    lossReportTimer_.reset();
    std::lock_guard lock(controllerMutex_);
    if (ioController_)
        ioController_->setDelegate(nullptr);
    ioController_.reset();
}

std::shared_ptr<QMHardwareCommunicator> QMDMXArtnetHardwareCommunicator::fromXML(const platform::XmlElement& element)
{
    auto communicator = std::make_shared<QMDMXArtnetHardwareCommunicator>();
    communicator->readConnectionProperties(element);
    return communicator;
}

void QMDMXArtnetHardwareCommunicator::readConnectionProperties(const platform::XmlElement& element)
{
    if (element.name() != artnetClass().className())
        return;
    if (const auto name = element.findAttribute(QStringLiteral("interface"))) {
        setInterfaceString(*name);
        setDisplayName(*name);
    }
    if (const auto v = element.findAttribute(QStringLiteral("universe")))
        setUniverseNum(platform::integerValue(*v));
    if (const auto v = element.findAttribute(QStringLiteral("subnet")))
        setSubnetNum(platform::integerValue(*v));
    if (const auto v = element.findAttribute(QStringLiteral("net")))
        setNetNum(platform::integerValue(*v));
    // A running link listens for the universe it has now.
    if (isActive())
        updatePortNumber();
}

std::optional<platform::XmlElement> QMDMXArtnetHardwareCommunicator::serializedConnectionProperties() const
{
    platform::XmlElement element(artnetClass().className());
    element.setAttribute(QStringLiteral("interface"), interfaceString());
    element.setAttribute(QStringLiteral("universe"), QString::number(universeNum()));
    element.setAttribute(QStringLiteral("subnet"), QString::number(subnetNum()));
    element.setAttribute(QStringLiteral("net"), QString::number(netNum()));
    return element;
}

QString QMDMXArtnetHardwareCommunicator::interfaceString() const { return interfaceString_.get(); }

void QMDMXArtnetHardwareCommunicator::setInterfaceString(const QString& name) { interfaceString_.set(name); }

void QMDMXArtnetHardwareCommunicator::updatePortNumber()
{
    for (std::atomic<std::int64_t>* number : {&universeNum_, &subnetNum_, &netNum_}) {
        std::int64_t unset = -1;
        number->compare_exchange_strong(unset, 0);
    }
    portNumber_ = netNum() * 256 + subnetNum() * 16 + universeNum();
    setup_.update([&](SetupState& setup) {
        setup.portField = QString::number(int(portNumber_.load()));
    });
    emit setupChanged();
}

void QMDMXArtnetHardwareCommunicator::activate()
{
    if (isActive())
        return;
    updatePortNumber();
    const auto chosen = interfaceNamed(interfaceString());
    // The chosen interface's broadcast address; without one, the first broadcast-capable
    // interface's (or loopback when there is none). Looked up once, not for every frame sent.
    QByteArray destination = FWNArtDMXIdentity::addressWithAddress(chosen ? lastBroadcast(*chosen) : QByteArray());
    if (destination.isEmpty())
        destination = FWNArtDMXIdentity::defaultIPv4Address();
    destination_.set(destination);
    // Reception does not depend on the interface: the controller listens on all of them.
    auto controller = std::make_unique<FWNArtNetIOController>();
    controller->setDelegate(this);
    if (!controller->beginReceiving()) {
        qmcomm::logError(QStringLiteral("failed to begin receiving Art-Net"));
        controller->setDelegate(nullptr);
        return;
    }
    {
        std::lock_guard lock(controllerMutex_);
        ioController_ = std::move(controller);
    }
    reportedLosses_ = lossTotals();
    lossReportTimer_ = std::make_unique<QTimer>();
    lossReportTimer_->setInterval(kLossReportIntervalMs);
    connect(lossReportTimer_.get(), &QTimer::timeout, this, &QMDMXArtnetHardwareCommunicator::reportLosses);
    lossReportTimer_->start();
    setActive(true);
}

QMDMXArtnetHardwareCommunicator::LossTotals QMDMXArtnetHardwareCommunicator::lossTotals() const
{
    LossTotals totals;
    {
        std::lock_guard lock(controllerMutex_);
        if (ioController_) {
            // The controller counts its merges among its drops (two counters, read one after
            // the other while packets arrive: never below zero).
            totals.merged = ioController_->mergedPackets();
            const std::uint64_t dropped = ioController_->droppedPackets();
            totals.dropped = dropped > totals.merged ? dropped - totals.merged : 0;
        }
    }
    if (const auto parser = dmxParser())
        totals.merged += parser->mergedFrameCount();
    return totals;
}

void QMDMXArtnetHardwareCommunicator::reportLosses()
{
    const LossTotals now = lossTotals();
    const auto since = [](std::uint64_t current, std::uint64_t before) { return current > before ? current - before : 0; };
    const std::uint64_t merged = since(now.merged, reportedLosses_.merged);
    const std::uint64_t dropped = since(now.dropped, reportedLosses_.dropped);
    reportedLosses_ = now;
    if (merged == 0 && dropped == 0)
        return;
    // Each frame is compared with the one before it only while the main thread keeps up.
    qmcomm::log(QStringLiteral("Art-Net input (port address %1): %2 frames merged into newer ones and %3 dropped in the last second")
                    .arg(portNumber())
                    .arg(merged)
                    .arg(dropped));
}

void QMDMXArtnetHardwareCommunicator::deactivate()
{
    if (!isActive())
        return;
    reportLosses(); // what the last partial second merged or dropped
    lossReportTimer_.reset();
    {
        std::lock_guard lock(controllerMutex_);
        if (ioController_)
            ioController_->setDelegate(nullptr);
        ioController_.reset();
    }
    setActive(false);
}

QByteArray QMDMXArtnetHardwareCommunicator::destinationAddress() const { return destination_.get(); }

void QMDMXArtnetHardwareCommunicator::sendDMXData(const QByteArray& frame)
{
    std::lock_guard lock(controllerMutex_);
    if (!isActive() || !ioController_)
        return;
    const FWNArtDMXIdentity identity(destinationAddress(), std::uint16_t(portNumber()));
    ioController_->sendDMX(frame, identity, 0);
}

void QMDMXArtnetHardwareCommunicator::artNetIOControllerReceivedArtDMXPacket(FWNArtNetIOController*, const FWNArtDMXPacket& packet)
{
    const std::int64_t port = portNumber();
    if (qmcomm::debugEnabled()) {
        auto hex = [](unsigned v) { return QString::number(v, 16).toUpper(); };
        qmcomm::log(QStringLiteral("current portNum: %1 - got packet on port:%2 seq:0x%3 physical:0x%4 version:0x%5")
                        .arg(port)
                        .arg(packet.portAddress())
                        .arg(hex(packet.sequence()), hex(packet.physical()), hex(packet.version())));
    }
    if (port == 0)
        qmcomm::log(QStringLiteral("unexpectedly got packet at port %1").arg(packet.portAddress()));
    if (packet.portAddress() == port) {
        if (const auto parser = dmxParser())
            parser->hardwareReceivedDMXData(packet.DMX());
    } else if (qmcomm::debugEnabled()) {
        qmcomm::log(QStringLiteral("ignoring packet from another port: %1 (listening to %2)").arg(packet.portAddress()).arg(port));
    }
}

void QMDMXArtnetHardwareCommunicator::artNetIOControllerDidError(FWNArtNetIOController*, const platform::Error& error)
{
    qmcomm::logError(QStringLiteral("Art-Net Error %1").arg(error.toString()));
}

// --- setup view ---

QWidget* QMDMXArtnetHardwareCommunicator::setupView()
{
    QWidget* view = QMDMXHardwareCommunicator::setupView();
    if (!view) {
        qmcomm::logError(QStringLiteral("failed to load configuration nib"));
        return nullptr;
    }
    prepareSetup();
    return view;
}

void QMDMXArtnetHardwareCommunicator::prepareSetup()
{
    // Every interface is offered, not only broadcast-capable ones: a saved loopback or
    // point-to-point choice is shown as it is (reception listens on all of them anyway).
    QStringList items;
    for (const FWNNetworkInterface& i : machineInterfaces())
        items << i.name();
    const QString current = interfaceString();
    QString selected;
    if (!current.isEmpty() && items.contains(current))
        selected = current;
    else if (current.isEmpty() && !items.isEmpty())
        selected = items.first();
    setup_.update([&](SetupState& setup) {
        setup.interfaceItems = items;
        setup.selectedInterface = selected;
        if (universeNum() >= 0)
            setup.universe = universeNum();
        if (subnetNum() >= 0)
            setup.subnet = subnetNum();
        if (netNum() >= 0)
            setup.netField = QString::number(netNum());
    });
    emit setupChanged();
    if (!selected.isEmpty())
        interfaceMenuItemAction(selected);
}

QMDMXArtnetHardwareCommunicator::SetupState QMDMXArtnetHardwareCommunicator::setupState() const
{
    return setup_.get();
}

void QMDMXArtnetHardwareCommunicator::universeAction(std::int64_t tag)
{
    setUniverseNum(tag);
    setup_.update([&](SetupState& setup) {
        setup.universe = tag;
    });
    updatePortNumber();
}

void QMDMXArtnetHardwareCommunicator::subnetAction(std::int64_t tag)
{
    setSubnetNum(tag);
    setup_.update([&](SetupState& setup) {
        setup.subnet = tag;
    });
    updatePortNumber();
}

void QMDMXArtnetHardwareCommunicator::netAction(std::int64_t value)
{
    setNetNum(value);
    setup_.update([&](SetupState& setup) {
        setup.netField = QString::number(value);
    });
    updatePortNumber();
}

void QMDMXArtnetHardwareCommunicator::interfaceMenuItemAction(const QString& name)
{
    setInterfaceString(name);
    const auto chosen = interfaceNamed(name);
    if (!chosen)
        return;
    const auto broadcast = FWNSockAddress::sockAddressWithData(lastBroadcast(*chosen));
    setup_.update([&](SetupState& setup) {
        setup.selectedInterface = name;
        setup.addressField = broadcast ? broadcast->addressString() : QStringLiteral("?");
    });
    updatePortNumber();
}
