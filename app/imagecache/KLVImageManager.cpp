#include "app/imagecache/KLVImageManager.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "app";

// The folder's path without creating it: looking a picture up happens for every cue read and
// must not cost folder creation each time.
QString dataSubfolderPath(const char* subfolder)
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/')
                           + QLatin1String(platform::kOrganizationFolder) + QLatin1Char('/')
                           + QLatin1String(platform::kApplicationFolder) + QLatin1Char('/')
                           + QLatin1String(subfolder));
}

bool usableUUID(const std::optional<QString>& uuid)
{
    return uuid && !uuid->isEmpty() && !uuid->contains(QLatin1Char('/')) && !uuid->contains(QChar(0));
}

QString pathIn(const char* folderName, const std::optional<QString>& uuid, const char* suffix)
{
    if (!usableUUID(uuid))
        return QString();
    return dataSubfolderPath(folderName) + QStringLiteral("/%1%2").arg(*uuid, QString::fromLatin1(suffix));
}

bool existsWithPath(const QString& path, const std::optional<QString>& uuid, QString* out)
{
    if (!uuid)
        return false;
    if (out)
        *out = path;
    return !path.isEmpty() && QFileInfo::exists(path);
}

void removeFile(const QString& path, const char* what, const QString& nodeName)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        platform::log(kSubsystem, kCategory, platform::LogLevel::Error,
                      QStringLiteral("Error removing %1 for node %2 \n%3")
                          .arg(QString::fromLatin1(what), nodeName,
                               QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral(": ") + path));
    }
}

} // namespace

QString KLVImageManager::slateImageFolder()
{
    return platform::applicationDataFolder(QString::fromLatin1(kSlateFolderName));
}

QString KLVImageManager::thumbnailFolder()
{
    return platform::applicationDataFolder(QString::fromLatin1(kThumbnailFolderName));
}

QString KLVImageManager::slateImagePathForUUID(const std::optional<QString>& uuid)
{
    return pathIn(kSlateFolderName, uuid, kSlateSuffix);
}

QString KLVImageManager::thumbnailImagePathForUUID(const std::optional<QString>& uuid)
{
    return pathIn(kThumbnailFolderName, uuid, kThumbnailSuffix);
}

bool KLVImageManager::slateImageExistsForPlaylistNodeUUID(const std::optional<QString>& uuid, QString* slatePath)
{
    return existsWithPath(slateImagePathForUUID(uuid), uuid, slatePath);
}

bool KLVImageManager::thumbnailImageExistsForPlaylistNodeUUID(const std::optional<QString>& uuid,
                                                              QString* thumbPath)
{
    return existsWithPath(thumbnailImagePathForUUID(uuid), uuid, thumbPath);
}

void KLVImageManager::removeSlateForUUID(const std::optional<QString>& uuid, const QString& nodeName)
{
    removeFile(slateImagePathForUUID(uuid), "slate", nodeName);
}

void KLVImageManager::removeThumbnailForUUID(const std::optional<QString>& uuid, const QString& nodeName)
{
    removeFile(thumbnailImagePathForUUID(uuid), "thumbnail", nodeName);
}
