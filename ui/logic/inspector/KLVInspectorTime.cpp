#include "ui/logic/inspector/KLVInspectorTime.h"

#include "comm/timecode/QMFrameSplit.h"

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
    if (parts.size() == 4 && !(fps > 0))
        return std::nullopt;
    // A time code names a frame: 00:00:02;00 at 29.97 is frame 60, which starts at 2.002 s. A
    // fraction typed in the seconds stays on top of it.
    const double wholeSeconds = std::floor(values[2]);
    return qmSecondsOfTimeCode(std::uint64_t(values[0]), std::uint64_t(values[1]), std::uint64_t(wholeSeconds),
                               values[3], fps) +
           (values[2] - wholeSeconds);
}

} // namespace KLVInspectorTime
