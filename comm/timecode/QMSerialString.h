#pragma once
// Conversions the serial protocol parsers share: bytes to and from hexadecimal text, BCD bytes,
// and ASCII text to and from hexadecimal text.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace QMSerialString {

// Bytes as upper-case hexadecimal, two digits per byte: 0A FF -> "0AFF".
QString qmHexStringFromData(const QByteArray& data);

// Hexadecimal text to bytes, two digits per byte; an odd-length text is read with a leading
// "0". A pair that is not two hex digits is logged and gives the value of the digits read
// before the bad one (read from the right). nullopt, logged, when the text is not ASCII.
std::optional<QByteArray> qmDataFromHexString(const QString& text);

} // namespace QMSerialString

// Status codes of QMParseHexDigits.
inline constexpr int kQMParseHexSuccess = 1;
inline constexpr int kQMParseHexTooLong = 2;
inline constexpr int kQMParseHexBadDigit = 4;

// Up to 8 hexadecimal digits to a value, digits read from the last to the first. On a bad
// character, *value holds what the digits to its right gave.
int QMParseHexDigits(QStringView text, std::uint32_t* value);

// 0x59 -> 59 (the low byte: high nibble x 10 + low nibble).
int QMIntFromBCD(std::uint32_t bcd);
// 59 -> 0x59; defined for 0 to 99 (other values keep the low 8 bits of the same sum).
std::uint8_t QMBCDFromInt(std::uint64_t value);

// "AB" -> "4142"; a text that is not ASCII gives "".
QString QMHexStringFromASCIIString(const QString& text);
// "4142" -> "AB"; each pair is read as base 16 up to its first non-digit ("1G" -> 0x01,
// "G1" -> 0x00); an odd-length text is read with a leading "0".
QString QMASCIIStringFromHexString(const QString& text);
