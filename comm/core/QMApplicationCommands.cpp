#include "comm/core/QMApplicationCommands.h"

#include <QVariantList>

QString qmSubstituteDescriptorParams(const QString& format, const QVariantList& params)
{
    QString text = format;
    qsizetype shift = 0;
    for (const QVariant& item : params) {
        const QVariantMap param = item.toMap();
        const QVariant value = param.value(QLatin1String(QMProtocolCommandKeyParamValue));
        if (!value.isValid() || value.isNull())
            continue;
        const QMRange range = param.value(QLatin1String(QMProtocolCommandKeyParamReplaceRange)).value<QMRange>();
        const QString replacement = value.toString();
        const qsizetype at = range.location + shift;
        if (at < 0 || range.length < 0 || at + range.length > text.size())
            continue;
        text.replace(at, range.length, replacement);
        shift += replacement.size() - range.length;
    }
    return text;
}
