#pragma once
// Lists and maps as "array" and "dictionary" elements, scalars as NSString / NSNumber / NSDate /
// NSColor elements, and the rules by which each item becomes a child and each child a value.
// Failures throw platform::Exception with the names the files have always used.

#include "app/serialization/QMXMLRegistry.h"
#include "app/serialization/QMXMLValue.h"
#include "platform/foundation/Xml.h"

#include <optional>

namespace QMXMLContainers {

// The element of a value that builds its own (object, list, map); nullopt for scalars and
// nothing.
std::optional<platform::XmlElement> qmXMLElement(const QMXMLValue& value);

platform::XmlElement arrayElement(const QMXMLValue::Array& array);
// Throws "Invalid Dictionary Key" for a key that is not a text.
platform::XmlElement dictionaryElement(const QMXMLValue::Dictionary& dictionary);

// The child for one item (item rule); nullopt when the item cannot be expressed (left out).
// key, when given, becomes the qmXMLDictionaryKey attribute.
std::optional<platform::XmlElement> childForItem(const QMXMLValue& item, const QString* key);

// Scalar parts of the item rule; nullopt when the value does not offer them.
std::optional<QString> qmXMLClassName(const QMXMLValue& value);
std::optional<QString> qmXMLStringValue(const QMXMLValue& value);
std::optional<QString> qmXMLHint(const QMXMLValue& value);

// Child rule: "array", "dictionary", or the class registered under the element name (throws
// "Invald Class Name" otherwise).
QMXMLValue valueFromChild(const platform::XmlElement& child, const QMXMLRegistry& registry);
QMXMLValue::Array arrayFromElement(const platform::XmlElement& element, const QMXMLRegistry& registry);
// Each child needs a qmXMLDictionaryKey attribute ("Missing Dictionary Key" otherwise).
QMXMLValue::Dictionary dictionaryFromElement(const platform::XmlElement& element,
                                             const QMXMLRegistry& registry);

// Scalar readers (the built-in factories of the registry).
QMXMLValue stringFromElement(const platform::XmlElement& element);
QMXMLValue numberFromElement(const platform::XmlElement& element); // strict about the hint
QMXMLValue dateFromElement(const platform::XmlElement& element);   // nothing when unreadable
QMXMLValue colorFromElement(const platform::XmlElement& element);

} // namespace QMXMLContainers
