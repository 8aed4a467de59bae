#include "comm/core/protocols/switchers/QMProtocolParserGVG100.h"

#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"

namespace {

class GVG100Class : public QMProtocolParserClassOf<QMProtocolParserGVG100> {
public:
    GVG100Class() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserGVG100")) {}
    QString supportedProtocol() const override { return QStringLiteral("GVG100"); }
    QStringList supportedHardwareCommunicators() const override { return {QMSerialHardwareCommunicator::serialClass().className()}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorController; }
};

} // namespace

const QMProtocolParserClass& QMProtocolParserGVG100::gvg100Class()
{
    static const GVG100Class c;
    return c;
}

QVariantMap QMProtocolParserGVG100::buildProtocolCommands() const
{
    using QMProtocolCommandSender::descriptor;
    return QMProtocolCommandSender::table({
        descriptor(1, QStringLiteral("Fade To Black"), QStringLiteral("Performs a Fade to Black"), QStringLiteral("0300FB1F")),
        descriptor(13, QStringLiteral("DSK Toggle"), QStringLiteral("Turns the DSK off"), QStringLiteral("0301FB0D")),
    });
}
