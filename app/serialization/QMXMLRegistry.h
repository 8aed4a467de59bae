#pragma once
// Element name -> reader of that class. The shared registry knows the scalar classes
// ("NSString", "NSNumber", "NSDate", "NSColor"); the document registers its model classes
// explicitly at start-up (KLVDocumentClasses::registerClasses).

#include "app/serialization/QMXMLValue.h"
#include "platform/foundation/Xml.h"

#include <QHash>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>

class QMXMLRegistry;

// Builds a value from an element; containers inside it are read through the registry given.
using QMXMLFactory = std::function<QMXMLValue(const platform::XmlElement&, const QMXMLRegistry&)>;

class QMXMLRegistry {
public:
    // With the scalar classes registered.
    QMXMLRegistry();

    // The registry of the application (created with the scalar classes on first use).
    static QMXMLRegistry& shared();

    // Adds or replaces the reader for an element name. Thread-safe.
    void registerClass(const QString& elementName, QMXMLFactory factory);
    bool isRegistered(const QString& elementName) const;
    std::optional<QMXMLFactory> factory(const QString& elementName) const;

private:
    mutable std::mutex mutex_;
    QHash<QString, QMXMLFactory> factories_;
};
