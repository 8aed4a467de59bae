#include "comm/core/QMCommLog.h"

#include "comm/core/QMProtocolParser.h"
#include "platform/foundation/UserDefaults.h"

#include <QVariantList>
#include <QVariantMap>

namespace qmcomm {

void log(const QString& message, platform::LogLevel level)
{
    platform::log(kLogSubsystem, kLogCategory, level, message);
}

void logRepeating(const QString& repeatKey, const QString& message, platform::LogLevel level)
{
    const QByteArray key = repeatKey.toUtf8();
    platform::logRepeating(kLogSubsystem, kLogCategory, level, std::string_view(key.constData(), std::size_t(key.size())), message);
}

bool debugEnabled()
{
    static const QString key = QString::fromLatin1(kCommModuleDebugKey);
    return platform::UserDefaults::sharedDefaults().boolForKey(key);
}

void traceBytes(const char* arrow, const QByteArray& data)
{
    if (debugEnabled())
        log(QString::fromLatin1(arrow) + QLatin1Char(' ') + dataDescription(data));
}

QString dataDescription(const QByteArray& data)
{
    static constexpr char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(2 + data.size() * 2 + data.size() / 4);
    text += QLatin1Char('<');
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0 && i % 4 == 0)
            text += QLatin1Char(' ');
        const auto byte = static_cast<unsigned char>(data[i]);
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0xf]);
    }
    text += QLatin1Char('>');
    return text;
}

QString valueDescription(const QVariant& value)
{
    if (!value.isValid())
        return QStringLiteral("(null)");
    if (value.canConvert<QMProtocolParser*>() && value.metaType() == QMetaType::fromType<QMProtocolParser*>())
        return QStringLiteral("<parser %1>").arg(quintptr(value.value<QMProtocolParser*>()), 0, 16);
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return dataDescription(value.toByteArray());
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QString text = QStringLiteral("{");
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            text += QStringLiteral(" %1 = %2;").arg(it.key(), valueDescription(it.value()));
        return text + QStringLiteral(" }");
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant& item : value.toList())
            parts << valueDescription(item);
        return QStringLiteral("( ") + parts.join(QStringLiteral(", ")) + QStringLiteral(" )");
    }
    default:
        break;
    }
    if (value.canConvert<QString>())
        return value.toString();
    return QStringLiteral("<%1>").arg(QString::fromLatin1(value.typeName()));
}

} // namespace qmcomm
