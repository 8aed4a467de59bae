// The store half of the connection manager: the device list and "commModuleDevices.xml".
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMProtocolParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/StringValue.h"
#include "platform/foundation/Xml.h"

#include <QDir>
#include <QFile>
#include <QPointer>

#include <algorithm>

namespace {

const QString kDevices = QStringLiteral("devices");
const QString kDevice = QStringLiteral("device");
const QString kDeviceLabel = QStringLiteral("deviceLabel");
const QString kDeviceID = QStringLiteral("deviceID");
const QString kReconnect = QStringLiteral("reconnect");
const QString kChannel = QStringLiteral("klvChannel");

} // namespace

QMCommModuleConnectionManager::QMCommModuleConnectionManager(QString appDataDirectory, QObject* parent)
    : QObject(parent), appDataDirectory_(std::move(appDataDirectory))
{
    connect(&wrappers_, &QMConnectionWrapperListModel::selectionChanged, this, &QMCommModuleConnectionManager::selectedConnectionWrapperChanged);
    // The file is read once the module controller knows its parser types.
    platform::dispatchMainAfter(0, this, [this] { delayedInit(); });
}

QMCommModuleConnectionManager::~QMCommModuleConnectionManager() = default;

QString QMCommModuleConnectionManager::devicesFilePath() const
{
    return QDir(appDataDirectory_).filePath(QString::fromLatin1(QMCommModuleDevicesFileName));
}

QMCommModuleConnectionWrapper* QMCommModuleConnectionManager::selectedConnectionWrapper() const
{
    const QList<QMCommModuleConnectionWrapper*> selected = wrappers_.selectedObjects();
    return selected.isEmpty() ? nullptr : selected.last();
}

void QMCommModuleConnectionManager::delayedInit()
{
    // Nothing in the application announces a module update; handleModulesUpdated stays public
    // for whatever does.
    handleModulesUpdated();
}

void QMCommModuleConnectionManager::handleModulesUpdated()
{
    if (isCommunicationsModuleEnabled() && !hasDeserialized_)
        deserializeDevices();
    for (QMCommModuleConnectionWrapper* w : wrappers_.arrangedObjects())
        w->setEnabled(true);
}

void QMCommModuleConnectionManager::keepUnreadableFile(const QString& path) const
{
    // Kept aside under a free name, so the next save cannot silently replace the user's devices.
    QString aside = path + QStringLiteral(".unreadable");
    for (int n = 2; QFile::exists(aside); ++n)
        aside = path + QStringLiteral(".unreadable-%1").arg(n);
    if (QFile::rename(path, aside))
        qmcomm::logError(QStringLiteral("comm module devices file could not be read; kept as %1").arg(aside));
    else
        qmcomm::logError(QStringLiteral("comm module devices file could not be read nor kept aside: %1").arg(path));
}

void QMCommModuleConnectionManager::deserializeDevices()
{
    const QString path = devicesFilePath();
    QFile file(path);
    if (!file.exists())
        return;
    std::optional<platform::XmlElement> root;
    if (file.open(QIODevice::ReadOnly)) {
        platform::Error error;
        root = platform::readXml(file.readAll(), &error);
        file.close();
    }
    if (!root) {
        keepUnreadableFile(path);
        hasDeserialized_ = true;
        return;
    }

    int reconnectDelay = 1;
    for (const platform::XmlElement& node : root->children()) {
        const QString label = node.attribute(kDeviceLabel);
        const std::optional<QString> deviceID = node.findAttribute(kDeviceID);
        const bool reconnect = platform::boolValue(node.attribute(kReconnect));
        const long channel = long(platform::integerValue(node.attribute(kChannel)));
        if (node.children().size() != 1)
            continue;
        const platform::XmlElement& parserElement = node.children().front();
        std::shared_ptr<QMProtocolParser> parser = commModuleController_ ? commModuleController_->activateParserForXML(parserElement) : nullptr;
        if (!parser) {
            qmcomm::logError(QStringLiteral("commModuleController:%1 failed to activate parser from xml: %2")
                                 .arg(commModuleController_ ? QStringLiteral("QMCommunicationModuleController") : QStringLiteral("(null)"),
                                      QString::fromUtf8(platform::writeXml(parserElement, {false, 0, false}))));
            continue;
        }
        auto wrapper = std::make_unique<QMCommModuleConnectionWrapper>(std::move(parser));
        wrapper->setDeviceLabel(label);
        // A device without an identity gets one; the next save writes it.
        wrapper->setDeviceID(deviceID && !deviceID->isEmpty() ? *deviceID : QMCommModuleConnectionWrapper::newDeviceID());
        wrapper->setReconnect(reconnect);
        wrapper->setEnabled(true);
        wrapper->setKlvChannelIndex(channel);
        wrapper->setCommModuleConnectionManager(this);
        // One after another: the n-th marked device connects n seconds after loading.
        if (wrapper->enabled() && wrapper->reconnect())
            wrapper->scheduleConnect(1000 * reconnectDelay++);
        wrappers_.addObject(std::move(wrapper));
    }
    hasDeserialized_ = true;
    emit modulesDidUpdate();
}

bool QMCommModuleConnectionManager::serializeDevices()
{
    platform::XmlElement root(kDevices);
    for (const QMCommModuleConnectionWrapper* w : wrappers_.arrangedObjects()) {
        platform::XmlElement device(kDevice);
        device.setAttribute(kDeviceLabel, w->deviceLabel());
        device.setAttribute(kDeviceID, w->deviceID());
        device.setAttribute(kReconnect, w->reconnect() ? QStringLiteral("1") : QStringLiteral("0"));
        device.setAttribute(kChannel, QString::number(w->klvChannelIndex()));
        if (w->parser())
            device.appendChild(w->parser()->serializedParser());
        root.appendChild(std::move(device));
    }
    platform::Error error;
    if (!platform::writeXmlFile(devicesFilePath(), root, platform::XmlWriteOptions{}, &error)) {
        qmcomm::logError(QStringLiteral("failed to write comm module devices file"));
        return false;
    }
    return true;
}

QMCommModuleConnectionWrapper* QMCommModuleConnectionManager::connectionWrapperForParser(std::shared_ptr<QMProtocolParser> parser)
{
    if (!parser)
        return nullptr;
    const QString label = parser->parserClass().supportedProtocol();
    auto wrapper = std::make_unique<QMCommModuleConnectionWrapper>(std::move(parser));
    wrapper->setDeviceLabel(label);
    wrapper->setDeviceID(QMCommModuleConnectionWrapper::newDeviceID());
    wrapper->setReconnect(true);
    wrapper->setCommModuleConnectionManager(this);
    QMCommModuleConnectionWrapper* w = wrapper.get();
    wrappers_.addObject(std::move(wrapper));
    return w;
}

QMCommModuleConnectionWrapper* QMCommModuleConnectionManager::addDevice(const QMProtocolParserClass& parserClass)
{
    std::shared_ptr<QMProtocolParser> parser = commModuleController_ ? commModuleController_->activateParserForClass(parserClass) : nullptr;
    if (!parser) {
        // A device without a parser could neither work nor be saved.
        qmcomm::logError(QStringLiteral("could not create a parser of class %1; no device added").arg(parserClass.className()));
        return nullptr;
    }
    QMCommModuleConnectionWrapper* w = connectionWrapperForParser(std::move(parser));
    serializeDevices();
    emit modulesDidUpdate();
    QPointer<QMCommModuleConnectionWrapper> added(w);
    platform::dispatchMainAfter(0, this, [this, added] {
        if (added)
            emit configureDeviceRequested(added);
    });
    return w;
}

void QMCommModuleConnectionManager::removeDevice(QMCommModuleConnectionWrapper* wrapper)
{
    if (wrappers_.removeObject(wrapper)) {
        serializeDevices();
        emit modulesDidUpdate();
    }
}

QMCommModuleConnectionWrapper* QMCommModuleConnectionManager::findWrapperWithID(const QString& deviceID) const
{
    for (QMCommModuleConnectionWrapper* w : wrappers_.arrangedObjects()) {
        if (w->deviceID() == deviceID)
            return w;
    }
    return nullptr;
}

QMCommModuleConnectionWrapper* QMCommModuleConnectionManager::findWrapperWithParser(const QMProtocolParser* parser) const
{
    for (QMCommModuleConnectionWrapper* w : wrappers_.arrangedObjects()) {
        if (w->parser().get() == parser)
            return w;
    }
    return nullptr;
}

std::optional<QMCommandMenu> QMCommModuleConnectionManager::cueSubmenuForWrapper(const QMCommModuleConnectionWrapper* wrapper) const
{
    if (!wrapper || !wrapper->parser())
        return std::nullopt;
    const QVariantMap commands = wrapper->parser()->protocolCommands();
    if (commands.isEmpty())
        return std::nullopt;
    QMCommandMenu menu;
    menu.title = wrapper->deviceID();
    for (const QVariant& value : commands) {
        const QVariantMap descriptor = value.toMap();
        menu.items.append({descriptor.value(QString::fromLatin1(QMProtocolCommandKeyDisplayName)).toString(),
                           descriptor.value(QString::fromLatin1(QMProtocolCommandKeyDescription)).toString(), descriptor});
    }
    // The parser's own order, not the alphabetical order of the display names.
    const QString indexKey = QString::fromLatin1(QMProtocolCommandKeyIndex);
    std::stable_sort(menu.items.begin(), menu.items.end(), [&](const QMCommandMenuItem& a, const QMCommandMenuItem& b) {
        return a.descriptor.value(indexKey).toLongLong() < b.descriptor.value(indexKey).toLongLong();
    });
    return menu;
}
