#include "app/imagecache/KLVImageManager.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
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
    return dataSubfolderPath(folderName) + QLatin1Char('/') + *uuid + QLatin1String(suffix);
}

// The UUIDs with a picture in one cache folder, read once.
struct FolderListing {
    QSet<QString> uuids;

    FolderListing(const char* folderName, const char* suffix)
    {
        DIR* dir = ::opendir(QFile::encodeName(dataSubfolderPath(folderName)).constData());
        if (!dir)
            return; // no folder yet: nothing is cached
        const std::size_t suffixLength = std::strlen(suffix);
        while (const dirent* entry = ::readdir(dir)) {
            const std::size_t length = std::strlen(entry->d_name);
            if (length > suffixLength && std::strcmp(entry->d_name + length - suffixLength, suffix) == 0)
                uuids.insert(QFile::decodeName(QByteArray(entry->d_name, qsizetype(length - suffixLength))));
        }
        ::closedir(dir);
    }
};

struct Listing {
    std::unique_ptr<FolderListing> slates;
    std::unique_ptr<FolderListing> thumbnails;

    const FolderListing& folder(const char* folderName, const char* suffix)
    {
        std::unique_ptr<FolderListing>& slot =
            std::strcmp(folderName, KLVImageManager::kSlateFolderName) == 0 ? slates : thumbnails;
        if (!slot)
            slot = std::make_unique<FolderListing>(folderName, suffix);
        return *slot;
    }
};

thread_local Listing* currentListing = nullptr;

bool existsWithPath(const char* folderName, const char* suffix, const std::optional<QString>& uuid, QString* out)
{
    if (!uuid)
        return false;
    if (!usableUUID(uuid)) {
        if (out)
            *out = QString();
        return false;
    }
    if (currentListing) {
        if (out)
            *out = pathIn(folderName, uuid, suffix);
        return currentListing->folder(folderName, suffix).uuids.contains(*uuid);
    }
    const QString path = pathIn(folderName, uuid, suffix);
    if (out)
        *out = path;
    return QFileInfo::exists(path);
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
    return existsWithPath(kSlateFolderName, kSlateSuffix, uuid, slatePath);
}

bool KLVImageManager::thumbnailImageExistsForPlaylistNodeUUID(const std::optional<QString>& uuid,
                                                              QString* thumbPath)
{
    return existsWithPath(kThumbnailFolderName, kThumbnailSuffix, uuid, thumbPath);
}

void KLVImageManager::removeSlateForUUID(const std::optional<QString>& uuid, const QString& nodeName)
{
    removeFile(slateImagePathForUUID(uuid), "slate", nodeName);
}

void KLVImageManager::removeThumbnailForUUID(const std::optional<QString>& uuid, const QString& nodeName)
{
    removeFile(thumbnailImagePathForUUID(uuid), "thumbnail", nodeName);
}

KLVImageManager::ListingScope::ListingScope() : outermost_(currentListing == nullptr)
{
    if (outermost_)
        currentListing = new Listing;
}

KLVImageManager::ListingScope::~ListingScope()
{
    if (outermost_) {
        delete currentListing;
        currentListing = nullptr;
    }
}
