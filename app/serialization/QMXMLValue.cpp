#include "app/serialization/QMXMLValue.h"

#include "app/serialization/NSColorStringTransformer.h"
#include "app/serialization/QMXMLDate.h"
#include "app/serialization/QMXMLNames.h"

QMXMLValue::QMXMLValue() = default;
QMXMLValue::~QMXMLValue() = default;
QMXMLValue::QMXMLValue(const QMXMLValue&) = default;
QMXMLValue::QMXMLValue(QMXMLValue&&) noexcept = default;
QMXMLValue& QMXMLValue::operator=(const QMXMLValue&) = default;
QMXMLValue& QMXMLValue::operator=(QMXMLValue&&) noexcept = default;
QMXMLValue::QMXMLValue(QString text) : v_(std::move(text)) {}
QMXMLValue::QMXMLValue(const char* text) : v_(QString::fromUtf8(text)) {}
QMXMLValue::QMXMLValue(QMXMLNumber number) : v_(number) {}
QMXMLValue::QMXMLValue(QDateTime date) : v_(std::move(date)) {}
QMXMLValue::QMXMLValue(QMColor color) : v_(color) {}
QMXMLValue::QMXMLValue(Array array) : v_(std::move(array)) {}
QMXMLValue::QMXMLValue(Dictionary dictionary) : v_(std::move(dictionary)) {}
QMXMLValue::QMXMLValue(Object object) : v_(std::move(object)) {}

QString QMXMLValue::toString() const
{
    if (auto* s = std::get_if<QString>(&v_))
        return *s;
    return QString();
}

QMXMLNumber QMXMLValue::toNumber() const
{
    if (auto* n = std::get_if<QMXMLNumber>(&v_))
        return *n;
    return QMXMLNumber();
}

QDateTime QMXMLValue::toDate() const
{
    if (auto* d = std::get_if<QDateTime>(&v_))
        return *d;
    return QDateTime();
}

QMColor QMXMLValue::toColor() const
{
    if (auto* c = std::get_if<QMColor>(&v_))
        return *c;
    return QMColor();
}

const QMXMLValue::Array& QMXMLValue::toArray() const
{
    static const Array empty;
    if (auto* a = std::get_if<Array>(&v_))
        return *a;
    return empty;
}

const QMXMLValue::Dictionary& QMXMLValue::toDictionary() const
{
    static const Dictionary empty;
    if (auto* d = std::get_if<Dictionary>(&v_))
        return *d;
    return empty;
}

QMXMLValue::Object QMXMLValue::toObject() const
{
    if (auto* o = std::get_if<Object>(&v_))
        return *o;
    return nullptr;
}

QMXMLValue QMXMLValue::value(const QString& key) const
{
    for (const QMXMLDictionaryEntry& e : toDictionary())
        if (e.key.isString() && e.key.toString() == key)
            return e.value;
    return QMXMLValue();
}

QString QMXMLValue::className() const
{
    using namespace QMXMLNames;
    if (isString())
        return QString::fromLatin1(kStringElement);
    if (isNumber())
        return QString::fromLatin1(kNumberElement);
    if (isDate())
        return QString::fromLatin1(kDateElement);
    if (isColor())
        return QString::fromLatin1(kColorElement);
    if (isArray())
        return QString::fromLatin1(kArrayElement);
    if (isDictionary())
        return QString::fromLatin1(kDictionaryElement);
    if (auto o = toObject())
        return o->qmXMLClassName();
    return QStringLiteral("nil");
}

QString QMXMLValue::description() const
{
    if (isString())
        return toString();
    if (isNumber()) {
        try {
            return toNumber().qmXMLStringValue();
        } catch (...) {
            return QString::number(toNumber().integerValue());
        }
    }
    if (isDate())
        return QMXMLDate::qmXMLStringValue(toDate());
    if (isColor())
        return NSColorStringTransformer::colorText(toColor());
    return className();
}

QMXMLValue QMXMLValue::duplicate() const
{
    if (auto* a = std::get_if<Array>(&v_)) {
        Array copy;
        copy.reserve(a->size());
        for (const QMXMLValue& item : *a)
            copy.push_back(item.duplicate());
        return QMXMLValue(std::move(copy));
    }
    if (auto* d = std::get_if<Dictionary>(&v_)) {
        Dictionary copy;
        copy.reserve(d->size());
        for (const QMXMLDictionaryEntry& e : *d)
            copy.push_back({e.key, e.value.duplicate()});
        return QMXMLValue(std::move(copy));
    }
    if (auto* o = std::get_if<Object>(&v_); o && *o) {
        if (auto* dup = dynamic_cast<const QMDuplicating*>(o->get()))
            return QMXMLValue(dup->duplicateObject());
        if (auto* copy = dynamic_cast<const QMCopying*>(o->get()))
            return QMXMLValue(copy->copyObject());
    }
    return *this;
}

bool QMXMLValue::operator==(const QMXMLValue& other) const
{
    return v_ == other.v_;
}
