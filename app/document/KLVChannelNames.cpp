// Unique cue names within a channel, and the 8-character names that deck control asks for.

#include "app/document/KLVChannel.h"

#include "app/document/KLVDocumentClasses.h"
#include "app/document/KLVDocumentKeys.h"
#include "platform/foundation/StringValue.h"
#include "platform/foundation/UserDefaults.h"

#include <QHash>

#include <limits>

namespace {

constexpr qsizetype kShortNameLength = 8;

// The first n characters, without cutting a surrogate pair in two.
QString leftCharacters(const QString& s, qsizetype n)
{
    if (s.size() <= n)
        return s;
    if (n > 0 && s[n - 1].isHighSurrogate())
        --n;
    return s.left(n);
}

QString nextLongName(const QString& name)
{
    const qsizetype underscore = name.lastIndexOf(QLatin1Char('_'));
    if (underscore < 0)
        return name + QStringLiteral("_1");
    const std::int64_t value = platform::integerValue(QStringView(name).mid(underscore + 1));
    if (value == 0 || value == std::numeric_limits<std::int64_t>::max())
        return name + QStringLiteral("_1");
    return name.left(underscore + 1) + QString::number(value + 1);
}

QString nextShortName(const QString& name)
{
    if (name.size() > kShortNameLength)
        return leftCharacters(name, kShortNameLength);
    qsizetype digitsStart = name.size();
    while (digitsStart > 0 && name[digitsStart - 1] >= QLatin1Char('0') && name[digitsStart - 1] <= QLatin1Char('9'))
        --digitsStart;
    const qsizetype digitCount = name.size() - digitsStart;
    if (digitCount > 0) {
        // At most 8 digits: the sum cannot overflow.
        const QString next = QString::number(name.mid(digitsStart).toLongLong() + 1);
        if (digitsStart + next.size() <= kShortNameLength)
            return name.left(digitsStart) + next;
        if (next.size() > name.size())
            return name; // "99999999": no 8-character successor
        return name.left(name.size() - next.size()) + next;
    }
    if (name.size() < kShortNameLength)
        return name + QLatin1Char('1');
    return name.left(kShortNameLength - 1) + QLatin1Char('1');
}

} // namespace

QString KLVChannel::uniquifyName(const QString& name, bool use8CharNames)
{
    return use8CharNames ? nextShortName(name) : nextLongName(name);
}

QString KLVChannel::uniquifyName(const QString& name) const
{
    return uniquifyName(name, use8CharNames());
}

bool KLVChannel::use8CharNames()
{
    return platform::UserDefaults::sharedDefaults().boolForKey(
        QString::fromLatin1(KLVDocumentKeys::kUse8CharNamesDefault));
}

bool KLVChannel::enforce8CharNames()
{
    const bool shortNames = use8CharNames();
    QHash<QString, NodePtr> seen;
    bool renamed = false;
    for (const NodePtr& node : playlistItems()) {
        const Text current = node->plnName();
        if (!current)
            continue; // a cue without a name takes no name from the others
        QString name = *current;
        if (shortNames && name.size() > kShortNameLength)
            name = leftCharacters(name, kShortNameLength);
        // Each candidate is new (its number only grows), so one more try than there are names
        // always finds a free one when there is one.
        for (qsizetype tries = 0; seen.contains(name); ++tries) {
            const QString candidate = uniquifyName(name, shortNames);
            if (candidate == name || tries > seen.size()) {
                platform::log(KLVDocumentClasses::kLogSubsystem, KLVDocumentClasses::kLogCategory,
                              platform::LogLevel::Error,
                              QStringLiteral("something went wrong, failed to create unique name from %1").arg(name));
                break;
            }
            name = candidate;
        }
        if (name != *current) {
            node->setPlnName(name);
            renamed = true;
        }
        seen.insert(name, node);
    }
    return renamed;
}
