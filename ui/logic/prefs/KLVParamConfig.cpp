#include "ui/logic/prefs/KLVParamConfig.h"

#include "comm/core/QMApplicationCommands.h"

namespace KLVParamConfig {

QString title(const QVariantMap& descriptor)
{
    return descriptor.value(QLatin1String(QMProtocolCommandKeyDisplayName)).toString();
}

QList<Row> rows(const QVariantMap& descriptor)
{
    QList<Row> out;
    for (const QVariant& entry : descriptor.value(QLatin1String(QMProtocolCommandKeyParams)).toList()) {
        const QVariantMap param = entry.toMap();
        Row row;
        row.name = param.value(QLatin1String(QMProtocolCommandKeyParamName)).toString();
        for (const QVariant& v : param.value(QLatin1String(QMProtocolCommandKeyParamPossibleValues)).toList())
            row.possibleValues << v.toString();
        out << row;
    }
    return out;
}

QStringList missing(const QVariantMap& descriptor, const QStringList& values)
{
    QStringList names;
    const QList<Row> all = rows(descriptor);
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (i >= values.size() || values[i].trimmed().isEmpty())
            names << all[i].name;
    }
    return names;
}

std::optional<QVariantMap> result(const QVariantMap& descriptor, bool accepted, const QStringList& values)
{
    if (!accepted)
        return std::nullopt;
    QVariantList params;
    int i = 0;
    for (const QVariant& entry : descriptor.value(QLatin1String(QMProtocolCommandKeyParams)).toList()) {
        QVariantMap param = entry.toMap();
        // An empty field is an empty text, never a missing value.
        const QString value = i < values.size() ? values[i] : QString();
        param.insert(QLatin1String(QMProtocolCommandKeyParamValue), value.isNull() ? QStringLiteral("") : value);
        params << param;
        ++i;
    }
    QVariantMap filled = descriptor;
    filled.insert(QLatin1String(QMProtocolCommandKeyParams), params);
    return filled;
}

} // namespace KLVParamConfig
