#include "platform/foundation/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Every step is a system call, so the reason is always the system's own (errno), with the path
// it was about: "writing \"/media/show/.doc.klv3.1a2b.tmp\": No space left on device".
Error fileError(const QString& path, const QString& what, const QString& subject, int err)
{
    if (err == 0)
        err = EIO;
    return Error(QString::fromLatin1(kFileErrorDomain), err,
                 QStringLiteral("The file \"%1\" could not be saved.").arg(path),
                 QStringLiteral("%1 \"%2\": %3").arg(what, subject, QString::fromLocal8Bit(std::strerror(err))));
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// The rename is durable only once the folder itself reaches the disk.
void syncFolder(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

// Writing through a symbolic link replaces the link's target and keeps the link.
QString resolvedTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// A new name beside target, created exclusively (so never another file's).
int createTemporary(const QString& target, QString& name, int& fd)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = info.absolutePath() + QStringLiteral("/.%1.%2.tmp").arg(info.fileName())
                                          .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        fd = ::open(native(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& data, Error* error)
{
    const QString target = resolvedTarget(path);
    const QString folder = QFileInfo(target).absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder)) {
        setError(error, fileError(path, QStringLiteral("creating the folder"), folder, errno));
        return false;
    }
    QString temporary;
    int fd = -1;
    if (int err = createTemporary(target, temporary, fd)) {
        setError(error, fileError(path, QStringLiteral("creating a file in"), folder, err));
        return false;
    }
    auto fail = [&](const QString& what, const QString& subject, int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(native(temporary).constData());
        setError(error, fileError(path, what, subject, err));
        return false;
    };
    // An existing file keeps its permissions.
    struct stat existing {};
    if (::stat(native(target).constData(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) < 0)
        return fail(QStringLiteral("setting the permissions of"), temporary, errno);
    if (int err = writeAll(fd, data.constData(), data.size()))
        return fail(QStringLiteral("writing"), temporary, err);
    if (::fsync(fd) < 0)
        return fail(QStringLiteral("flushing"), temporary, errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed < 0 && errno != EINTR)
        return fail(QStringLiteral("closing"), temporary, errno);
    if (::rename(native(temporary).constData(), native(target).constData()) < 0)
        return fail(QStringLiteral("replacing"), target, errno);
    syncFolder(folder);
    return true;
}

} // namespace platform
