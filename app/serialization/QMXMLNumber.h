#pragma once
// A number that remembers its stored type (the type code of the original number objects), so
// that it is written back with the same hint and the same text.
//
//   code  type               hint               text
//   c     boolean            "bool"             YES / NO
//   i     32-bit int         "int"              %d
//   q     64-bit integer     "integer"          %ld
//   f     single float       "float"            %f of the value widened to double
//   d     double             "double"           %f
//   s     16-bit short       "short"            %hd
//   I     32-bit unsigned    "unsignedInt"      %u
//   Q     64-bit unsigned    "unsignedInteger"  %lu
//   S     16-bit unsigned    "unsignedShort"    %hu
//   C     8-bit unsigned     "unsignedChar"     0..255
// A signed 8-bit char read with the hint "char" keeps that hint (code 'c', not a boolean) so
// that it is not rewritten as YES/NO.

#include <QString>
#include <cstdint>
#include <optional>

class QMXMLNumber {
public:
    QMXMLNumber() = default; // 64-bit integer 0

    static QMXMLNumber fromBool(bool v);
    static QMXMLNumber fromChar(std::int8_t v);
    static QMXMLNumber fromInt(std::int32_t v);
    static QMXMLNumber fromInteger(std::int64_t v);
    static QMXMLNumber fromFloat(float v);
    static QMXMLNumber fromDouble(double v);
    static QMXMLNumber fromShort(std::int16_t v);
    static QMXMLNumber fromUnsignedInt(std::uint32_t v);
    static QMXMLNumber fromUnsignedInteger(std::uint64_t v);
    static QMXMLNumber fromUnsignedShort(std::uint16_t v);
    static QMXMLNumber fromUnsignedChar(std::uint8_t v);
    // A number with any type code (the value taken as 64-bit); writing one whose code is not in
    // the table throws "Unhandled NSNumber Type".
    static QMXMLNumber withTypeCode(char typeCode, std::int64_t value);

    char typeCode() const { return typeCode_; }
    bool isBoolean() const { return typeCode_ == 'c' && isBool_; }
    bool isFloatingPoint() const { return typeCode_ == 'f' || typeCode_ == 'd'; }

    bool boolValue() const;
    std::int64_t integerValue() const;    // floating point values truncated toward zero
    std::uint64_t unsignedValue() const;
    double doubleValue() const;

    // "bool", "int", ... (throws "Unhandled NSNumber Type" for codes outside the table).
    QString qmXMLHint() const;
    // The text form of the table (throws like qmXMLHint).
    QString qmXMLStringValue() const;

    // Reads text with a hint. Unknown hints and none read as a 64-bit integer.
    static QMXMLNumber qmValueFromXMLStringValue(const QString& text, const std::optional<QString>& hint);
    // The same but strict, as for a number element: an absent or unknown hint throws
    // "Invalid XML hint".
    static QMXMLNumber fromElementText(const QString& text, const std::optional<QString>& hint);

    // Same type code and the same stored value.
    bool operator==(const QMXMLNumber& other) const;

private:
    static std::optional<QMXMLNumber> readWithHint(const QString& text, const QString& hint);
    // The codes whose value is kept in u_.
    bool isUnsigned() const { return typeCode_ == 'I' || typeCode_ == 'Q' || typeCode_ == 'S' || typeCode_ == 'C'; }

    char typeCode_ = 'q';
    bool isBool_ = false;
    std::int64_t i_ = 0;  // signed codes and booleans
    std::uint64_t u_ = 0; // unsigned codes
    double d_ = 0.0;      // f, d (f holds the float's exact value)
};
