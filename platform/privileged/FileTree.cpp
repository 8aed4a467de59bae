#include "platform/privileged/FileTree.h"

#include "platform/privileged/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::privileged {

namespace {

constexpr mode_t kPermissionBits = 0777;

int lstatAt(int dirFd, const std::string& name, struct stat& st)
{
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0 ? errno : 0;
}

int openDirectory(int dirFd, const std::string& name, UniqueFd& out)
{
    int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    out.reset(fd);
    return 0;
}

// Names in a directory other than "." and "..". Takes its own descriptor, so fd stays usable.
int listDirectory(int fd, std::vector<std::string>& names)
{
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return errno;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        int err = errno;
        ::close(copy);
        return err;
    }
    ::rewinddir(dir);
    names.clear();
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
        errno = 0;
    }
    int err = errno;
    ::closedir(dir);
    return err;
}

// Whether name in parentFd is still the item seen as st.
bool stillSame(int parentFd, const std::string& name, const struct stat& st)
{
    struct stat now;
    return lstatAt(parentFd, name, now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev;
}

// Removes name again after a failed creation, unless it has been swapped for something else.
void removeIfSame(int parentFd, const std::string& name, const struct stat& made, int flags)
{
    if (stillSame(parentFd, name, made))
        ::unlinkat(parentFd, name.c_str(), flags);
}

// Opens a directory met in a walk and makes sure it is the one that was looked at.
int openWalkedDirectory(int parentFd, const std::string& name, const struct stat& seen, UniqueFd& dir)
{
    if (int err = openDirectory(parentFd, name, dir))
        return err;
    struct stat opened;
    if (::fstat(dir.get(), &opened) < 0)
        return errno;
    return opened.st_ino == seen.st_ino && opened.st_dev == seen.st_dev ? 0 : EAGAIN;
}

// Walks a tree without changing it; check sees every item (links and special files too).
int checkAt(int parentFd, const std::string& name, int depth, const ItemCheck& check)
{
    struct stat st;
    if (int err = lstatAt(parentFd, name, st))
        return err;
    if (int err = check(st))
        return err;
    if (!S_ISDIR(st.st_mode))
        return 0;
    if (depth >= kMaxTreeDepth)
        return ENAMETOOLONG;
    UniqueFd dir;
    if (int err = openWalkedDirectory(parentFd, name, st, dir))
        return err;
    std::vector<std::string> names;
    if (int err = listDirectory(dir.get(), names))
        return err;
    for (const auto& entry : names) {
        if (int err = checkAt(dir.get(), entry, depth + 1, check))
            return err;
    }
    return 0;
}

// check, when given, sees each item again just before it goes: the tree was checked as a whole
// first, and whatever was moved in since is refused rather than removed.
int removeAt(int parentFd, const std::string& name, int depth, const ItemCheck& check)
{
    struct stat st;
    if (int err = lstatAt(parentFd, name, st))
        return err;
    if (check) {
        if (int err = check(st))
            return err;
    }
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(parentFd, name.c_str(), 0) < 0 ? errno : 0;
    if (depth >= kMaxTreeDepth)
        return ENAMETOOLONG;
    UniqueFd dir;
    if (int err = openWalkedDirectory(parentFd, name, st, dir))
        return err;
    std::vector<std::string> names;
    if (int err = listDirectory(dir.get(), names))
        return err;
    for (const auto& entry : names) {
        if (int err = removeAt(dir.get(), entry, depth + 1, check))
            return err;
    }
    dir.reset();
    return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) < 0 ? errno : 0;
}

// Makes a directory and opens it. The name may be swapped for another item between the two
// steps: only an empty directory is taken as the one made (an empty directory of someone else,
// swapped in by whoever may rename in the parent, gives nothing away). Everything done to the
// new directory afterwards goes through the descriptor.
int makeOwnDirectory(int parentFd, const std::string& name, mode_t mode, UniqueFd& dir,
                     struct stat& made)
{
    if (::mkdirat(parentFd, name.c_str(), mode) < 0)
        return errno;
    int err = openDirectory(parentFd, name, dir);
    if (err == ENOTDIR || err == ELOOP)
        return EAGAIN; // swapped for a file or a link
    if (err)
        return err;
    if (::fstat(dir.get(), &made) < 0)
        return errno;
    std::vector<std::string> names;
    if (int listErr = listDirectory(dir.get(), names))
        return listErr;
    if (!S_ISDIR(made.st_mode) || !names.empty()) {
        dir.reset();
        return EAGAIN;
    }
    return 0;
}

// Mode, owner and times through a descriptor of any kind (O_PATH included).
int applyAttributesTo(int fd, const FileAttributes& attributes);

// What a copy is given to: the named owner, else the source's owners; a process that may not
// give files away keeps its own ownership.
FileOwner copyOwner(const struct stat& source, const FileOwner* owner)
{
    return owner ? *owner : FileOwner{source.st_uid, source.st_gid};
}

// Mode, owner and times of a copy.
int finishCopy(int fd, const struct stat& source, const FileOwner* owner)
{
    if (::fchmod(fd, source.st_mode & kPermissionBits) < 0)
        return errno;
    const FileOwner to = copyOwner(source, owner);
    if (::geteuid() == 0 && ::fchown(fd, to.uid, to.gid) < 0)
        return errno;
    const timespec times[2] = {source.st_atim, source.st_mtim};
    return ::futimens(fd, times) < 0 ? errno : 0;
}

struct CopyRules {
    const ItemCheck& check;
    const FileOwner* owner;
};

int copyAt(int srcParentFd, const std::string& srcName, int dstParentFd,
           const std::string& dstName, int depth, const CopyRules& rules);

int copyFile(int srcParentFd, const std::string& srcName, const struct stat& st, int dstParentFd,
             const std::string& dstName, const CopyRules& rules)
{
    UniqueFd src(::openat(srcParentFd, srcName.c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!src.valid())
        return errno;
    struct stat opened;
    if (::fstat(src.get(), &opened) < 0)
        return errno;
    if (!S_ISREG(opened.st_mode) || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev)
        return EAGAIN; // swapped while we looked: refuse rather than guess
    if (rules.check) {
        if (int err = rules.check(opened))
            return err;
    }
    UniqueFd dst(::openat(dstParentFd, dstName.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!dst.valid())
        return errno;
    struct stat made;
    if (::fstat(dst.get(), &made) < 0)
        return errno;
    int err = copyFileData(src.get(), dst.get());
    if (!err)
        err = finishCopy(dst.get(), opened, rules.owner);
    if (!err && ::fsync(dst.get()) < 0)
        err = errno;
    if (err)
        removeIfSame(dstParentFd, dstName, made, 0);
    return err;
}

int copyLink(int srcParentFd, const std::string& srcName, const struct stat& st, int dstParentFd,
             const std::string& dstName, const FileOwner* owner)
{
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1, '\0');
    ssize_t n = ::readlinkat(srcParentFd, srcName.c_str(), target.data(), target.size());
    if (n < 0)
        return errno;
    if (static_cast<std::size_t>(n) >= target.size())
        return EAGAIN; // changed while we looked
    target.resize(static_cast<std::size_t>(n));
    if (::symlinkat(target.c_str(), dstParentFd, dstName.c_str()) < 0)
        return errno;
    // Owner and times through a descriptor of the link itself, once it is known to be the link
    // just made: the name could have been swapped for another item since.
    UniqueFd link(::openat(dstParentFd, dstName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!link.valid())
        return errno == ENOENT ? EAGAIN : errno;
    struct stat made;
    if (::fstat(link.get(), &made) < 0)
        return errno;
    std::string written(target.size() + 1, '\0');
    if (!S_ISLNK(made.st_mode)
        || ::readlinkat(link.get(), "", written.data(), written.size())
            != static_cast<ssize_t>(target.size())
        || written.compare(0, target.size(), target) != 0)
        return EAGAIN;
    int err = 0;
    const FileOwner to = copyOwner(st, owner);
    if (::geteuid() == 0 && ::fchownat(link.get(), "", to.uid, to.gid, AT_EMPTY_PATH) < 0)
        err = errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!err && ::utimensat(link.get(), "", times, AT_EMPTY_PATH) < 0)
        err = errno;
    if (err)
        removeIfSame(dstParentFd, dstName, made, 0);
    return err;
}

int copyDirectory(int srcParentFd, const std::string& srcName, int dstParentFd,
                  const std::string& dstName, int depth, const CopyRules& rules)
{
    if (depth >= kMaxTreeDepth)
        return ENAMETOOLONG;
    UniqueFd src;
    if (int err = openDirectory(srcParentFd, srcName, src))
        return err;
    struct stat opened;
    if (::fstat(src.get(), &opened) < 0)
        return errno;
    if (rules.check) {
        if (int err = rules.check(opened))
            return err;
    }
    // Listed before the copy exists, so copying a folder into itself does not copy the copy.
    std::vector<std::string> names;
    if (int err = listDirectory(src.get(), names))
        return err;
    // Private (0700, ours) while it fills; its real mode and owner come last, by descriptor.
    UniqueFd dst;
    struct stat made;
    if (int err = makeOwnDirectory(dstParentFd, dstName, 0700, dst, made))
        return err;
    int err = 0;
    for (std::size_t i = 0; !err && i < names.size(); ++i)
        err = copyAt(src.get(), names[i], dst.get(), names[i], depth + 1, rules);
    if (!err)
        err = finishCopy(dst.get(), opened, rules.owner);
    dst.reset();
    if (err && stillSame(dstParentFd, dstName, made))
        removeAt(dstParentFd, dstName, 0, {});
    return err;
}

int copyAt(int srcParentFd, const std::string& srcName, int dstParentFd,
           const std::string& dstName, int depth, const CopyRules& rules)
{
    struct stat st;
    if (int err = lstatAt(srcParentFd, srcName, st))
        return err;
    struct stat existing;
    if (lstatAt(dstParentFd, dstName, existing) == 0)
        return EEXIST;
    if (S_ISREG(st.st_mode))
        return copyFile(srcParentFd, srcName, st, dstParentFd, dstName, rules);
    if (S_ISLNK(st.st_mode))
        return copyLink(srcParentFd, srcName, st, dstParentFd, dstName, rules.owner);
    if (S_ISDIR(st.st_mode))
        return copyDirectory(srcParentFd, srcName, dstParentFd, dstName, depth, rules);
    return ENOTSUP;
}

std::string procPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

int writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int copyFileData(int from, int to)
{
    bool plain = false;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n;
        if (!plain) {
            n = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL
                          || errno == EOPNOTSUPP)) {
                plain = true;
                continue;
            }
        } else {
            n = ::read(from, buffer, sizeof buffer);
            if (n > 0) {
                if (int err = writeAll(to, buffer, static_cast<std::size_t>(n)))
                    return err;
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
    }
}

int checkTree(int parentFd, const std::string& name, const ItemCheck& check)
{
    return checkAt(parentFd, name, 0, check);
}

int removeTree(int parentFd, const std::string& name, const ItemCheck& check)
{
    if (check) {
        if (int err = checkAt(parentFd, name, 0, check))
            return err;
    }
    return removeAt(parentFd, name, 0, check);
}

int copyTree(int srcParentFd, const std::string& srcName, int dstParentFd,
             const std::string& dstName, const ItemCheck& check, const FileOwner* owner)
{
    return copyAt(srcParentFd, srcName, dstParentFd, dstName, 0, CopyRules{check, owner});
}

int moveItem(int srcParentFd, const std::string& srcName, int dstParentFd,
             const std::string& dstName, const ItemCheck& check)
{
    if (check) {
        if (int err = checkAt(srcParentFd, srcName, 0, check))
            return err;
    }
    if (::renameat2(srcParentFd, srcName.c_str(), dstParentFd, dstName.c_str(), RENAME_NOREPLACE)
        == 0)
        return 0;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // File systems without RENAME_NOREPLACE: check, then rename.
        struct stat st;
        if (lstatAt(dstParentFd, dstName, st) == 0)
            return EEXIST;
        if (::renameat(srcParentFd, srcName.c_str(), dstParentFd, dstName.c_str()) == 0)
            return 0;
        err = errno;
    }
    if (err != EXDEV)
        return err;
    if (int copyErr = copyTree(srcParentFd, srcName, dstParentFd, dstName, check))
        return copyErr;
    return removeTree(srcParentFd, srcName, check);
}

int makeDirectory(int parentFd, const std::string& name, const FileAttributes* attributes,
                  const FileOwner* owner, UniqueFd* made)
{
    UniqueFd dir;
    struct stat st;
    if (int err = makeOwnDirectory(parentFd, name, 0755, dir, st))
        return err;
    int err = 0;
    if (owner && ::geteuid() == 0 && ::fchown(dir.get(), owner->uid, owner->gid) < 0)
        err = errno;
    if (!err && attributes && !attributes->empty())
        err = applyAttributesTo(dir.get(), *attributes);
    if (err) {
        dir.reset();
        removeIfSame(parentFd, name, st, AT_REMOVEDIR);
        return err;
    }
    if (made)
        *made = std::move(dir);
    return 0;
}

int makeDirectoryChain(int baseFd, const std::vector<std::string>& components, bool intermediates,
                       const FileAttributes* attributes, bool followLinks, const FileOwner* owner)
{
    if (components.empty())
        return EINVAL;
    const int openFlags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    UniqueFd current;
    int dirFd = baseFd;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const std::string& name = components[i];
        int fd = ::openat(dirFd, name.c_str(), openFlags);
        if (fd < 0 && errno == ENOENT && intermediates) {
            // The next level is made inside the very directory made here, not one found by name.
            UniqueFd made;
            int err = makeDirectory(dirFd, name, attributes, owner, &made);
            if (err && err != EEXIST)
                return err;
            fd = err ? ::openat(dirFd, name.c_str(), openFlags) : made.release();
        }
        if (fd < 0) {
            int err = errno;
            struct stat st;
            // O_NOFOLLOW with O_DIRECTORY reports a link as "not a directory": say what it is.
            if (err == ENOTDIR && !followLinks && lstatAt(dirFd, name, st) == 0
                && S_ISLNK(st.st_mode))
                err = ELOOP;
            return err;
        }
        current.reset(fd);
        dirFd = fd;
    }
    const std::string& last = components.back();
    int err = makeDirectory(dirFd, last, attributes, owner);
    if (err == EEXIST && intermediates) {
        struct stat st;
        if (lstatAt(dirFd, last, st) == 0 && S_ISDIR(st.st_mode))
            return 0;
    }
    return err;
}

int applyAttributes(int parentFd, const std::string& name, const FileAttributes& attributes,
                    const ItemCheck& check)
{
    UniqueFd fd(::openat(parentFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) < 0)
        return errno;
    if (S_ISLNK(st.st_mode))
        return ELOOP;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return EPERM;
    if (check) {
        if (int err = check(st))
            return err;
    }
    return applyAttributesTo(fd.get(), attributes);
}

namespace {

int applyAttributesTo(int fd, const FileAttributes& attributes)
{
    if (attributes.ownerAccountID || attributes.groupOwnerAccountID) {
        uid_t uid = attributes.ownerAccountID ? *attributes.ownerAccountID : static_cast<uid_t>(-1);
        gid_t gid = attributes.groupOwnerAccountID ? *attributes.groupOwnerAccountID
                                                   : static_cast<gid_t>(-1);
        if (::fchownat(fd, "", uid, gid, AT_EMPTY_PATH) < 0)
            return errno;
    }
    // Through the descriptor's /proc entry: chmod and utimens cannot take an O_PATH descriptor
    // directly, and the name itself could be swapped for a link in the meantime.
    const std::string path = procPath(fd);
    if (attributes.posixPermissions && ::fchmodat(AT_FDCWD, path.c_str(),
                                                  *attributes.posixPermissions & 07777, 0) < 0)
        return errno;
    if (attributes.modificationDate) {
        const std::int64_t ns = *attributes.modificationDate;
        timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(ns / 1000000000);
        times[1].tv_nsec = static_cast<long>(ns % 1000000000);
        if (times[1].tv_nsec < 0) {
            times[1].tv_nsec += 1000000000;
            times[1].tv_sec -= 1;
        }
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) < 0)
            return errno;
    }
    return 0;
}

} // namespace

} // namespace platform::privileged
