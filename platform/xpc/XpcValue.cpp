#include "platform/xpc/XpcValue.h"

#include <QCborArray>
#include <QCborMap>
#include <QVariantList>
#include <QVariantMap>

namespace platform {

QVariant nsObjectFromXPCObject(const QCborValue& value)
{
    switch (value.type()) {
    case QCborValue::Map: {
        const QCborMap map = value.toMap();
        QVariantMap out;
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            if (!it.key().isString())
                continue;
            QVariant converted = nsObjectFromXPCObject(it.value());
            if (converted.isValid())
                out.insert(it.key().toString(), std::move(converted));
        }
        return out;
    }
    case QCborValue::Array: {
        const QCborArray array = value.toArray();
        QVariantList out;
        out.reserve(array.size());
        for (const QCborValue& element : array) {
            QVariant converted = nsObjectFromXPCObject(element);
            if (converted.isValid())
                out.append(std::move(converted));
        }
        return out;
    }
    case QCborValue::String:
        return value.toString();
    case QCborValue::True:
    case QCborValue::False:
        return value.toBool();
    case QCborValue::Integer:
        return QVariant::fromValue<qint64>(value.toInteger());
    case QCborValue::Double:
        return value.toDouble();
    case QCborValue::ByteArray:
        return value.toByteArray();
    default:
        return {};
    }
}

} // namespace platform
