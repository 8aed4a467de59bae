#include "diagnostics/AnalyticEvent.h"

#include <charconv>
#include <cmath>

namespace QMDiagnostics {

QString analyticValue(const QString& value)
{
    return value;
}

QString analyticValue(std::int64_t value)
{
    return QString::number(value);
}

QString analyticValue(std::uint32_t value)
{
    return QString::number(value);
}

QString analyticValue(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char text[64];
    std::to_chars_result r;
    // Whole values below 2^53 are written out in full ("1000000.0"), like every integer
    // that a double holds exactly; the rest take the shortest form that reads back the same.
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0)
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    else
        r = std::to_chars(text, text + sizeof text, value);
    QString result = QString::fromLatin1(text, static_cast<qsizetype>(r.ptr - text));
    if (!result.contains(QLatin1Char('.')) && !result.contains(QLatin1Char('e')))
        result += QStringLiteral(".0");
    return result;
}

QString analyticValue(const QSizeF& value)
{
    return QLatin1Char('{') + analyticValue(value.width()) + QStringLiteral(", ") + analyticValue(value.height())
        + QLatin1Char('}');
}

QString analyticValue(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

AnalyticProperties CodableAnalyticEventProperties::analyticProperties() const
{
    AnalyticProperties properties;
    for (const CodableAnalyticEventProperty* property : wrappedProperties()) {
        if (property)
            property->add(properties);
    }
    return properties;
}

} // namespace QMDiagnostics
