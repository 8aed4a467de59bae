#include "app/serialization/QMXMLDocument.h"

#include "app/serialization/QMXMLContainers.h"
#include "platform/foundation/Exception.h"

namespace QMXMLDocument {

namespace {

platform::XmlElement rootElement(const QMXMLValue& value)
{
    std::optional<platform::XmlElement> root = QMXMLContainers::qmXMLElement(value);
    if (!root)
        platform::Exception::raise(QStringLiteral("Invalid Root Object"),
                                   QStringLiteral("Cannot write a document whose root is of class %1"),
                                   value.className());
    return std::move(*root);
}

} // namespace

platform::XmlWriteOptions writeOptions()
{
    platform::XmlWriteOptions options;
    options.pretty = true;
    options.indent = 4;
    options.declaration = true;
    return options;
}

QByteArray serialize(const QMXMLValue& value)
{
    return platform::writeXml(rootElement(value), writeOptions());
}

bool writeFile(const QMXMLValue& value, const QString& path, platform::Error* error)
{
    return platform::writeXmlFile(path, rootElement(value), writeOptions(), error);
}

QMXMLValue valueFromRootElement(const platform::XmlElement& root, const QMXMLRegistry& registry)
{
    return QMXMLContainers::valueFromChild(root, registry);
}

QMXMLValue deserialize(const QByteArray& data, const QMXMLRegistry& registry)
{
    return valueFromRootElement(platform::parseXml(data), registry);
}

QMXMLValue readFile(const QString& path, const QMXMLRegistry& registry)
{
    return valueFromRootElement(platform::parseXmlFile(path), registry);
}

} // namespace QMXMLDocument
