#include "ui/logic/inspector/KLVInspectorTime.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace KLVInspectorTime {

std::optional<double> parse(const QString& text, double fps)
{
    static const QRegularExpression separators(QStringLiteral("[:;]"));
    const QStringList parts = text.trimmed().split(separators);
    if (parts.size() != 3 && parts.size() != 4)
        return std::nullopt;
    double values[4] = {};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        bool ok = false;
        // Hours, minutes and frames are whole; seconds may have a fraction.
        if (i == 2) {
            values[i] = part.toDouble(&ok);
            ok = ok && !part.contains(u'e', Qt::CaseInsensitive);
        } else {
            values[i] = double(part.toUInt(&ok));
        }
        if (!ok || !std::isfinite(values[i]) || values[i] < 0)
            return std::nullopt;
    }
    double seconds = values[0] * 3600 + values[1] * 60 + values[2];
    if (parts.size() == 4) {
        if (!(fps > 0))
            return std::nullopt;
        seconds += values[3] / fps;
    }
    return seconds;
}

} // namespace KLVInspectorTime
