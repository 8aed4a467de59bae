#pragma once
// Whole files: the root element is the element of the object written; reading dispatches on
// the root element's name ("array", "dictionary", or a registered class).

#include "app/serialization/QMXMLRegistry.h"
#include "app/serialization/QMXMLValue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Xml.h"

#include <QByteArray>
#include <QString>

namespace QMXMLDocument {

// How documents are laid out: one element per line, four spaces per level, XML declaration.
platform::XmlWriteOptions writeOptions();

// The bytes of a document holding value (an object, list or map); anything else throws
// "Invalid Root Object".
QByteArray serialize(const QMXMLValue& value);
// Writes atomically. False with error when the file cannot be written; throws like serialize.
bool writeFile(const QMXMLValue& value, const QString& path, platform::Error* error = nullptr);

// Reads a document; malformed XML throws platform::kXmlParseException, a root that names no
// registered class throws "Invald Class Name", model errors throw their own exceptions.
QMXMLValue deserialize(const QByteArray& data, const QMXMLRegistry& registry = QMXMLRegistry::shared());
QMXMLValue readFile(const QString& path, const QMXMLRegistry& registry = QMXMLRegistry::shared());
QMXMLValue valueFromRootElement(const platform::XmlElement& root, const QMXMLRegistry& registry);

} // namespace QMXMLDocument
