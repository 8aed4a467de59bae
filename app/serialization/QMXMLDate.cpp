#include "app/serialization/QMXMLDate.h"

#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace QMXMLDate {

QString qmXMLStringValue(const QDateTime& date)
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    const int offset = local.offsetFromUtc();
    const int magnitude = std::abs(offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d", d.year(), d.month(), d.day(),
                  t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return QString::fromLatin1(text);
}

QDateTime qmValueFromXMLStringValue(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) ([+-])(\\d{2})(\\d{2})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return QDateTime();
    auto field = [&](int i) { return m.capturedView(i).toInt(); };
    const QDate date(field(1), field(2), field(3));
    const QTime time(field(4), field(5), field(6));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    int offset = field(8) * 3600 + field(9) * 60;
    if (m.capturedView(7) == QLatin1String("-"))
        offset = -offset;
    const QDateTime result(date, time, Qt::OffsetFromUTC, offset);
    return result.isValid() ? result.toLocalTime() : QDateTime();
}

} // namespace QMXMLDate
