#include "app/serialization/NSColorStringTransformer.h"

#include "platform/foundation/Exception.h"
#include "platform/foundation/NumberFormat.h"
#include "platform/foundation/StringValue.h"

namespace {
const QString kFailed = QStringLiteral("NSColorStringTransformer transform failed");

bool isSeparator(QChar c)
{
    return c.isSpace(); // white space and line ends
}
} // namespace

QString NSColorStringTransformer::colorText(const QMColor& c)
{
    return platform::formatDoubleString(c.red) + QLatin1Char(' ') + platform::formatDoubleString(c.green)
        + QLatin1Char(' ') + platform::formatDoubleString(c.blue) + QLatin1Char(' ')
        + platform::formatDoubleString(c.alpha);
}

QMColor NSColorStringTransformer::colorFromText(const QString& text)
{
    const QString trimmed = text.trimmed();
    QList<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= trimmed.size(); ++i) {
        if (i == trimmed.size() || isSeparator(trimmed[i])) {
            parts.append(QStringView(trimmed).mid(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() != 4)
        return QMColor();
    return QMColor{platform::doubleValue(parts[0]), platform::doubleValue(parts[1]),
                   platform::doubleValue(parts[2]), platform::doubleValue(parts[3])};
}

std::optional<QString> NSColorStringTransformer::transformedValue(const QMXMLValue& value) const
{
    if (value.isNull())
        return std::nullopt;
    if (!value.isColor())
        platform::Exception::raise(kFailed, QStringLiteral("%1 unable to transform %2 (instance of %3) to string."),
                                   QStringLiteral("NSColorStringTransformer"), value.description(),
                                   value.className());
    return colorText(value.toColor());
}

QMXMLValue NSColorStringTransformer::reverseTransformedValue(const QMXMLValue& value) const
{
    if (!value.isString())
        platform::Exception::raise(kFailed, QStringLiteral("unable to transform %1 (instance of %2) to color."),
                                   value.description(), value.className());
    return QMXMLValue(colorFromText(value.toString()));
}
