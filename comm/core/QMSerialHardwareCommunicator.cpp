#include "comm/core/QMSerialHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "platform/foundation/StringValue.h"
#include "platform/serial/SerialPortDiscovery.h"

#include <cstring>

namespace {

class SerialClass final : public QMHardwareCommunicatorClassOf<QMSerialHardwareCommunicator> {
public:
    SerialClass() : QMHardwareCommunicatorClassOf(QStringLiteral("QMSerialHardwareCommunicator")) {}
    QString hardwareTypeName() const override { return QStringLiteral("Serial"); }
    QString setupViewNibName() const override { return QStringLiteral("QMSerialConfiguration"); }
    QList<QVariantMap> availableInterfaces() const override
    {
        QList<QVariantMap> list;
        for (const platform::serial::SerialPortEntry& port : platform::serial::availableSerialPorts()) {
            QVariantMap entry;
            entry.insert(QLatin1String(QMHardwareInterfaceUniqueIdentifier), port.path);
            entry.insert(QLatin1String(QMHardwareInterfaceType), QMCommunicatorTypeSerial);
            entry.insert(QLatin1String(QMHardwareInterfaceDisplayName), port.displayName);
            list.append(entry);
        }
        return list;
    }
};

const char* const kSettingAttributes[] = {"speed", "dataBits", "parity", "stopBits", "hfcInput", "hfcOutput"};

} // namespace

const QMHardwareCommunicatorClass& QMSerialHardwareCommunicator::serialClass()
{
    static const SerialClass instance;
    return instance;
}

QMSerialHardwareCommunicator::QMSerialHardwareCommunicator()
{
    connect(&port_, &platform::serial::SerialPort::dataRead, this, &QMSerialHardwareCommunicator::serialPortReadData);
    connect(&port_, &platform::serial::SerialPort::hungUp, this, &QMSerialHardwareCommunicator::onHungUp);
    connect(&port_, &platform::serial::SerialPort::writeFailed, this, [](int error, const QByteArray& data) {
        qmcomm::logError(QStringLiteral("failed to write data %1 (errno %2)").arg(qmcomm::dataDescription(data)).arg(error));
    });
}

QMSerialHardwareCommunicator::~QMSerialHardwareCommunicator()
{
    closeSerialPort();
}

std::shared_ptr<QMHardwareCommunicator> QMSerialHardwareCommunicator::fromXML(const platform::XmlElement& element)
{
    auto communicator = std::make_shared<QMSerialHardwareCommunicator>();
    communicator->readConnectionProperties(element);
    return communicator;
}

void QMSerialHardwareCommunicator::readConnectionProperties(const platform::XmlElement& element)
{
    if (element.name() != serialClass().className())
        return;
    setDevicePath(element.attribute(QStringLiteral("interface")));
    std::atomic<int>* fields[] = {&speed_, &dataBits_, &parity_, &stopBits_, &hfci_, &hfco_};
    for (int i = 0; i < 6; ++i) {
        if (const auto value = element.findAttribute(QLatin1String(kSettingAttributes[i])))
            fields[i]->store(platform::intValue(*value));
    }
    updateDisplayName();
}

std::optional<platform::XmlElement> QMSerialHardwareCommunicator::serializedConnectionProperties() const
{
    platform::XmlElement element(serialClass().className());
    element.setAttribute(QStringLiteral("interface"), devicePath());
    const int values[] = {speed(), dataBits(), parity(), stopBits(), hfci(), hfco()};
    for (int i = 0; i < 6; ++i)
        element.setAttribute(QLatin1String(kSettingAttributes[i]), QString::number(values[i]));
    return element;
}

QString QMSerialHardwareCommunicator::devicePath() const { return devicePath_.get(); }

void QMSerialHardwareCommunicator::setDevicePath(const QString& path) { devicePath_.set(path); }

void QMSerialHardwareCommunicator::updateDisplayName()
{
    const QString path = devicePath();
    if (path.isEmpty())
        return;
    if (!interfacesCached_) {
        cachedAvailableInterfaces_ = serialClass().availableInterfaces();
        interfacesCached_ = true;
    }
    for (const QVariantMap& entry : std::as_const(cachedAvailableInterfaces_)) {
        if (entry.value(QLatin1String(QMHardwareInterfaceUniqueIdentifier)).toString() == path) {
            setDisplayName(entry.value(QLatin1String(QMHardwareInterfaceDisplayName)).toString());
            return;
        }
    }
}

void QMSerialHardwareCommunicator::interfaceMenuItemAction(const QString& identifier)
{
    setDevicePath(identifier);
    updateDisplayName();
}

std::shared_ptr<QMSerialProtocolParser> QMSerialHardwareCommunicator::serialParser() const
{
    return parserAs<QMSerialProtocolParser>();
}

platform::serial::SerialLineSettings QMSerialHardwareCommunicator::effectiveSettings() const
{
    platform::serial::SerialLineSettings s{speed(), dataBits(), parity(), stopBits(), hfci(), hfco()};
    const auto serial = serialParser();
    if (!serial)
        return s;
    auto* self = const_cast<QMSerialHardwareCommunicator*>(this);
    auto fill = [](int& field, std::optional<std::int32_t> preferred) {
        if (field == -1 && preferred)
            field = *preferred;
    };
    fill(s.speed, serial->preferredSpeedForSerialHardware(self));
    fill(s.dataBits, serial->preferredDataBitsForSerialHardware(self));
    fill(s.parity, serial->preferredParityForSerialHardware(self));
    fill(s.stopBits, serial->preferredStopBitsForSerialHardware(self));
    fill(s.hfci, serial->preferredHardwareFlowControlInputForSerialHardware(self));
    fill(s.hfco, serial->preferredHardwareFlowControlOutputForSerialHardware(self));
    return s;
}

void QMSerialHardwareCommunicator::applyPreferredSettings()
{
    const platform::serial::SerialLineSettings s = effectiveSettings();
    speed_ = s.speed;
    dataBits_ = s.dataBits;
    parity_ = s.parity;
    stopBits_ = s.stopBits;
    hfci_ = s.hfci;
    hfco_ = s.hfco;
}

void QMSerialHardwareCommunicator::activate()
{
    if (isActive())
        return;
    closeSerialPort();
    const QString path = devicePath();
    if (const int error = port_.open(path)) {
        const QString reason = QStringLiteral("failed to open serial port (%1) %2").arg(error).arg(path);
        qmcomm::logError(reason);
        setFailureReason(reason);
        return;
    }
    if (const int error = port_.saveOriginalSettings())
        qmcomm::logError(QStringLiteral("failed to get original serial port attrs %1").arg(error));

    const platform::serial::SerialLineSettings settings = effectiveSettings();
    const platform::serial::SerialPort::ApplyResult applied = port_.applySettings(settings);
    if (applied.error) {
        qmcomm::logError(QStringLiteral("error setting serial port attrs %1 %2").arg(applied.error).arg(applied.text));
        setFailureReason(QStringLiteral("error setting serial port attrs %1").arg(applied.error));
        closeSerialPort();
        return;
    }
    qmcomm::log(QStringLiteral("set serial port attrs %1").arg(applied.text));
    if (!applied.speedApplied)
        qmcomm::logError(QStringLiteral("serial speed %1 is not available; the port keeps its speed").arg(settings.speed));
    if (applied.unsupportedFlowControl)
        qmcomm::logError(QStringLiteral("DTR, DSR and carrier flow control are not available here; only RTS/CTS is"));
    if (!applied.readBackMatches)
        qmcomm::log(QStringLiteral("serial port %1 kept some of its own line settings").arg(path));

    if (const auto serial = serialParser())
        serial->serialPortDidConnectForSerialHardware(this);
    setActive(true);
}

void QMSerialHardwareCommunicator::read()
{
    port_.startReading();
}

void QMSerialHardwareCommunicator::serialPortReadData(const QByteArray& data)
{
    if (data.isEmpty())
        return;
    qmcomm::traceBytes(">>>>", data);
    if (const auto serial = serialParser())
        serial->serialHardwareReadData(this, data);
}

void QMSerialHardwareCommunicator::writeData(const QByteArray& data)
{
    if (!port_.write(data))
        qmcomm::logError(QStringLiteral("failed to write data %1").arg(qmcomm::dataDescription(data)));
    qmcomm::traceBytes("<<<<", data);
}

void QMSerialHardwareCommunicator::closeSerialPort()
{
    const platform::serial::SerialPort::CloseResult result = port_.close();
    if (result.restoreError)
        qmcomm::logError(QStringLiteral("failed to restore serial port to original settings %1").arg(result.restoreError));
    if (result.closeError)
        qmcomm::logError(QStringLiteral("failed to close serial port %1").arg(result.closeError));
}

void QMSerialHardwareCommunicator::markClosed()
{
    setActive(false);
    if (const auto serial = serialParser())
        serial->serialPortDidDisconnectForSerialHardware(this);
}

void QMSerialHardwareCommunicator::deactivate()
{
    if (!isActive())
        return;
    closeSerialPort();
    markClosed();
}

void QMSerialHardwareCommunicator::onHungUp(int error)
{
    qmcomm::logError(QStringLiteral("serial port %1 went away (%2): Error reading from serial port errno:%3")
                         .arg(devicePath(), QString::fromLocal8Bit(std::strerror(error)))
                         .arg(error));
    setFailureReason(QStringLiteral("serial port %1 went away (%2)").arg(devicePath(), QString::fromLocal8Bit(std::strerror(error))));
    if (isActive())
        markClosed();
}
