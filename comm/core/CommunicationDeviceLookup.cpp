#include "comm/core/CommunicationDeviceLookup.h"

#include "comm/core/QMProtocolParser.h"

namespace {

constexpr const char* kParserClassNames[CommunicationDeviceLookup::kTypeCount] = {
    "QMProtocolParserAllAmerican8000", // 0
    "QMProtocolParserAMP",             // 1
    "QMProtocolParserCITP",            // 2
    "QMProtocolParserDaktronicsTV",    // 3
    "QMProtocolParserDMX",             // 4
    "QMProtocolParserElectorMech",     // 5
    "QMProtocolParserEversan",         // 6
    "QMProtocolParserFairPlayMP70",    // 7
    "QMProtocolParserGlobalCache",     // 8
    "QMProtocolParserGVG100",          // 9
    "QMProtocolParserGlobalCache",     // 10: the relay unit of type 8 under its model name
    "QMProtocolParserJugs",            // 11
    "QMProtocolParserMIDI",            // 12
    "QMProtocolParserNumatoGPIO",      // 13
    "QMProtocolParserOES",             // 14
    "QMProtocolParserRossTalk",        // 15
    "QMProtocolParserScorebot",        // 16
    "QMProtocolParserSonyBVS",         // 17
    "QMProtocolParserSonyBVW",         // 18
    "QMProtocolParserStalker",         // 19
    "QMProtocolParserStatCrew",        // 20
    "QMProtocolParserVDCP",            // 21
};

// Names a type's parser had in saved device files before it took its class's name.
struct FormerName {
    const char* name;
    std::uint64_t type;
};
constexpr FormerName kFormerClassNames[] = {
    {"QMProtocolParserITach", 10},
};

} // namespace

const QMProtocolParserClass* CommunicationDeviceLookup::classForSavedName(const QString& name)
{
    if (const QMProtocolParserClass* c = QMProtocolParserClass::classNamed(name))
        return c;
    for (const FormerName& former : kFormerClassNames) {
        if (name == QLatin1String(former.name))
            return classForCommunicationType(former.type);
    }
    return nullptr;
}

std::int64_t CommunicationDeviceLookup::typeForRawValue(std::uint64_t value)
{
    return value < kTypeCount ? std::int64_t(value) : kNotFound;
}

QString CommunicationDeviceLookup::classNameForCommunicationType(std::uint64_t type)
{
    return type < kTypeCount ? QString::fromLatin1(kParserClassNames[type]) : QString();
}

const QMProtocolParserClass* CommunicationDeviceLookup::classForCommunicationType(std::uint64_t type)
{
    if (type >= kTypeCount)
        return nullptr;
    return QMProtocolParserClass::classNamed(classNameForCommunicationType(type));
}

QList<const QMProtocolParserClass*> CommunicationDeviceLookup::classesForRawTypes(const QVariantList& types)
{
    QList<const QMProtocolParserClass*> classes;
    for (const QVariant& number : types) {
        const std::int64_t type = typeForRawValue(number.toULongLong());
        if (type == kNotFound)
            continue;
        if (const QMProtocolParserClass* c = classForCommunicationType(std::uint64_t(type)))
            classes.append(c);
    }
    return classes;
}
