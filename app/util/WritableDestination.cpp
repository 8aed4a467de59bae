#include "app/util/WritableDestination.h"

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace WritableDestination {

bool isValidFilename(const QString& name)
{
    if (name.isEmpty() || name.contains(QChar(0)))
        return false;
    // The probe must stay inside its private folder.
    for (const QString& part : name.split(QLatin1Char('/')))
        if (part == QLatin1String(".."))
            return false;
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    const QByteArray path = QFile::encodeName(dir.path() + QLatin1Char('/') + name);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(path.constData());
    return true;
}

} // namespace WritableDestination
