#include "app/serialization/QMXMLContainers.h"

#include "app/serialization/NSColorStringTransformer.h"
#include "app/serialization/QMXMLDate.h"
#include "app/serialization/QMXMLNames.h"
#include "platform/foundation/Exception.h"

namespace QMXMLContainers {

using platform::XmlElement;
using namespace QMXMLNames;

std::optional<XmlElement> qmXMLElement(const QMXMLValue& value)
{
    if (value.isArray())
        return arrayElement(value.toArray());
    if (value.isDictionary())
        return dictionaryElement(value.toDictionary());
    if (auto object = value.toObject())
        return object->qmXMLElement();
    return std::nullopt;
}

std::optional<QString> qmXMLClassName(const QMXMLValue& value)
{
    if (value.isString() || value.isNumber() || value.isDate() || value.isColor())
        return value.className();
    return std::nullopt;
}

std::optional<QString> qmXMLStringValue(const QMXMLValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isNumber())
        return value.toNumber().qmXMLStringValue();
    if (value.isDate()) {
        const QString text = QMXMLDate::qmXMLStringValue(value.toDate());
        return text.isNull() ? std::nullopt : std::optional<QString>(text);
    }
    if (value.isColor())
        return NSColorStringTransformer::colorText(value.toColor());
    return std::nullopt;
}

std::optional<QString> qmXMLHint(const QMXMLValue& value)
{
    if (value.isNumber())
        return value.toNumber().qmXMLHint();
    return std::nullopt;
}

std::optional<XmlElement> childForItem(const QMXMLValue& item, const QString* key)
{
    if (auto element = qmXMLElement(item)) {
        if (key)
            element->setAttribute(QString::fromLatin1(kDictionaryKeyAttribute), *key);
        return element;
    }
    const std::optional<QString> text = qmXMLStringValue(item);
    const std::optional<QString> hint = qmXMLHint(item);
    const std::optional<QString> className = qmXMLClassName(item);
    if (!className || !text)
        return std::nullopt;
    XmlElement child(*className, *text);
    if (key)
        child.setAttribute(QString::fromLatin1(kDictionaryKeyAttribute), *key);
    if (hint)
        child.setAttribute(QString::fromLatin1(kHintAttribute), *hint);
    return child;
}

XmlElement arrayElement(const QMXMLValue::Array& array)
{
    XmlElement element(QString::fromLatin1(kArrayElement));
    for (const QMXMLValue& item : array)
        if (auto child = childForItem(item, nullptr))
            element.appendChild(std::move(*child));
    return element;
}

XmlElement dictionaryElement(const QMXMLValue::Dictionary& dictionary)
{
    XmlElement element(QString::fromLatin1(kDictionaryElement));
    for (const QMXMLDictionaryEntry& entry : dictionary) {
        if (!entry.key.isString())
            platform::Exception::raise(
                QStringLiteral("Invalid Dictionary Key"),
                QStringLiteral("Attempted to serialize a dictionary containing a non-string dictionary key of class %1"),
                entry.key.className());
        const QString key = entry.key.toString();
        if (auto child = childForItem(entry.value, &key))
            element.appendChild(std::move(*child));
    }
    return element;
}

namespace {

// Reads the children of one list or map. Siblings are mostly of one class (a playlist's cues),
// so the reader of the last class is kept for the next child.
class ChildReader {
public:
    explicit ChildReader(const QMXMLRegistry& registry) : registry_(registry) {}

    QMXMLValue read(const XmlElement& child)
    {
        if (child.name() == QLatin1String(kArrayElement))
            return QMXMLValue(arrayFromElement(child, registry_));
        if (child.name() == QLatin1String(kDictionaryElement))
            return QMXMLValue(dictionaryFromElement(child, registry_));
        if (!factory_ || child.name() != className_) {
            factory_ = registry_.factory(child.name());
            if (!factory_)
                platform::Exception::raise(QStringLiteral("Invald Class Name"),
                                           QStringLiteral("Cannot determine class from node name %1"), child.name());
            className_ = child.name();
        }
        return (*factory_)(child, registry_);
    }

private:
    const QMXMLRegistry& registry_;
    QString className_;
    std::optional<QMXMLFactory> factory_;
};

} // namespace

QMXMLValue valueFromChild(const XmlElement& child, const QMXMLRegistry& registry)
{
    return ChildReader(registry).read(child);
}

QMXMLValue::Array arrayFromElement(const XmlElement& element, const QMXMLRegistry& registry)
{
    QMXMLValue::Array array;
    array.reserve(element.children().size());
    ChildReader reader(registry);
    for (const XmlElement& child : element.children())
        array.push_back(reader.read(child));
    return array;
}

QMXMLValue::Dictionary dictionaryFromElement(const XmlElement& element, const QMXMLRegistry& registry)
{
    QMXMLValue::Dictionary dictionary;
    dictionary.reserve(element.children().size());
    ChildReader reader(registry);
    for (const XmlElement& child : element.children()) {
        const std::optional<QString> key = child.findAttribute(QString::fromLatin1(kDictionaryKeyAttribute));
        if (!key)
            platform::Exception::raise(QStringLiteral("Missing Dictionary Key"),
                                       QStringLiteral("Cannot read dictionary entry %1 with no %2 attribute"),
                                       child.name(), QString::fromLatin1(kDictionaryKeyAttribute));
        dictionary.push_back({QMXMLValue(*key), reader.read(child)});
    }
    return dictionary;
}

QMXMLValue stringFromElement(const XmlElement& element)
{
    return QMXMLValue(element.text());
}

QMXMLValue numberFromElement(const XmlElement& element)
{
    return QMXMLValue(QMXMLNumber::fromElementText(element.text(),
                                                   element.findAttribute(QString::fromLatin1(kHintAttribute))));
}

QMXMLValue dateFromElement(const XmlElement& element)
{
    const QDateTime date = QMXMLDate::qmValueFromXMLStringValue(element.text());
    return date.isValid() ? QMXMLValue(date) : QMXMLValue();
}

QMXMLValue colorFromElement(const XmlElement& element)
{
    return QMXMLValue(NSColorStringTransformer::colorFromText(element.text()));
}

} // namespace QMXMLContainers
