#include "app/util/KLVUtilities.h"

#include "app/util/KLVDirectoryWalk.h"
#include "app/util/KLVFileReveal.h"
#include "comm/timecode/QMFrameSplit.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "resources/strings/KLVLocalized.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "app";

void collectImportable(const QString& path, KLVDirectoryWalk& walk, QStringList& out)
{
    if (!QFileInfo::exists(path)) {
        platform::log(kSubsystem, kCategory, platform::LogLevel::Default,
                      QStringLiteral("%1: skipping import: %2 does not exist")
                          .arg(QStringLiteral("+[KLVUtilities validFilesFromImport:]"), path));
        return;
    }
    // Trailing slashes do not hide the name ("/media/clips/" is "clips").
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return;
    if (KLVDirectoryWalk::isDirectory(path)) {
        if (!walk.enter(path))
            return; // already listed: a symbolic link leads back into the walk
        for (const QString& entry : KLVDirectoryWalk::entryNames(path))
            collectImportable(KLVDirectoryWalk::join(path, entry), walk, out);
        return;
    }
    if (KLVUtilities::movieFileTypes().contains(QFileInfo(path).suffix().toLower()))
        out.append(path);
}

void collectFiles(const QString& dir, KLVDirectoryWalk& walk, QStringList& out)
{
    const QString expanded = platform::stringByExpandingTildeInPath(dir);
    if (!walk.enter(expanded))
        return;
    for (const QString& name : KLVDirectoryWalk::entryNames(expanded)) {
        if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('~')))
            continue;
        const QString path = KLVDirectoryWalk::join(dir, name);
        if (KLVDirectoryWalk::isDirectory(platform::stringByExpandingTildeInPath(path)))
            collectFiles(path, walk, out);
        else
            out.append(path);
    }
}

} // namespace

QStringList KLVUtilities::movieFileTypes()
{
    return {QStringLiteral("mp4"), QStringLiteral("qt"),  QStringLiteral("m2v"), QStringLiteral("mpg"),
            QStringLiteral("m4v"), QStringLiteral("mpeg"), QStringLiteral("3gp"), QStringLiteral("mov"),
            QStringLiteral("dv"),  QStringLiteral("avi")};
}

QStringList KLVUtilities::imageFileTypes()
{
    return {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("gif"), QStringLiteral("png"),
            QStringLiteral("tiff")};
}

QStringList KLVUtilities::validFilesFromImport(const QVariantList& items)
{
    QStringList result;
    KLVDirectoryWalk walk;
    for (const QVariant& item : items) {
        QString path;
        if (item.metaType() == QMetaType::fromType<QUrl>()) {
            const QUrl url = item.toUrl();
            path = url.isLocalFile() ? url.toLocalFile() : url.path();
        } else if (item.metaType() == QMetaType::fromType<QString>()) {
            path = item.toString();
        } else {
            continue;
        }
        collectImportable(path, walk, result);
    }
    return result;
}

QStringList KLVUtilities::recursiveFileListForDirectory(const QString& dir)
{
    QStringList result;
    KLVDirectoryWalk walk;
    collectFiles(dir, walk, result);
    return result;
}

char* KLVUtilities::appendTwoDigits(char* out, std::uint64_t value)
{
    if (value < 10)
        *out++ = '0';
    return std::to_chars(out, out + 20, value).ptr;
}

namespace {

QString timeText(const QMFrameSplit& split)
{
    const std::uint64_t s = split.wholeSeconds;
    const std::uint64_t hours = s / 3600;
    // Written by hand rather than by snprintf: a document's cues format two of these each.
    char text[96];
    char* end = text;
    if (split.negative)
        *end++ = '-';
    end = KLVUtilities::appendTwoDigits(end, hours);
    *end++ = ':';
    end = KLVUtilities::appendTwoDigits(end, s / 60 - hours * 60);
    *end++ = ':';
    end = KLVUtilities::appendTwoDigits(end, s % 60);
    *end++ = ';';
    end = KLVUtilities::appendTwoDigits(end, split.frames);
    return QString::fromLatin1(text, end - text);
}

} // namespace

QString KLVUtilities::formatCurrentTime(double seconds, double fps)
{
    return timeText(qmSplitSeconds(seconds, fps));
}

QString KLVUtilities::formatLength(double seconds, double fps)
{
    return timeText(qmSplitLength(seconds, fps));
}

QRectF KLVUtilities::centerAndScaleSize(QSizeF size, QRectF rect)
{
    const double w = size.width(), h = size.height();
    double x = rect.x(), y = rect.y(), W = rect.width(), H = rect.height();
    if (w > 0.0 && h > 0.0 && W > 0.0 && H > 0.0) {
        if (H / W > h / w) {
            const float d = float(H - W * h / w);
            H -= d;
            y += d / 2.0;
        } else {
            const float d = float(W - H * w / h);
            W -= d;
            x += d / 2.0;
        }
    }
    // Outward to whole units, as the drawing code expects.
    const double left = std::floor(x), top = std::floor(y);
    const double right = std::ceil(x + W), bottom = std::ceil(y + H);
    return QRectF(left, top, right - left, bottom - top);
}

void KLVUtilities::selectFileInFinder(const QList<QUrl>& urls)
{
    KLVFileReveal::selectFiles(urls);
}

QString KLVUtilities::localized(const char* key, const QString& fallback)
{
    const QString text = KLVLocalized::text(key);
    return text == QLatin1String(key) ? fallback : text;
}
