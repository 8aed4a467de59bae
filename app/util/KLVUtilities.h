#pragma once
// Stateless helpers shared by the application: which files can be imported, directory listings,
// the time text of the interface, aspect fitting and revealing files in the file browser.

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>

#include <cstdint>

class KLVUtilities {
public:
    KLVUtilities() = delete;

    // "mp4", "qt", "m2v", "mpg", "m4v", "mpeg", "3gp", "mov", "dv", "avi".
    static QStringList movieFileTypes();
    // "jpg", "jpeg", "gif", "png", "tiff".
    static QStringList imageFileTypes();

    // Paths of the importable (movie) files among items, which may be QUrl or QString paths
    // (anything else is skipped); folders are searched depth first, hidden names skipped. A
    // folder reached a second time (a symbolic-link loop) is not listed again.
    static QStringList validFilesFromImport(const QVariantList& items);

    // Paths of every file below dir ("~" allowed), names starting with "." or "~" left out,
    // each joined to dir as given. An unreadable folder gives an empty list; folders reached a
    // second time through symbolic links are not listed again.
    static QStringList recursiveFileListForDirectory(const QString& dir);

    // "-01:02:05;15": sign, hours, minutes, seconds and, after a semicolon, frames.
    static QString formatCurrentTime(double seconds, double fps);
    // "01:02:05;15" of a length: its frame count (qmFramesInLength: a hair short of a whole frame
    // is that frame), so a clip's length reads the same however its seconds were rounded.
    static QString formatLength(double seconds, double fps);
    // Writes value in decimal with at least two digits ("05", "123") at out, which needs room
    // for 20 characters; returns the end.
    static char* appendTwoDigits(char* out, std::uint64_t value);

    // size fitted into rect keeping its aspect ratio, centred, widened to whole units. A size or
    // rectangle without area gives the rectangle itself made integral.
    static QRectF centerAndScaleSize(QSizeF size, QRectF rect);

    // Shows the files in the file browser, or alerts when the last one cannot be found
    // (see KLVFileReveal.h).
    static void selectFileInFinder(const QList<QUrl>& urls);
    // The translation of a localized text's key, or fallback while no translation is installed.
    static QString localized(const char* key, const QString& fallback);
};
