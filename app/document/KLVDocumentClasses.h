#pragma once
// The model classes in the serialization registry, and the reading steps the model elements
// share.

#include "app/serialization/QMXMLContainers.h"
#include "app/serialization/QMXMLNames.h"
#include "app/serialization/QMXMLRegistry.h"
#include "app/serialization/QMXMLValue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Xml.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace KLVDocumentClasses {

inline constexpr const char* kLogSubsystem = "com.quenmark.kalvanto";
inline constexpr const char* kLogCategory = "document";

// Registers "KLVPlaylist", "KLVChannel" and "KLVPlaylistNode". Called once at start-up (and by
// tests); calling it again changes nothing.
void registerClasses(QMXMLRegistry& registry = QMXMLRegistry::shared());

// The child's qmXMLIvarName; a child without one throws "Missing ivarName".
QString requireIvarName(const platform::XmlElement& child);

// Counts, while it lives, what reading on this thread leaves out (items of another class, a list
// of the wrong kind), so that whoever reads a file can keep the original before anything is
// saved over it. Scopes nest: an inner one's count is added to the outer one's.
class ReadLosses {
public:
    ReadLosses();
    ~ReadLosses();
    ReadLosses(const ReadLosses&) = delete;
    ReadLosses& operator=(const ReadLosses&) = delete;

    int count() const { return count_; }
    // One thing left out, in the innermost scope of this thread (nothing without one).
    static void note();

private:
    ReadLosses* outer_;
    int count_ = 0;
};

// The objects of class T in a list read from the file. Items of another class are skipped
// with a log line naming the list.
template <class T>
std::vector<std::shared_ptr<T>> objectsOfClass(const QMXMLValue::Array& items, const QString& listName)
{
    std::vector<std::shared_ptr<T>> result;
    result.reserve(items.size());
    for (const QMXMLValue& item : items) {
        if (auto object = item.objectAs<T>()) {
            result.push_back(std::move(object));
            continue;
        }
        platform::log(kLogSubsystem, kLogCategory, platform::LogLevel::Error,
                      QStringLiteral("Skipping %1 in %2: not a %3")
                          .arg(item.className(), listName, QString::fromLatin1(T::kClassName)));
        ReadLosses::note();
    }
    return result;
}

// The list a model element holds under ivarName ("playlistChannels", "playlistItems"): the
// objects of class T read from that child (the last one when there are several); nullopt when
// there is none. Every child must carry a qmXMLIvarName; children with other names are skipped.
template <class T>
std::optional<std::vector<std::shared_ptr<T>>> namedList(const platform::XmlElement& element,
                                                         const QString& ivarName, const QMXMLRegistry& registry)
{
    std::optional<std::vector<std::shared_ptr<T>>> result;
    for (const platform::XmlElement& child : element.children()) {
        if (requireIvarName(child) != ivarName)
            continue;
        if (child.name() != QLatin1String(QMXMLNames::kArrayElement)) {
            platform::log(kLogSubsystem, kLogCategory, platform::LogLevel::Error,
                          QStringLiteral("%1 is a %2, not a list").arg(ivarName, child.name()));
            ReadLosses::note();
        }
        result = objectsOfClass<T>(QMXMLContainers::arrayFromElement(child, registry), ivarName);
    }
    return result;
}

} // namespace KLVDocumentClasses
