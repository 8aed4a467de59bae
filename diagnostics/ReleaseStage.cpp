#include "diagnostics/ReleaseStage.h"

#include <QStringList>

#include <charconv>
#include <string>

namespace QMDiagnostics {

QString releaseStageName(ReleaseStage stage)
{
    switch (stage) {
    case ReleaseStage::debug: return QStringLiteral("debug");
    case ReleaseStage::main: return QStringLiteral("main");
    case ReleaseStage::daily: return QStringLiteral("daily");
    case ReleaseStage::beta: return QStringLiteral("beta");
    case ReleaseStage::production: return QStringLiteral("production");
    }
    return QStringLiteral("debug");
}

namespace {

// An optional sign, then decimal digits only, within the 64-bit range.
std::optional<std::int64_t> decimalInteger(const QString& text)
{
    const std::string s = text.toStdString();
    std::size_t start = 0;
    if (!s.empty() && (s[0] == '+' || s[0] == '-'))
        start = 1;
    if (start == s.size())
        return std::nullopt;
    for (std::size_t i = start; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
    }
    // from_chars takes no '+': the sign is applied by hand (the digits of -2^63 still fit).
    std::uint64_t magnitude = 0;
    const auto r = std::from_chars(s.data() + start, s.data() + s.size(), magnitude);
    if (r.ec != std::errc())
        return std::nullopt;
    if (s[0] == '-') {
        if (magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1)
            return std::nullopt;
        return static_cast<std::int64_t>(0 - magnitude);
    }
    if (magnitude > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

} // namespace

ReleaseStage releaseStageForVersion(const std::optional<QString>& version)
{
    if (!version)
        return ReleaseStage::debug;
    if (*version == QLatin1String("main"))
        return ReleaseStage::main;
    const QStringList parts = version->split(QLatin1Char('.'));
    if (parts.size() == 3 && !parts[0].isEmpty()) {
        if (const auto year = decimalInteger(parts[0]); year && *year >= 2000)
            return ReleaseStage::daily;
    }
    return ReleaseStage::production;
}

} // namespace QMDiagnostics
