#pragma once
// Attribute builders of the model elements and the rectangle text.

#include "app/serialization/QMXMLValue.h"
#include "platform/foundation/Xml.h"

#include <QRectF>
#include <QString>
#include <cstdint>

namespace QMXMLAttributes {

using Attribute = platform::XmlElement::Attribute;

Attribute qmAttributeWithNameIntegerValue(const QString& name, std::int64_t value); // "%ld"
Attribute qmAttributeWithNameFloatValue(const QString& name, float value);          // "%f"
Attribute qmAttributeWithNameDoubleValue(const QString& name, double value);        // "%f"
Attribute qmAttributeWithNameBoolValue(const QString& name, bool value);            // "YES"/"NO"
Attribute qmAttributeWithNameColorValue(const QString& name, const QMColor& value); // colour text

// "{{x, y}, {w, h}}" with shortest doubles ("{{0, 12.5}, {1920, 1080}}").
QString qmStringFromRect(const QRectF& rect);
// Lenient: the first four numbers of the text, in the order x, y, width, height; missing
// numbers are 0.
QRectF qmRectFromString(const QString& text);

// Appends an attribute to an element (attributes keep the order they are added in).
inline void add(platform::XmlElement& element, const Attribute& attribute)
{
    element.setAttribute(attribute.first, attribute.second);
}

} // namespace QMXMLAttributes
