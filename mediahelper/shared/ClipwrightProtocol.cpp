#include "mediahelper/shared/ClipwrightProtocol.h"

#include <QCborValue>

#include <limits>

namespace clipwright {

std::optional<QString> stringForKey(const QCborMap& map, const char* key)
{
    const QCborValue value = map.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

double doubleForKey(const QCborMap& map, const char* key)
{
    const QCborValue value = map.value(QLatin1String(key));
    if (value.isDouble() || value.isInteger())
        return value.toDouble();
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace clipwright
