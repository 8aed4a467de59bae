#include "ui/logic/prefs/KLVDeviceConfiguration.h"

#include "app/util/KLVUtilities.h"
#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/interpreter/QMCommModuleConnectionWrapper.h"
#include "ui/logic/prefs/KLVDeviceChannelNames.h"


namespace {

// What a setup view does before it is first shown: settings still unchosen take the protocol's
// preferred values (port, mode, line settings).
void prepareSetup(QMHardwareCommunicator& communicator)
{
    if (auto* tcp = dynamic_cast<QMTCPNetworkHardwareCommunicator*>(&communicator))
        tcp->prepareSetup();
    else if (auto* udp = dynamic_cast<QMUDPNetworkHardwareCommunicator*>(&communicator))
        udp->prepareSetup();
    else if (auto* serial = dynamic_cast<QMSerialHardwareCommunicator*>(&communicator))
        serial->applyPreferredSettings();
}

// The link's settings as the device file holds them: what a connected link must be reopened
// with when they changed.
QByteArray linkSettings(const std::optional<platform::XmlElement>& element)
{
    return element ? platform::writeXml(*element) : QByteArray();
}

QByteArray linkSettings(const QMHardwareCommunicator* communicator)
{
    return communicator ? linkSettings(communicator->serializedConnectionProperties()) : QByteArray();
}

std::int64_t socketMode(const QMHardwareCommunicator& communicator)
{
    if (auto* tcp = dynamic_cast<const QMTCPNetworkHardwareCommunicator*>(&communicator))
        return tcp->socketMode();
    if (auto* udp = dynamic_cast<const QMUDPNetworkHardwareCommunicator*>(&communicator))
        return udp->socketMode();
    return -1; // a link without modes
}

bool needsAddress(const QMHardwareCommunicator& communicator)
{
    return socketMode(communicator) == QMSocketModeConnect;
}

} // namespace

KLVDeviceConfiguration::KLVDeviceConfiguration(QMCommModuleConnectionWrapper& wrapper,
                                               QMCommModuleConnectionManager& manager, QObject* parent)
    : QObject(parent)
    , wrapper_(wrapper)
    , manager_(manager)
{
}

std::shared_ptr<QMHardwareCommunicator> KLVDeviceConfiguration::communicator() const
{
    return wrapper_.parser() ? wrapper_.parser()->hardwareCommunicator() : nullptr;
}

QStringList KLVDeviceConfiguration::channelNames() const
{
    return KLVDeviceChannelNames::channelNames();
}

void KLVDeviceConfiguration::open()
{
    updateHardwareMenu();
    updateBehaviorMenu();
    remember();
}

void KLVDeviceConfiguration::remember()
{
    opened_.label = wrapper_.deviceLabel();
    opened_.reconnect = wrapper_.reconnect();
    opened_.channel = wrapper_.klvChannelIndex();
    opened_.behavior = wrapper_.parser() ? wrapper_.parser()->behavior() : 0;
    const std::shared_ptr<QMHardwareCommunicator> link = communicator();
    opened_.communicator = link;
    opened_.communicatorClass = link ? &link->communicatorClass() : nullptr;
    opened_.link = link ? link->serializedConnectionProperties() : std::nullopt;
    opened_.settings = linkSettings(opened_.link);
    opened_.connected = wrapper_.isConnected();
}

void KLVDeviceConfiguration::revert()
{
    wrapper_.setDeviceLabel(opened_.label);
    wrapper_.setReconnect(opened_.reconnect);
    wrapper_.setKlvChannelIndex(opened_.channel);
    const std::shared_ptr<QMProtocolParser> parser = wrapper_.parser();
    if (!parser)
        return;
    std::shared_ptr<QMHardwareCommunicator> link = opened_.communicator.lock();
    if (!link && opened_.communicatorClass && opened_.link)
        link = opened_.communicatorClass->createWithXML(*opened_.link);
    if (communicator() != link || parser->behavior() != opened_.behavior)
        installCommunicator(link, opened_.behavior);
    if (link && opened_.link && linkSettings(link.get()) != opened_.settings) {
        // Opened with the changed settings from the setup view: closed before they are undone.
        if (!opened_.connected)
            link->deactivate();
        link->readConnectionProperties(*opened_.link);
        link->updateFromConfig();
    }
    if (opened_.connected && !wrapper_.isConnected())
        wrapper_.connectAction();
    else if (!opened_.connected && wrapper_.isConnected())
        wrapper_.disconnectAction();
    emit wrapper_.deviceChanged();
}

void KLVDeviceConfiguration::updateHardwareMenu()
{
    hardware_.clear();
    selectedHardware_ = -1;
    const std::shared_ptr<QMProtocolParser> parser = wrapper_.parser();
    if (!parser)
        return;
    for (const QString& name : parser->parserClass().supportedHardwareCommunicators()) {
        if (const QMHardwareCommunicatorClass* c = QMHardwareCommunicator::classNamed(name))
            hardware_.append({c->hardwareTypeName(), c});
    }
    emit menusChanged();
    const std::shared_ptr<QMHardwareCommunicator> current = parser->hardwareCommunicator();
    for (int i = 0; current && i < hardware_.size(); ++i) {
        if (hardware_[i].communicatorClass->className() == current->className())
            selectedHardware_ = i;
    }
    // A new device starts on the protocol's first hardware type (a network protocol's TCP).
    if (selectedHardware_ < 0 && !current && !hardware_.isEmpty())
        selectedHardware_ = 0;
    if (selectedHardware_ >= 0)
        chooseHardwareOrBehavior(false);
}

void KLVDeviceConfiguration::updateBehaviorMenu()
{
    behaviors_.clear();
    selectedBehavior_ = -1;
    const std::shared_ptr<QMProtocolParser> parser = wrapper_.parser();
    if (!parser)
        return;
    const std::uint64_t behavior = parser->behavior();
    // A role the class does not offer for new devices, set in the device file (a 9-pin line
    // that drives a deck), is still the device's own: shown, and kept by a save.
    const std::uint64_t mask = parser->parserClass().protocolBehaviorMask() | behavior;
    if (mask & kBehaviorDevice)
        behaviors_.append({kBehaviorDevice, KLVUtilities::localized("QM_DEVICE", QStringLiteral("Device"))});
    if (mask & kBehaviorController)
        behaviors_.append({kBehaviorController, KLVUtilities::localized("QM_CONTROLLER", QStringLiteral("Controller"))});
    emit menusChanged();
    if (behavior == 0 && behaviors_.size() == 1) {
        selectedBehavior_ = 0;
        chooseHardwareOrBehavior(false);
    } else if (behavior != 0) {
        for (int i = 0; i < behaviors_.size(); ++i) {
            if (std::uint64_t(behaviors_[i].tag) == behavior)
                selectedBehavior_ = i;
        }
        if (selectedBehavior_ >= 0)
            chooseHardwareOrBehavior(false);
    }
}

void KLVDeviceConfiguration::chooseHardware(int index)
{
    if (index < 0 || index >= hardware_.size())
        return;
    selectedHardware_ = index;
    chooseHardwareOrBehavior(true);
}

void KLVDeviceConfiguration::chooseBehavior(int index)
{
    if (index < 0 || index >= behaviors_.size())
        return;
    selectedBehavior_ = index;
    chooseHardwareOrBehavior(true);
}

void KLVDeviceConfiguration::chooseHardwareOrBehavior(bool fromUser)
{
    if (selectedHardware_ >= 0 && selectedBehavior_ >= 0)
        loadConfigViewForHardware(*hardware_[selectedHardware_].communicatorClass,
                                  std::uint64_t(behaviors_[selectedBehavior_].tag));
    if (!fromUser)
        return;
    if (selectedHardware_ < 0)
        updateHardwareMenu();
    else if (selectedBehavior_ < 0)
        updateBehaviorMenu();
}

bool KLVDeviceConfiguration::loadConfigViewForHardware(const QMHardwareCommunicatorClass& communicatorClass,
                                                       std::uint64_t behavior)
{
    const std::shared_ptr<QMProtocolParser> parser = wrapper_.parser();
    if (!parser)
        return false;
    const std::shared_ptr<QMHardwareCommunicator> old = parser->hardwareCommunicator();
    if (old && old->className() == communicatorClass.className() && parser->behavior() == behavior)
        return false;
    std::shared_ptr<QMHardwareCommunicator> communicator = communicatorClass.create();
    installCommunicator(communicator, behavior);
    if (communicator)
        prepareSetup(*communicator);
    emit communicatorChanged();
    return true;
}

void KLVDeviceConfiguration::installCommunicator(std::shared_ptr<QMHardwareCommunicator> communicator, std::uint64_t behavior)
{
    const std::shared_ptr<QMProtocolParser> parser = wrapper_.parser();
    // The replaced link lets go of its port or socket before the new one can take it.
    if (const std::shared_ptr<QMHardwareCommunicator> old = parser->hardwareCommunicator())
        old->deactivate();
    parser->setBehavior(behavior);
    parser->setHardwareCommunicator(communicator);
    if (communicator)
        communicator->setParser(parser);
    wrapper_.hardwareCommunicatorChanged();
}

QString KLVDeviceConfiguration::validationError() const
{
    const std::shared_ptr<QMHardwareCommunicator> communicator = this->communicator();
    if (!communicator)
        return QStringLiteral("Choose the hardware the device is connected by.");
    if (auto* network = dynamic_cast<const QMNetworkHardwareCommunicator*>(communicator.get())) {
        const std::uint64_t port = network->portNum();
        if (port == 0 || port > 65535)
            return QStringLiteral("The port must be a number from 1 to 65535.");
        if (socketMode(*communicator) == 0)
            return QStringLiteral("Choose the mode the link works in.");
        if (needsAddress(*communicator) && network->hostname().trimmed().isEmpty())
            return QStringLiteral("Enter the address of the device to connect to.");
    } else if (auto* serial = dynamic_cast<const QMSerialHardwareCommunicator*>(communicator.get())) {
        if (serial->devicePath().isEmpty())
            return QStringLiteral("Choose the serial port the device is connected to.");
    }
    return {};
}

KLVDeviceConfiguration::SaveResult KLVDeviceConfiguration::save()
{
    SaveResult result;
    result.message = validationError();
    if (!result.message.isEmpty())
        return result; // nothing reaches the device file
    const std::shared_ptr<QMHardwareCommunicator> communicator = this->communicator();
    communicator->updateFromConfig();
    emit wrapper_.deviceChanged();
    if (!manager_.serializeDevices()) {
        result.message = QStringLiteral("The device list could not be saved.");
        return result;
    }
    result.saved = true;
    // A link that is open keeps its old port or line until it is reopened: do it now, so what the
    // sheet shows is what the device uses.
    if (wrapper_.isConnected() && linkSettings(communicator.get()) != opened_.settings) {
        wrapper_.disconnectAction();
        wrapper_.connectAction();
    }
    if (wrapper_.reconnect() && !wrapper_.isConnected()) {
        wrapper_.connectAction();
        if (!wrapper_.isConnected()) {
            if (auto* network = dynamic_cast<const QMNetworkHardwareCommunicator*>(communicator.get()))
                result.message = QStringLiteral("The device could not be connected on port %1: the port may "
                                                "already be in use by another program or device.")
                                     .arg(network->portNum());
            else
                result.message = QStringLiteral("The device could not be connected: %1 may already be in use.")
                                     .arg(communicator->displayName());
        }
    }
    remember(); // what a later dismissal goes back to
    return result;
}
