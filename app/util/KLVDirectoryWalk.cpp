#include "app/util/KLVDirectoryWalk.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

bool KLVDirectoryWalk::enter(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return entered_.emplace(std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)).second;
}

QStringList KLVDirectoryWalk::entryNames(const QString& path)
{
    QDir dir(path);
    if (!dir.exists())
        return {};
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDir::Name);
}

bool KLVDirectoryWalk::isDirectory(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString KLVDirectoryWalk::join(const QString& path, const QString& name)
{
    if (path.endsWith(QLatin1Char('/')))
        return path + name;
    return path + QLatin1Char('/') + name;
}
