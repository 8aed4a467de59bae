#include "app/serialization/QMXMLNumber.h"

#include "platform/foundation/Exception.h"
#include "platform/foundation/NumberFormat.h"
#include "platform/foundation/StringValue.h"

#include <cmath>
#include <limits>

namespace {

QString decimal(std::int64_t v) { return platform::formatIntegerString(v); }
QString decimalUnsigned(std::uint64_t v) { return QString::fromStdString(platform::formatUnsigned(v)); }
QString fixed6(double v) { return platform::formatDoubleString(v, 6); }

// Leading unsigned value by the NSString rules, saturating at max. A leading '-' keeps what the
// files have always meant by it: the signed value taken as unsigned (two's complement).
std::uint64_t leadingUnsigned(QStringView text, std::uint64_t max)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && text[i] == QLatin1Char('-'))
        return std::uint64_t(platform::longLongValue(text)) & max;
    if (i < text.size() && text[i] == QLatin1Char('+'))
        ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        const std::uint64_t digit = std::uint64_t(text[i].unicode() - u'0');
        if (value > (max - digit) / 10)
            return max;
        value = value * 10 + digit;
    }
    return value;
}

[[noreturn]] void unhandled(char code)
{
    platform::Exception::raise(QStringLiteral("Unhandled NSNumber Type"),
                               QStringLiteral("NSNumber type (%1) is not handled by serialization"),
                               QString(QLatin1Char(code)));
}

} // namespace

QMXMLNumber QMXMLNumber::fromBool(bool v)
{
    QMXMLNumber n;
    n.typeCode_ = 'c';
    n.isBool_ = true;
    n.i_ = v ? 1 : 0;
    return n;
}

QMXMLNumber QMXMLNumber::fromChar(std::int8_t v)
{
    QMXMLNumber n;
    n.typeCode_ = 'c';
    n.i_ = v;
    return n;
}

QMXMLNumber QMXMLNumber::withTypeCode(char typeCode, std::int64_t value)
{
    QMXMLNumber n;
    n.typeCode_ = typeCode;
    n.i_ = value;
    n.u_ = std::uint64_t(value);
    n.d_ = double(value);
    return n;
}

QMXMLNumber QMXMLNumber::fromInt(std::int32_t v) { return withTypeCode('i', v); }
QMXMLNumber QMXMLNumber::fromInteger(std::int64_t v) { return withTypeCode('q', v); }
QMXMLNumber QMXMLNumber::fromShort(std::int16_t v) { return withTypeCode('s', v); }

QMXMLNumber QMXMLNumber::fromFloat(float v)
{
    QMXMLNumber n;
    n.typeCode_ = 'f';
    n.d_ = double(v);
    return n;
}

QMXMLNumber QMXMLNumber::fromDouble(double v)
{
    QMXMLNumber n;
    n.typeCode_ = 'd';
    n.d_ = v;
    return n;
}

QMXMLNumber QMXMLNumber::fromUnsignedInteger(std::uint64_t v)
{
    QMXMLNumber n;
    n.typeCode_ = 'Q';
    n.u_ = v;
    return n;
}

QMXMLNumber QMXMLNumber::fromUnsignedInt(std::uint32_t v)
{
    QMXMLNumber n = fromUnsignedInteger(v);
    n.typeCode_ = 'I';
    return n;
}

QMXMLNumber QMXMLNumber::fromUnsignedShort(std::uint16_t v)
{
    QMXMLNumber n = fromUnsignedInteger(v);
    n.typeCode_ = 'S';
    return n;
}

QMXMLNumber QMXMLNumber::fromUnsignedChar(std::uint8_t v)
{
    QMXMLNumber n = fromUnsignedInteger(v);
    n.typeCode_ = 'C';
    return n;
}

bool QMXMLNumber::boolValue() const
{
    if (isFloatingPoint())
        return d_ != 0.0;
    return isUnsigned() ? u_ != 0 : i_ != 0;
}

std::int64_t QMXMLNumber::integerValue() const
{
    if (isFloatingPoint()) {
        if (!(std::fabs(d_) < 9.2e18))
            return std::isnan(d_) ? 0 : (d_ > 0 ? std::numeric_limits<std::int64_t>::max()
                                                : std::numeric_limits<std::int64_t>::min());
        return std::int64_t(d_);
    }
    return isUnsigned() ? std::int64_t(u_) : i_;
}

std::uint64_t QMXMLNumber::unsignedValue() const
{
    return isUnsigned() ? u_ : std::uint64_t(integerValue());
}

double QMXMLNumber::doubleValue() const
{
    if (isFloatingPoint())
        return d_;
    return isUnsigned() ? double(u_) : double(i_);
}

QString QMXMLNumber::qmXMLHint() const
{
    switch (typeCode_) {
    case 'c': return isBool_ ? QStringLiteral("bool") : QStringLiteral("char");
    case 'i': return QStringLiteral("int");
    case 'q': return QStringLiteral("integer");
    case 'f': return QStringLiteral("float");
    case 'd': return QStringLiteral("double");
    case 's': return QStringLiteral("short");
    case 'I': return QStringLiteral("unsignedInt");
    case 'Q': return QStringLiteral("unsignedInteger");
    case 'S': return QStringLiteral("unsignedShort");
    case 'C': return QStringLiteral("unsignedChar");
    default: unhandled(typeCode_);
    }
}

QString QMXMLNumber::qmXMLStringValue() const
{
    switch (typeCode_) {
    case 'c': return isBool_ ? (i_ ? QStringLiteral("YES") : QStringLiteral("NO")) : decimal(i_);
    case 'i':
    case 'q':
    case 's': return decimal(i_);
    case 'f':
    case 'd': return fixed6(d_);
    case 'I':
    case 'Q':
    case 'S':
    case 'C': return decimalUnsigned(u_);
    default: unhandled(typeCode_);
    }
}

std::optional<QMXMLNumber> QMXMLNumber::readWithHint(const QString& text, const QString& hint)
{
    if (hint == QLatin1String("bool"))
        return fromBool(platform::boolValue(text));
    if (hint == QLatin1String("integer") || hint == QLatin1String("long"))
        return fromInteger(platform::integerValue(text));
    if (hint == QLatin1String("longLong"))
        return fromInteger(platform::longLongValue(text));
    if (hint == QLatin1String("int"))
        return fromInt(platform::intValue(text));
    if (hint == QLatin1String("float"))
        return fromFloat(platform::floatValue(text));
    if (hint == QLatin1String("double"))
        return fromDouble(platform::doubleValue(text));
    if (hint == QLatin1String("short"))
        return fromShort(std::int16_t(std::uint16_t(platform::integerValue(text) & 0xFFFF)));
    if (hint == QLatin1String("char"))
        return fromChar(std::int8_t(std::uint8_t(platform::integerValue(text) & 0xFF)));
    if (hint == QLatin1String("unsignedInt"))
        return fromUnsignedInt(std::uint32_t(leadingUnsigned(text, 0xFFFFFFFFu)));
    if (hint == QLatin1String("unsignedInteger") || hint == QLatin1String("unsignedLong")
        || hint == QLatin1String("unsignedLongLong"))
        return fromUnsignedInteger(leadingUnsigned(text, std::numeric_limits<std::uint64_t>::max()));
    if (hint == QLatin1String("unsignedShort"))
        return fromUnsignedShort(std::uint16_t(platform::intValue(text) & 0xFFFF));
    if (hint == QLatin1String("unsignedChar"))
        return fromUnsignedChar(std::uint8_t(platform::intValue(text) & 0xFF));
    return std::nullopt;
}

QMXMLNumber QMXMLNumber::qmValueFromXMLStringValue(const QString& text, const std::optional<QString>& hint)
{
    if (hint) {
        if (auto n = readWithHint(text, *hint))
            return *n;
    }
    return fromInteger(platform::integerValue(text));
}

QMXMLNumber QMXMLNumber::fromElementText(const QString& text, const std::optional<QString>& hint)
{
    std::optional<QMXMLNumber> n;
    if (hint)
        n = readWithHint(text, *hint);
    if (!n)
        platform::Exception::raise(QStringLiteral("Invalid XML hint"),
                                   QStringLiteral("Cannot init Number from hint %1"),
                                   hint ? *hint : QStringLiteral("(null)"));
    return *n;
}

bool QMXMLNumber::operator==(const QMXMLNumber& other) const
{
    if (typeCode_ != other.typeCode_ || isBool_ != other.isBool_)
        return false;
    if (isFloatingPoint())
        return d_ == other.d_ || (std::isnan(d_) && std::isnan(other.d_));
    return i_ == other.i_ && u_ == other.u_;
}
