#include "engine/files/ssAFile.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <utility>

ssAFile::ssAFile(std::shared_ptr<ssFile> archive, int64_t entryStart, int64_t entrySize)
    : entryStart_(entryStart)
    , entrySize_(entrySize)
    , archive_(std::move(archive))
{
    if (archive_) {
        path_ = archive_->GetPath();
        fd_ = archive_->GetDescriptor();
    }
}

ssAFile::~ssAFile()
{
    // The descriptor is the archive's: keep the base destructor from closing it.
    fd_ = -1;
}

int64_t ssAFile::Read(void* buffer, int64_t size)
{
    if (fd_ < 0 || size <= 0 || entryPosition_ >= entrySize_)
        return 0;
    const int64_t wanted = std::min(size, entrySize_ - entryPosition_);
    char* bytes = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < wanted) {
        ssize_t result = pread(fd_, bytes + done, static_cast<size_t>(wanted - done),
                               entryStart_ + entryPosition_ + done);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            break;
        done += result;
    }
    entryPosition_ += done;
    return done;
}

int64_t ssAFile::Seek(int64_t offset, int whence)
{
    int64_t base;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = entryPosition_;
        break;
    case SEEK_END:
        base = entrySize_;
        break;
    default:
        return -1;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0
        || __builtin_add_overflow(entryStart_, target, &target))
        return -1;
    entryPosition_ = target - entryStart_;
    return entryPosition_;
}

void ssAFile::Close()
{
}

int64_t ssAFile::GetSize()
{
    return entrySize_;
}

int64_t ssAFile::Tell()
{
    return entryPosition_;
}
