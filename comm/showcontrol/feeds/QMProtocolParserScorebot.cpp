#include "comm/showcontrol/feeds/QMProtocolParserScorebot.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/feeds/QMSerialFeedParser.h"

namespace {

class ScorebotClass final : public QMProtocolParserClassOf<QMProtocolParserScorebot> {
public:
    ScorebotClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserScorebot")) {}
    QString supportedProtocol() const override { return QStringLiteral("Scorebot"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("scorebotLogo"); }
    QString supportedProtocolDescription() const override { return QStringLiteral("Receive Scorebot data over the network"); }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMTCPNetworkHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorController; }
};

constexpr double kNoTimeout = -1;

} // namespace

const QMProtocolParserClass& QMProtocolParserScorebot::scorebotClass()
{
    static const ScorebotClass instance;
    return instance;
}

void QMProtocolParserScorebot::networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator* hardware)
{
    qmcomm::log(QStringLiteral("%1 networkHardwareDidConnect").arg(className()));
    hardware->writeData(QByteArrayLiteral("ST"), 5.0);
    hardware->readWithTimeout(kNoTimeout);
}

void QMProtocolParserScorebot::networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection)
{
    hardware->readPayloadOnConnection(connection, kNoTimeout);
}

void QMProtocolParserScorebot::networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray& data, const QString&)
{
    handleData(data);
}

void QMProtocolParserScorebot::handleData(const QByteArray& data)
{
    QMDeliverFeedFrame(*this, data);
    if (const auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(hardwareCommunicator()))
        tcp->readWithTimeout(kNoTimeout);
}

void QMRegisterFeedClasses()
{
    for (const QMProtocolParserClass* c : QMSerialFeedParser::feedClasses())
        QMProtocolParserClass::registerClass(*c);
    QMProtocolParserClass::registerClass(QMProtocolParserScorebot::scorebotClass());
}
