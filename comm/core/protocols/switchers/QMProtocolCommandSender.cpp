#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/timecode/QMSerialString.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace QMProtocolCommandSender {

namespace {

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

void writeHex(const QString& text, const std::function<void(const QByteArray&)>& write)
{
    if (text.isEmpty())
        return;
    const std::optional<QByteArray> bytes = QMSerialString::qmDataFromHexString(text);
    if (!bytes) {
        qmcomm::logError(QStringLiteral("command text is not hexadecimal: %1").arg(text));
        return;
    }
    write(*bytes);
}

} // namespace

QVariantMap parameter(const QString& name, qsizetype location, qsizetype length, const QStringList& possibleValues)
{
    QVariantMap p{{key(QMProtocolCommandKeyParamName), name},
                  {key(QMProtocolCommandKeyParamReplaceRange), QVariant::fromValue(QMRange{location, length})}};
    if (!possibleValues.isEmpty())
        p.insert(key(QMProtocolCommandKeyParamPossibleValues), possibleValues);
    return p;
}

QVariantMap descriptor(int index, const QString& displayName, const QString& description, const QString& format, const QVariantList& params)
{
    QVariantMap d{{key(QMProtocolCommandKeyIndex), index},
                  {key(QMProtocolCommandKeyDisplayName), displayName},
                  {key(QMProtocolCommandKeyDescription), description},
                  {key(QMProtocolCommandKeyFormat), format}};
    if (!params.isEmpty())
        d.insert(key(QMProtocolCommandKeyParams), params);
    return d;
}

QVariantMap table(const QList<QVariantMap>& descriptors)
{
    QVariantMap t;
    for (const QVariantMap& d : descriptors)
        t.insert(d.value(key(QMProtocolCommandKeyDisplayName)).toString(), d);
    return t;
}

QString substitutedFormat(const QVariantMap& descriptor)
{
    return qmSubstituteDescriptorParams(descriptor.value(key(QMProtocolCommandKeyFormat)).toString(),
                                        descriptor.value(key(QMProtocolCommandKeyParams)).toList());
}

void sendHexDescriptor(const QVariantMap& descriptor, const std::function<void(const QByteArray&)>& write)
{
    const QString text = substitutedFormat(descriptor);
    if (!descriptor.contains(key(QMProtocolCommandKeyBreakIndexes))) {
        writeHex(text, write);
        return;
    }
    qint64 pause = kDefaultBreakMicroseconds;
    if (descriptor.contains(key(QMProtocolCommandKeyBreakDuration)))
        pause = std::max<qint64>(0, descriptor.value(key(QMProtocolCommandKeyBreakDuration)).toLongLong());

    // An index set: ascending, each position once, within the text.
    std::vector<qsizetype> breaks;
    for (const QVariant& v : descriptor.value(key(QMProtocolCommandKeyBreakIndexes)).toList())
        breaks.push_back(std::clamp<qsizetype>(qsizetype(v.toLongLong()), 0, text.size()));
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());

    qsizetype from = 0;
    for (qsizetype at : breaks) {
        writeHex(text.mid(from, at - from), write);
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
        from = at;
    }
    writeHex(text.mid(from), write);
}

} // namespace QMProtocolCommandSender
