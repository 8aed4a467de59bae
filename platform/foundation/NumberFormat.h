#pragma once
// Locale-free number text for files and wire protocols. Built on std::to_chars/from_chars, so
// neither setlocale() nor QLocale::setDefault() can change a saved file.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Shortest text that reads back to exactly the same double ("0.1", "5", "1e+20", "-0").
// Infinities and NaN are written "inf", "-inf", "nan".
std::string formatDouble(double value);
// Fixed notation with exactly `decimals` digits after the point (0-17; "2.50").
std::string formatDouble(double value, int decimals);
std::string formatInteger(std::int64_t value);
std::string formatUnsigned(std::uint64_t value);

// QString forms of the above.
QString formatDoubleString(double value);
QString formatDoubleString(double value, int decimals);
QString formatIntegerString(std::int64_t value);

// Strict parsers: the whole text must be the number (no whitespace, no trailing characters,
// an optional leading '+' is accepted). Out-of-range integers fail. parseDouble accepts
// decimal and exponent forms and also "inf"/"nan" as written by formatDouble.
std::optional<double> parseDouble(std::string_view text);
std::optional<std::int64_t> parseInteger(std::string_view text);
std::optional<std::uint64_t> parseUnsigned(std::string_view text);
std::optional<double> parseDouble(QStringView text);
std::optional<std::int64_t> parseInteger(QStringView text);
std::optional<std::uint64_t> parseUnsigned(QStringView text);
inline std::optional<double> parseDouble(const QString& t) { return parseDouble(QStringView(t)); }
inline std::optional<std::int64_t> parseInteger(const QString& t) { return parseInteger(QStringView(t)); }
inline std::optional<std::uint64_t> parseUnsigned(const QString& t) { return parseUnsigned(QStringView(t)); }
inline std::optional<double> parseDouble(const char* t) { return parseDouble(std::string_view(t)); }
inline std::optional<std::int64_t> parseInteger(const char* t) { return parseInteger(std::string_view(t)); }
inline std::optional<std::uint64_t> parseUnsigned(const char* t) { return parseUnsigned(std::string_view(t)); }

} // namespace platform
