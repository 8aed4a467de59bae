#include "comm/showcontrol/gpio/QMProtocolParserNumatoGPIO.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/showcontrol/gpio/QMProtocolParserGlobalCache.h"

#include <QTimer>

namespace {

class NumatoClass final : public QMProtocolParserClassOf<QMProtocolParserNumatoGPIO> {
public:
    NumatoClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserNumatoGPIO")) {}
    QString supportedProtocol() const override { return QStringLiteral("NumatoGPIO"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("computer"); }
    QString supportedProtocolDescription() const override { return QStringLiteral("Reading GPI signals from Numato 8 channel GPIO board"); }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMSerialHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

} // namespace

const QMProtocolParserClass& QMProtocolParserNumatoGPIO::numatoClass()
{
    static const NumatoClass instance;
    return instance;
}

QMProtocolParserNumatoGPIO::QMProtocolParserNumatoGPIO() = default;
QMProtocolParserNumatoGPIO::~QMProtocolParserNumatoGPIO() = default;

void QMProtocolParserNumatoGPIO::write(const QByteArray& bytes)
{
    if (const auto serial = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(hardwareCommunicator()))
        serial->writeData(bytes);
}

void QMProtocolParserNumatoGPIO::setup()
{
    write(setupMessage());
}

void QMProtocolParserNumatoGPIO::doReadAllInputs()
{
    write(pollMessage());
    if (const auto serial = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(hardwareCommunicator()))
        serial->read();
}

bool QMProtocolParserNumatoGPIO::isPolling() const
{
    return (settleTimer_ && settleTimer_->isActive()) || (readTimer_ && readTimer_->isActive());
}

void QMProtocolParserNumatoGPIO::serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator*)
{
    setup();
    // The board settles before the first poll; a timer waits instead of blocking the thread.
    if (!settleTimer_) {
        settleTimer_ = std::make_unique<QTimer>();
        settleTimer_->setSingleShot(true);
        QObject::connect(settleTimer_.get(), &QTimer::timeout, [this] { readTimer_->start(kPollMilliseconds); });
        readTimer_ = std::make_unique<QTimer>();
        QObject::connect(readTimer_.get(), &QTimer::timeout, [this] { doReadAllInputs(); });
    }
    readTimer_->stop();
    settleTimer_->start(kSettleMilliseconds);
}

void QMProtocolParserNumatoGPIO::stopTimers()
{
    if (settleTimer_)
        settleTimer_->stop();
    if (readTimer_)
        readTimer_->stop();
}

void QMProtocolParserNumatoGPIO::serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*)
{
    stopTimers();
}

void QMProtocolParserNumatoGPIO::serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray& data)
{
    qmcomm::log(QStringLiteral("read data %1").arg(qmcomm::dataDescription(data)));
}

void QMRegisterGPIOClasses()
{
    QMProtocolParserClass::registerClass(QMProtocolParserGlobalCache::globalCacheClass());
    QMProtocolParserClass::registerClass(QMProtocolParserNumatoGPIO::numatoClass());
}
