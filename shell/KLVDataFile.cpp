#include "shell/KLVDataFile.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVDocumentClasses.h"
#include "app/ports/KLVPrompter.h"
#include "app/serialization/QMXMLDocument.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "shell/KLVLocalized.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "document";

void logError(const QString& text)
{
    platform::log(kSubsystem, kCategory, platform::LogLevel::Error, text);
}

QString describe(const std::exception& e)
{
    if (auto* named = dynamic_cast<const platform::Exception*>(&e))
        return named->name() + QStringLiteral(": ") + named->reason();
    return QString::fromUtf8(e.what());
}

} // namespace

KLVDataFile::KLVDataFile(KLVPrompter& prompter, int channelCount)
    : prompter_(prompter), channelCount_(channelCount)
{
}

QString KLVDataFile::dataFilePath()
{
    auto& defaults = platform::UserDefaults::sharedDefaults();
    const QString key = QString::fromLatin1(KLVDefaultsKeys::kDataFile);
    QString stored = defaults.stringForKey(key);
    if (stored.isEmpty()) {
        stored = QString::fromLatin1(KLVDefaultsKeys::kDataFileDefault);
        defaults.setObject(stored, key);
    }
    return QDir::cleanPath(platform::stringByExpandingTildeInPath(stored));
}

void KLVDataFile::setDataFilePath(const QString& path)
{
    platform::UserDefaults::sharedDefaults().setObject(
        platform::stringByAbbreviatingWithTildeInPath(QDir::cleanPath(path)),
        QString::fromLatin1(KLVDefaultsKeys::kDataFile));
}

KLVDataFile::PlaylistPtr KLVDataFile::deserializedLocalFile(const QString& path, int* dropped)
{
    QMXMLValue value;
    const KLVDocumentClasses::ReadLosses losses;
    try {
        value = QMXMLDocument::readFile(path);
    } catch (const platform::Exception& e) {
        if (e.name() != QLatin1String(platform::kXmlParseException) && e.name() != QLatin1String(platform::kFileException))
            throw; // the model's own complaint says more than a generic one
        platform::Exception::raise(QString::fromLatin1(kOpenFailed), QStringLiteral("Failed to open file at url: %1"), path);
    }
    // Only a document may become the document: a list, a map or another class would be taken
    // for one and fail at the first channel lookup.
    if (auto playlist = value.objectAs<KLVPlaylist>()) {
        if (dropped)
            *dropped = losses.count();
        return playlist;
    }
    platform::Exception::raise(QString::fromLatin1(kParseFailed), QStringLiteral("unable to parse xml at %1"), path);
}

void KLVDataFile::serialize(const KLVPlaylist& playlist, const QString& path, bool prettyPrinted)
{
    platform::XmlWriteOptions options = QMXMLDocument::writeOptions();
    options.pretty = prettyPrinted;
    platform::Error error;
    if (!platform::writeXmlFile(path, playlist.qmXMLElement(), options, &error))
        platform::Exception::raise(QString::fromLatin1(kWriteFailed), QStringLiteral("Failed to write file at url: %1 (%2)"),
                                   path, error.description);
}

namespace {

// "<path>.<tag>-<yyyyMMdd-HHmmss>", with "-2", "-3"... when taken.
QString freeSiblingName(const QString& path, const char* tag)
{
    const QString stem = path + QLatin1Char('.') + QLatin1String(tag) + QLatin1Char('-')
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = stem;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + QLatin1Char('-') + QString::number(n);
    return target;
}

} // namespace

QString KLVDataFile::keepAside(const QString& path)
{
    const QString target = freeSiblingName(path, "unreadable");
    if (!QFile::rename(path, target))
        return {};
    return target;
}

QString KLVDataFile::keepOriginal(const QString& path)
{
    const QString target = freeSiblingName(path, "original");
    if (!QFile::copy(path, target))
        return {};
    return target;
}

void KLVDataFile::keepOriginalOfPartialRead(const QString& path)
{
    const QString kept = keepOriginal(path);
    if (kept.isEmpty()) {
        savingBlocked_ = true;
        logError(QStringLiteral("could not keep a copy of the partly read data file %1; it is not saved over").arg(path));
        alert(KLVLocalized::text("QM_DATA_FILE_UNREADABLE"), path);
        return;
    }
    logError(QStringLiteral("items of %1 could not be read; the file as it was is kept as %2").arg(path, kept));
    alert(KLVLocalized::text("QM_DATA_FILE_ORIGINAL_KEPT"), kept);
}

KLVDataFile::PlaylistPtr KLVDataFile::playlistData()
{
    if (!playlist_)
        playlist_ = loadAtLaunch();
    return playlist_;
}

KLVDataFile::PlaylistPtr KLVDataFile::loadAtLaunch()
{
    const QString path = dataFilePath();
    if (!QFileInfo::exists(path))
        return KLVPlaylist::createForNumberOfOutputs(4);
    try {
        int dropped = 0;
        PlaylistPtr playlist = deserializedLocalFile(path, &dropped);
        if (dropped > 0)
            keepOriginalOfPartialRead(path);
        return playlist;
    } catch (const std::exception& e) {
        logError(QStringLiteral("failed to deserialize workspace file: %1").arg(describe(e)));
    }
    const QString aside = keepAside(path);
    if (aside.isEmpty()) {
        savingBlocked_ = true;
        logError(QStringLiteral("could not move the unreadable data file %1 aside; it is not saved over").arg(path));
        alert(KLVLocalized::text("QM_DATA_FILE_UNREADABLE"), path);
    } else {
        logError(QStringLiteral("unreadable data file kept as %1").arg(aside));
        alert(KLVLocalized::text("QM_DATA_FILE_KEPT_ASIDE"), aside);
    }
    return KLVPlaylist::createForNumberOfOutputs(4);
}

std::shared_ptr<KLVChannel> KLVDataFile::playlistDataForChannelNumber(long number)
{
    return playlistData()->channelForChannelNumber(number, true);
}

bool KLVDataFile::saveLocalData()
{
    const QString path = dataFilePath();
    QString failure;
    if (savingBlocked_) {
        failure = QStringLiteral("an unreadable file is in the way");
    } else {
        try {
            serialize(*playlistData(), path);
        } catch (const platform::Exception& e) {
            failure = describe(e);
        }
    }
    if (failure.isEmpty()) {
        lastSaveFailed_ = false;
        return true;
    }
    logError(QStringLiteral("saving the data file %1 failed: %2").arg(path, failure));
    // Marked before the alert: saves asked for while it is up (replies of an import arriving
    // under the modal loop) must not raise it again.
    const bool firstFailure = !lastSaveFailed_;
    lastSaveFailed_ = true;
    if (firstFailure)
        alert(KLVLocalized::text("QM_DATA_FILE_SAVE_FAILED"), path);
    return false;
}

bool KLVDataFile::openFileAtURL(const QString& path)
{
    // Before anything has read the data file (a document named at start) there is nothing to
    // save, and the data file is neither read nor written for it.
    if (playlist_)
        saveLocalData();
    PlaylistPtr opened;
    int dropped = 0;
    try {
        opened = deserializedLocalFile(path, &dropped);
    } catch (const std::exception& e) {
        logError(QStringLiteral("could not open %1: %2").arg(path, describe(e)));
        alert(KLVLocalized::text("QM_DATA_FILE_OPEN_FAILED"), path);
        return false;
    }
    setDataFilePath(path);
    playlist_ = std::move(opened);
    savingBlocked_ = false;
    lastSaveFailed_ = false;
    if (dropped > 0)
        keepOriginalOfPartialRead(path);
    return true;
}

bool KLVDataFile::newFile(const QString& path)
{
    saveLocalData();
    PlaylistPtr fresh = KLVPlaylist::createForNumberOfOutputs(channelCount_);
    try {
        serialize(*fresh, path, false);
    } catch (const platform::Exception& e) {
        logError(QStringLiteral("could not make %1: %2").arg(path, describe(e)));
        alert(KLVLocalized::text("QM_DATA_FILE_SAVE_FAILED"), path);
        return false;
    }
    // The new document is the one just written: it is not read back, and the old one is not
    // saved again (which would overwrite it when both share a path).
    setDataFilePath(path);
    playlist_ = std::move(fresh);
    savingBlocked_ = false;
    lastSaveFailed_ = false;
    return true;
}

void KLVDataFile::alert(const QString& message, const QString& detail)
{
    KLVAlert a;
    a.messageText = message;
    a.informativeText = detail;
    a.buttons = {KLVLocalized::text("QM_OK")};
    prompter_.runModal(a);
}
