#pragma once
// Service values as application values: maps become QVariantMap (string keys only), arrays
// QVariantList, text QString, booleans bool, integers qint64, doubles double, byte strings
// QByteArray (a copy). Any other value (null, undefined, tags, simple types) has no counterpart:
// an invalid QVariant, and map entries or array elements that convert to it are left out.

#include <QCborValue>
#include <QVariant>

namespace platform {

QVariant nsObjectFromXPCObject(const QCborValue& value);

} // namespace platform
