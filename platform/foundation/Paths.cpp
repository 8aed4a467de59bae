#include "platform/foundation/Paths.h"

#include <QDir>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

QString madeFolder(const QString& path)
{
    QDir().mkpath(path);
    return QDir::cleanPath(path);
}

// Home folder of a named user, or a null QString when unknown.
QString homeOfUser(const QString& user)
{
    const QByteArray name = user.toLocal8Bit();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    passwd entry {};
    passwd* result = nullptr;
    if (getpwnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result
        || !result->pw_dir)
        return {};
    return QDir::cleanPath(QString::fromLocal8Bit(result->pw_dir));
}

} // namespace

QString applicationDataFolder()
{
    return madeFolder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/')
                      + QLatin1String(kOrganizationFolder) + QLatin1Char('/') + QLatin1String(kApplicationFolder));
}

QString applicationDataFolder(const QString& subfolder)
{
    return madeFolder(applicationDataFolder() + QLatin1Char('/') + subfolder);
}

QString configFolder()
{
    return madeFolder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
                      + QLatin1String(kOrganizationFolder));
}

QString homeFolder() { return QDir::cleanPath(QDir::homePath()); }

QString stringByExpandingTildeInPath(const QString& path)
{
    if (!path.startsWith(QLatin1Char('~')))
        return path;
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString user = path.mid(1, slash < 0 ? -1 : slash - 1);
    const QString home = user.isEmpty() ? homeFolder() : homeOfUser(user);
    if (home.isEmpty())
        return path;
    if (slash < 0)
        return home;
    const QString rest = path.mid(slash); // starts with '/'
    return home == QLatin1String("/") ? rest : home + rest;
}

QString stringByAbbreviatingWithTildeInPath(const QString& path)
{
    const QString home = homeFolder();
    if (home.isEmpty() || home == QLatin1String("/"))
        return path;
    if (path == home || path == home + QLatin1Char('/'))
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

} // namespace platform
