#pragma once
// Numbers and truth values read from the start of a string the way Foundation's NSString does
// (intValue, integerValue, longLongValue, doubleValue, floatValue, boolValue). Stored settings,
// documents and device files were written with these rules in mind; QString::toInt and
// QVariant::toBool differ ("12abc" gives 0 there, "NO" gives true).
//
// Rules: leading whitespace is skipped, then an optional '+' or '-', then the leading digits;
// whatever follows is ignored. No digits gives 0. Integers saturate at the type's range
// (intValue("4000000000") == INT_MAX). Never locale dependent.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <string_view>

namespace platform {

int intValue(std::string_view s);
std::int64_t integerValue(std::string_view s); // NSInteger is 64-bit on our targets
long long longLongValue(std::string_view s);
// Leading decimal number with optional fraction and exponent ("1.5e3xyz" -> 1500). No hex,
// no "inf"/"nan". Overflow gives +-HUGE_VAL, underflow 0.
double doubleValue(std::string_view s);
float floatValue(std::string_view s);
// True when the string starts (after whitespace) with 'Y', 'y', 'T' or 't' ("YES", "true"),
// or, after an optional sign and leading zeros, with a digit 1-9 ("1", "-5", "007").
bool boolValue(std::string_view s);

int intValue(QStringView s);
std::int64_t integerValue(QStringView s);
long long longLongValue(QStringView s);
double doubleValue(QStringView s);
float floatValue(QStringView s);
bool boolValue(QStringView s);

// QString overloads (a QString would otherwise be ambiguous between the two views).
inline int intValue(const QString& s) { return intValue(QStringView(s)); }
inline std::int64_t integerValue(const QString& s) { return integerValue(QStringView(s)); }
inline long long longLongValue(const QString& s) { return longLongValue(QStringView(s)); }
inline double doubleValue(const QString& s) { return doubleValue(QStringView(s)); }
inline float floatValue(const QString& s) { return floatValue(QStringView(s)); }
inline bool boolValue(const QString& s) { return boolValue(QStringView(s)); }

inline int intValue(const char* s) { return intValue(std::string_view(s)); }
inline std::int64_t integerValue(const char* s) { return integerValue(std::string_view(s)); }
inline long long longLongValue(const char* s) { return longLongValue(std::string_view(s)); }
inline double doubleValue(const char* s) { return doubleValue(std::string_view(s)); }
inline float floatValue(const char* s) { return floatValue(std::string_view(s)); }
inline bool boolValue(const char* s) { return boolValue(std::string_view(s)); }

} // namespace platform
