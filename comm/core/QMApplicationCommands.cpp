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
        // Ranges come from documents and device files: any number at all. Compared so that no
        // sum can overflow; once the start is within the text, the rest is too.
        if (range.location < -shift || range.location > text.size() - shift || range.length < 0
            || range.length > text.size() - (range.location + shift))
            continue;
        text.replace(range.location + shift, range.length, replacement);
        shift += replacement.size() - range.length;
    }
    return text;
}
