#include "platform/foundation/StringValue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace platform {
namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view skipSpace(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    return s.substr(i);
}

// Leading integer with saturation in [lo, hi].
template <class T>
T leadingInteger(std::string_view s)
{
    s = skipSpace(s);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    using U = std::make_unsigned_t<T>;
    // Magnitude limit: max for positive, max + 1 for negative.
    const U limit = negative ? U(U(std::numeric_limits<T>::max()) + 1u) : U(std::numeric_limits<T>::max());
    U value = 0;
    bool saturated = false;
    for (char c : s) {
        if (!isDigit(c))
            break;
        const U digit = U(c - '0');
        if (!saturated) {
            if (value > (limit - digit) / 10u) {
                saturated = true;
                value = limit;
            } else {
                value = U(value * 10u + digit);
            }
        }
    }
    if (!negative)
        return T(value);
    if (value == U(U(std::numeric_limits<T>::max()) + 1u))
        return std::numeric_limits<T>::min();
    return T(-T(value));
}

// Length of the leading "[sign] digits [. digits] [e [sign] digits]" number, or 0.
std::size_t decimalPrefix(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        std::size_t fraction = 0;
        while (j < s.size() && isDigit(s[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        const std::size_t expStart = j;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

template <class T>
T leadingFloat(std::string_view s)
{
    s = skipSpace(s);
    const std::size_t n = decimalPrefix(s);
    if (n == 0)
        return 0;
    std::string_view number = s.substr(0, n);
    bool negative = false;
    if (number[0] == '+' || number[0] == '-') {
        negative = number[0] == '-';
        number.remove_prefix(1);
    }
    T value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves value alone: the decimal magnitude decides overflow or underflow.
        const auto e = number.find_first_of("eE");
        const std::string_view mantissa = number.substr(0, e);
        const long long exponent = e == std::string_view::npos ? 0 : leadingInteger<long long>(number.substr(e + 1));
        const auto point = std::min(mantissa.find('.'), mantissa.size());
        const auto first = mantissa.find_first_of("123456789");
        long long magnitude = 0; // power of ten of the first significant digit
        if (first != std::string_view::npos)
            magnitude = first < point ? (long long)(point - first) - 1 : -(long long)(first - point);
        const bool overflow = first != std::string_view::npos && exponent > -magnitude;
        value = overflow ? std::numeric_limits<T>::infinity() : T(0);
    } else if (result.ec != std::errc()) {
        return 0;
    }
    return negative ? -value : value;
}

// ASCII text after leading whitespace of a QString, up to the first non-ASCII character.
std::string asciiPrefix(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i].isSpace())
        ++i;
    std::string out;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c >= 0x80 || c == 0)
            break;
        out.push_back(char(c));
    }
    return out;
}

} // namespace

int intValue(std::string_view s) { return leadingInteger<int>(s); }
std::int64_t integerValue(std::string_view s) { return leadingInteger<std::int64_t>(s); }
long long longLongValue(std::string_view s) { return leadingInteger<long long>(s); }
double doubleValue(std::string_view s) { return leadingFloat<double>(s); }
float floatValue(std::string_view s) { return leadingFloat<float>(s); }

bool boolValue(std::string_view s)
{
    s = skipSpace(s);
    if (s.empty())
        return false;
    const char first = s[0];
    if (first == 'Y' || first == 'y' || first == 'T' || first == 't')
        return true;
    if (first == '+' || first == '-')
        s.remove_prefix(1);
    while (!s.empty() && s[0] == '0')
        s.remove_prefix(1);
    return !s.empty() && s[0] >= '1' && s[0] <= '9';
}

int intValue(QStringView s) { return intValue(asciiPrefix(s)); }
std::int64_t integerValue(QStringView s) { return integerValue(asciiPrefix(s)); }
long long longLongValue(QStringView s) { return longLongValue(asciiPrefix(s)); }
double doubleValue(QStringView s) { return doubleValue(asciiPrefix(s)); }
float floatValue(QStringView s) { return floatValue(asciiPrefix(s)); }
bool boolValue(QStringView s) { return boolValue(asciiPrefix(s)); }

} // namespace platform
