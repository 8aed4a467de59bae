#include "platform/foundation/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

Error fileError(const QString& path, const QString& what, const QString& reason)
{
    return Error(QString::fromLatin1(kFileErrorDomain), errno ? errno : EIO,
                 QStringLiteral("The file \"%1\" could not be saved.").arg(path),
                 what + QStringLiteral(": ") + reason);
}

// The rename is durable only once the folder itself reaches the disk.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& data, Error* error)
{
    errno = 0;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        setError(error, fileError(path, QStringLiteral("creating the folder"), folder));
        return false;
    }
    QSaveFile file(path);
    // Writing through to a symbolic link's target keeps the link.
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, fileError(path, QStringLiteral("opening"), file.errorString()));
        return false;
    }
    if (file.write(data) != data.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        setError(error, fileError(path, QStringLiteral("writing"), reason));
        return false;
    }
    // commit() flushes and fsyncs the temporary file before renaming it over the target.
    if (!file.commit()) {
        setError(error, fileError(path, QStringLiteral("committing"), file.errorString()));
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace platform
