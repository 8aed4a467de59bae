#include "app/serialization/QMXMLAttributes.h"

#include "app/serialization/NSColorStringTransformer.h"
#include "platform/foundation/NumberFormat.h"
#include "platform/foundation/StringValue.h"

#include <QRegularExpression>

namespace QMXMLAttributes {

Attribute qmAttributeWithNameIntegerValue(const QString& name, std::int64_t value)
{
    return {name, platform::formatIntegerString(value)};
}

Attribute qmAttributeWithNameFloatValue(const QString& name, float value)
{
    return {name, platform::formatDoubleString(double(value), 6)};
}

Attribute qmAttributeWithNameDoubleValue(const QString& name, double value)
{
    return {name, platform::formatDoubleString(value, 6)};
}

Attribute qmAttributeWithNameBoolValue(const QString& name, bool value)
{
    return {name, value ? QStringLiteral("YES") : QStringLiteral("NO")};
}

Attribute qmAttributeWithNameColorValue(const QString& name, const QMColor& value)
{
    return {name, NSColorStringTransformer::colorText(value)};
}

QString qmStringFromRect(const QRectF& r)
{
    using platform::formatDoubleString;
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(formatDoubleString(r.x()), formatDoubleString(r.y()), formatDoubleString(r.width()),
             formatDoubleString(r.height()));
}

QRectF qmRectFromString(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral("[-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?"));
    double v[4] = {0, 0, 0, 0};
    int found = 0;
    auto it = number.globalMatch(text);
    while (found < 4 && it.hasNext())
        v[found++] = platform::doubleValue(it.next().capturedView());
    return QRectF(v[0], v[1], v[2], v[3]);
}

} // namespace QMXMLAttributes
