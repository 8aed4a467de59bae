#pragma once
// The protocols of persisted model objects: writing themselves as an XML element named after
// their class, and the shallow (copy) and deep (duplicate) copies. Reading is a factory per
// class name held by QMXMLRegistry.

#include "platform/foundation/Xml.h"

#include <QString>
#include <memory>

class QMXMLSerializing {
public:
    virtual ~QMXMLSerializing() = default;
    // The object's element, named after its class.
    virtual platform::XmlElement qmXMLElement() const = 0;
    // The class name (the element name), for messages.
    virtual QString qmXMLClassName() const = 0;
};

// Shallow copy: a new object of the same class whose properties are those of the receiver
// (copyPropertiesFrom). Containers inside are new, the objects they hold are the same.
class QMCopying {
public:
    virtual ~QMCopying() = default;
    virtual std::shared_ptr<QMXMLSerializing> copyObject() const = 0;
};

// Deep copy: like copy, but held objects are duplicated in turn (duplicatePropertiesFrom).
class QMDuplicating {
public:
    virtual ~QMDuplicating() = default;
    virtual std::shared_ptr<QMXMLSerializing> duplicateObject() const = 0;
};
