#include "platform/foundation/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace platform {
namespace {

std::string nonFinite(double value)
{
    if (std::isnan(value))
        return "nan";
    return value < 0 ? "-inf" : "inf";
}

// ASCII copy of a view; any other character makes the text unparsable.
std::optional<std::string> ascii(QStringView text)
{
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (QChar c : text) {
        if (c.unicode() >= 0x80 || c.unicode() == 0)
            return std::nullopt;
        out.push_back(char(c.unicode()));
    }
    return out;
}

std::string_view stripPlus(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

template <class T>
std::optional<T> parseWhole(std::string_view text)
{
    text = stripPlus(text);
    if (text.empty())
        return std::nullopt;
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::string formatDouble(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

std::string formatDouble(double value, int decimals)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    decimals = std::clamp(decimals, 0, 17);
    char buffer[400]; // DBL_MAX in fixed notation is 309 digits
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                         std::chars_format::fixed, decimals);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

std::string formatInteger(std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatUnsigned(std::uint64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

QString formatDoubleString(double value) { return QString::fromStdString(formatDouble(value)); }
QString formatDoubleString(double value, int decimals)
{
    return QString::fromStdString(formatDouble(value, decimals));
}
QString formatIntegerString(std::int64_t value) { return QString::fromStdString(formatInteger(value)); }

std::optional<double> parseDouble(std::string_view text)
{
    text = stripPlus(text);
    if (text.empty())
        return std::nullopt;
    // from_chars takes "inf"/"nan" and their long forms, which formatDouble never writes
    // differently, so accept them; hexadecimal needs an explicit format and is refused.
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseInteger(std::string_view text) { return parseWhole<std::int64_t>(text); }
std::optional<std::uint64_t> parseUnsigned(std::string_view text) { return parseWhole<std::uint64_t>(text); }

std::optional<double> parseDouble(QStringView text)
{
    const auto a = ascii(text);
    return a ? parseDouble(std::string_view(*a)) : std::nullopt;
}
std::optional<std::int64_t> parseInteger(QStringView text)
{
    const auto a = ascii(text);
    return a ? parseInteger(std::string_view(*a)) : std::nullopt;
}
std::optional<std::uint64_t> parseUnsigned(QStringView text)
{
    const auto a = ascii(text);
    return a ? parseUnsigned(std::string_view(*a)) : std::nullopt;
}

} // namespace platform
