#include "comm/showcontrol/gpio/QMProtocolParserGlobalCache.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/StringValue.h"

#include <cmath>

namespace {

class GlobalCacheClass final : public QMProtocolParserClassOf<QMProtocolParserGlobalCache> {
public:
    GlobalCacheClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserGlobalCache")) {}
    QString supportedProtocol() const override { return QStringLiteral("GlobalCache"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("GlobalCacheIcon"); }
    QString supportedProtocolDescription() const override { return QStringLiteral("Control GlobalCache iTach devices over the network."); }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMTCPNetworkHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorController; }
};

QString key(const char* name)
{
    return QLatin1String(name);
}

QVariantMap outputParameter()
{
    return {{key(QMProtocolCommandKeyParamName), QStringLiteral("Output")},
            {key(QMProtocolCommandKeyParamReplaceRange), QVariant::fromValue(QMRange{11, 1})},
            {key(QMProtocolCommandKeyParamPossibleValues), QStringList{"1", "2", "3"}}};
}

QVariantMap intervalParameter()
{
    return {{key(QMProtocolCommandKeyParamName), QStringLiteral("Interval")},
            {key(QMProtocolCommandKeyParamReplaceRange), QVariant::fromValue(QMRange{15, 4})},
            {key(QMProtocolCommandKeyParamParseBeforeSplitting), true}};
}

QVariantMap command(int index, const QString& name, const QString& description, const QString& format, bool interval)
{
    QVariantMap d{{key(QMProtocolCommandKeyDisplayName), name},
                  {key(QMProtocolCommandKeyIndex), index},
                  {key(QMProtocolCommandKeyDescription), description},
                  {key(QMProtocolCommandKeyFormat), format}};
    if (interval) {
        d.insert(key(QMProtocolCommandKeySplitDelimiter), QLatin1String(QMProtocolCommandSplitDelimiterText));
        d.insert(key(QMProtocolCommandKeyParams), QVariantList{outputParameter(), intervalParameter()});
    } else {
        d.insert(key(QMProtocolCommandKeyParams), QVariantList{outputParameter()});
    }
    return d;
}

} // namespace

const QMProtocolParserClass& QMProtocolParserGlobalCache::globalCacheClass()
{
    static const GlobalCacheClass instance;
    return instance;
}

QVariantMap QMProtocolParserGlobalCache::protocolCommands()
{
    const QList<QVariantMap> list = {
        command(1, QStringLiteral("Turn Output On"), QStringLiteral("Turns the specified Output On."), QStringLiteral("setstate,1:#,1"), false),
        command(2, QStringLiteral("Turn Output Off"), QStringLiteral("Turns the specified Output Off."), QStringLiteral("setstate,1:#,0"), false),
        command(3, QStringLiteral("On then Off with Interval"), QStringLiteral("Turns the specified Output on for a period of time."),
                QStringLiteral("setstate,1:#,1|time|setstate,1:#,0"), true),
        command(4, QStringLiteral("Off then On with Interval"), QStringLiteral("Turns the specified Output off for a period of time."),
                QStringLiteral("setstate,1:#,0|time|setstate,1:#,1"), true),
    };
    QVariantMap commands;
    for (const QVariantMap& d : list)
        commands.insert(d.value(key(QMProtocolCommandKeyDisplayName)).toString(), d);
    return commands;
}

QList<std::pair<double, QByteArray>> QMProtocolParserGlobalCache::linesForCommand(const QVariantMap& descriptor)
{
    QVariantList before;
    QVariantList after;
    for (const QVariant& item : descriptor.value(key(QMProtocolCommandKeyParams)).toList()) {
        if (item.toMap().value(key(QMProtocolCommandKeyParamParseBeforeSplitting)).toBool())
            before.append(item);
        else
            after.append(item);
    }
    const QString working = qmSubstituteDescriptorParams(descriptor.value(key(QMProtocolCommandKeyFormat)).toString(), before);
    QList<std::pair<double, QByteArray>> lines;
    double delay = 0;
    const QStringList parts = working.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i % 2 == 1) {
            const double seconds = platform::doubleValue(parts[i]);
            delay = std::isfinite(seconds) && seconds > 0 ? std::min(seconds, kMaxIntervalSeconds) : 0;
            continue;
        }
        lines.append({delay, (qmSubstituteDescriptorParams(parts[i], after) + QLatin1Char('\r')).toUtf8()});
    }
    return lines;
}

void QMProtocolParserGlobalCache::sendProtocolCommand(const QVariantMap& descriptor)
{
    const std::weak_ptr<QMTCPNetworkHardwareCommunicator> weak = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(hardwareCommunicator());
    for (const auto& [delay, line] : linesForCommand(descriptor)) {
        platform::dispatchMainAfter(int(std::lround(delay * 1000)), nullptr, [weak, line = line] {
            if (const auto tcp = weak.lock())
                tcp->writeData(line, QString(), 5.0);
        });
    }
}

void QMProtocolParserGlobalCache::networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator*, const QString& connection)
{
    qmcomm::log(QStringLiteral("accepted new connection %1").arg(connection));
}

void QMProtocolParserGlobalCache::networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray& header, const QString& connection)
{
    qmcomm::log(QStringLiteral("read header %1 from %2").arg(qmcomm::dataDescription(header), connection.isNull() ? QStringLiteral("(null)") : connection));
}

void QMProtocolParserGlobalCache::networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection)
{
    qmcomm::log(QStringLiteral("read data %1 from %2").arg(qmcomm::dataDescription(data), connection.isNull() ? QStringLiteral("(null)") : connection));
    hardware->readPayloadOnConnection(connection, -1);
}

void QMProtocolParserGlobalCache::networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator* hardware)
{
    hardware->readWithTimeout(-1);
}
