#include "engine/files/ssFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read pages are handed back to the kernel in steps of this size, behind the read position.
constexpr int64_t kReleaseStep = 8 << 20;

// Named pipes, devices and sockets can block whoever opens or reads them (a pipe without a
// writer waits forever), so they are never opened as media or resources. Folders are harmless.
bool refusedKind(mode_t mode)
{
    return S_ISFIFO(mode) || S_ISCHR(mode) || S_ISBLK(mode) || S_ISSOCK(mode);
}

} // namespace

ssFile::~ssFile()
{
    Close();
}

bool ssFile::Open(const char* path, int flags)
{
    Close();
    path_ = path ? path : "";
    position_ = 0;
    size_ = -1;
    releasedUpTo_ = 0;
    lastError_ = 0;
    if (!path) {
        lastError_ = EINVAL;
        return false;
    }
    struct stat info {};
    if (stat(path, &info) == 0 && refusedKind(info.st_mode)) {
        lastError_ = kNotRegularFile;
        return false;
    }
    // Non-blocking until the descriptor is known to be a file: the path may have been replaced by
    // a pipe since the look above.
    do {
        fd_ = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        lastError_ = errno;
        return false;
    }
    if (fstat(fd_, &info) != 0 || refusedKind(info.st_mode)) {
        lastError_ = kNotRegularFile;
        Close();
        return false;
    }
    if (!(flags & O_NONBLOCK))
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    posix_fadvise(fd_, 0, 0, POSIX_FADV_NOREUSE);
    return true;
}

int64_t ssFile::Read(void* buffer, int64_t size)
{
    if (fd_ < 0 || size <= 0)
        return 0;
    ssize_t result;
    do {
        result = read(fd_, buffer, static_cast<size_t>(size));
    } while (result < 0 && errno == EINTR);
    if (result <= 0)
        return 0;
    position_ += result;
    if (position_ - releasedUpTo_ >= kReleaseStep)
        ReleaseReadPages();
    return result;
}

void ssFile::ReleaseReadPages()
{
    posix_fadvise(fd_, releasedUpTo_, position_ - releasedUpTo_, POSIX_FADV_DONTNEED);
    releasedUpTo_ = position_;
}

int64_t ssFile::Write(const void* data, int64_t size)
{
    if (fd_ < 0 || size <= 0)
        return 0;
    const char* bytes = static_cast<const char*>(data);
    int64_t written = 0;
    while (written < size) {
        ssize_t result = write(fd_, bytes + written, static_cast<size_t>(size - written));
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            break;
        written += result;
    }
    position_ += written;
    return written;
}

int64_t ssFile::Seek(int64_t offset, int whence)
{
    if (fd_ < 0)
        return 0;
    const off_t result = lseek(fd_, offset, whence);
    if (result < 0)
        return -1;
    position_ = result;
    if (position_ < releasedUpTo_)
        releasedUpTo_ = position_;
    return position_;
}

void ssFile::Close()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

int64_t ssFile::GetSize()
{
    if (fd_ < 0)
        return 0;
    if (size_ >= 0)
        return size_;
    const off_t here = lseek(fd_, 0, SEEK_CUR);
    const off_t end = lseek(fd_, 0, SEEK_END);
    if (here >= 0)
        lseek(fd_, here, SEEK_SET);
    if (end < 0)
        return 0;
    size_ = end;
    return size_;
}

int64_t ssFile::Tell()
{
    if (fd_ < 0)
        return 0;
    return lseek(fd_, 0, SEEK_CUR);
}
