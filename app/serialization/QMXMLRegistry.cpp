#include "app/serialization/QMXMLRegistry.h"

#include "app/serialization/QMXMLContainers.h"
#include "app/serialization/QMXMLNames.h"

QMXMLRegistry::QMXMLRegistry()
{
    using namespace QMXMLNames;
    factories_.insert(QString::fromLatin1(kStringElement),
                      [](const platform::XmlElement& e, const QMXMLRegistry&) { return QMXMLContainers::stringFromElement(e); });
    factories_.insert(QString::fromLatin1(kNumberElement),
                      [](const platform::XmlElement& e, const QMXMLRegistry&) { return QMXMLContainers::numberFromElement(e); });
    factories_.insert(QString::fromLatin1(kDateElement),
                      [](const platform::XmlElement& e, const QMXMLRegistry&) { return QMXMLContainers::dateFromElement(e); });
    factories_.insert(QString::fromLatin1(kColorElement),
                      [](const platform::XmlElement& e, const QMXMLRegistry&) { return QMXMLContainers::colorFromElement(e); });
}

QMXMLRegistry& QMXMLRegistry::shared()
{
    static QMXMLRegistry registry;
    return registry;
}

void QMXMLRegistry::registerClass(const QString& elementName, QMXMLFactory factory)
{
    std::lock_guard lock(mutex_);
    factories_.insert(elementName, std::move(factory));
}

bool QMXMLRegistry::isRegistered(const QString& elementName) const
{
    std::lock_guard lock(mutex_);
    return factories_.contains(elementName);
}

std::optional<QMXMLFactory> QMXMLRegistry::factory(const QString& elementName) const
{
    std::lock_guard lock(mutex_);
    auto it = factories_.constFind(elementName);
    if (it == factories_.constEnd())
        return std::nullopt;
    return *it;
}
