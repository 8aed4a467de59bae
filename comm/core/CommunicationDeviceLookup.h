#pragma once
// The numeric parser types that the application and the saved configuration use, mapped to
// parser classes (found by name in the parser class registry).
#include <QList>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <limits>

class QMProtocolParserClass;

class CommunicationDeviceLookup {
public:
    static constexpr std::uint64_t kTypeCount = 22;
    static constexpr std::int64_t kNotFound = std::numeric_limits<std::int64_t>::max();

    // The same value when it names a type, else kNotFound.
    static std::int64_t typeForRawValue(std::uint64_t value);
    // The table's class name for a type (empty above 21).
    static QString classNameForCommunicationType(std::uint64_t type);
    // The registered class of a type, or null (above 21, or not registered).
    static const QMProtocolParserClass* classForCommunicationType(std::uint64_t type);
    // For each number in order: its class when the type exists and its class is registered.
    static QList<const QMProtocolParserClass*> classesForRawTypes(const QVariantList& types);
    // The parser class a saved device element names: a registered class, or the class of the type
    // a former name stood for.
    static const QMProtocolParserClass* classForSavedName(const QString& name);
};
