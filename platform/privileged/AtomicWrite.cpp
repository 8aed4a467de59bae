#include "platform/privileged/AtomicWrite.h"

#include "platform/privileged/FileTree.h"
#include "platform/privileged/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::privileged {

namespace {

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

template <class Fill>
int writeWith(const std::string& path, mode_t mode, Fill fill)
{
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0600));
    if (!fd.valid())
        return errno;
    int err = fill(fd.get());
    if (!err && ::geteuid() == 0 && ::fchown(fd.get(), 0, 0) < 0)
        err = errno;
    if (!err && ::fchmod(fd.get(), mode) < 0)
        err = errno;
    if (!err && ::fsync(fd.get()) < 0)
        err = errno;
    fd.reset();
    if (!err && ::rename(temporary.c_str(), path.c_str()) < 0)
        err = errno;
    if (err) {
        ::unlink(temporary.c_str());
        return err;
    }
    UniqueFd dir(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
    return 0;
}

} // namespace

int writeFileAtomically(const std::string& path, const std::string& data, mode_t mode)
{
    return writeWith(path, mode, [&](int fd) { return writeAll(fd, data.data(), data.size()); });
}

int copyFileAtomically(const std::string& from, const std::string& to, mode_t mode)
{
    UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid())
        return errno;
    return writeWith(to, mode, [&](int fd) { return copyFileData(source.get(), fd); });
}

int makeDirectories(const std::string& path, mode_t mode)
{
    if (path.empty())
        return EINVAL;
    std::size_t at = 1;
    while (at <= path.size()) {
        std::size_t next = path.find('/', at);
        if (next == std::string::npos)
            next = path.size();
        const std::string prefix = path.substr(0, next);
        if (::mkdir(prefix.c_str(), mode) < 0 && errno != EEXIST)
            return errno;
        at = next + 1;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) < 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

} // namespace platform::privileged
