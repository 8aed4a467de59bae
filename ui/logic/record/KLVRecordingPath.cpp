#include "ui/logic/record/KLVRecordingPath.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace KLVRecordingPath {

namespace {

// Enough tries for any folder a person fills; stops a pathological one from spinning for ever.
constexpr int kMaxSuffix = 100000;

QString candidate(const QString& dir, const QString& name, int suffix)
{
    const QString file = suffix == 0 ? name : QStringLiteral("%1_%2").arg(name).arg(suffix);
    return QDir(dir).filePath(file + QStringLiteral(".mov"));
}

bool onDisk(const QString& path)
{
    // A dangling symbolic link is an item too.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

QString nextFreePath(const QString& dir, const QString& name, const Claimed& claimed)
{
    if (dir.isEmpty() || name.isEmpty())
        return {};
    for (int i = 0; i <= kMaxSuffix; ++i) {
        const QString path = candidate(dir, name, i);
        if (!onDisk(path) && !(claimed && claimed(path)))
            return path;
    }
    return {};
}

QString createRecordingFile(const QString& dir, const QString& name, const Claimed& claimed, QString* error)
{
    for (int attempts = 0; attempts <= kMaxSuffix; ++attempts) {
        const QString path = nextFreePath(dir, name, claimed);
        if (path.isEmpty())
            break;
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(errno));
            return {};
        }
        // Someone made it between the look and the creation: take the next one.
    }
    if (error)
        *error = QStringLiteral("no free file name");
    return {};
}

} // namespace KLVRecordingPath
