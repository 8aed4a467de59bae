#pragma once
// File operations on (directory descriptor, name) pairs that never follow a symbolic link:
// every step opens the next item with O_NOFOLLOW relative to a descriptor already held, so a
// link swapped in during the work is treated as a link, never as what it points to. Recursive
// work walks with fdopendir/openat and is bounded in depth.
//
// Every function answers 0 or an errno value.

#include "platform/privileged/FileAttributes.h"
#include "platform/privileged/UniqueFd.h"

#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <sys/types.h>

namespace platform::privileged {

// Deeper trees are refused with ENAMETOOLONG (each level holds one descriptor open).
inline constexpr int kMaxTreeDepth = 256;

// Writes all of data (retrying short writes), and copies all data from one descriptor's position
// to another's (copy_file_range where the file systems allow, read/write elsewhere).
int writeAll(int fd, const char* data, std::size_t size);
int copyFileData(int fromFd, int toFd);

// Sees an item as opened (before it is changed or read) and may veto the work with an errno.
using ItemCheck = std::function<int(const struct stat&)>;

// Walks a file, link or directory tree without changing it; check sees every item in it.
int checkTree(int parentFd, const std::string& name, const ItemCheck& check);
// Removes a file, link or whole directory tree. check, when given, sees every item first: a veto
// anywhere in the tree leaves it whole.
int removeTree(int parentFd, const std::string& name, const ItemCheck& check = {});
// Who new items are given to, when the process may give items away.
struct FileOwner {
    uid_t uid;
    gid_t gid;
};

// Copies a file, link or directory tree to a name that must not exist yet (EEXIST). Modes are
// kept without set-user-ID, set-group-ID and sticky bits; times are kept. Copies belong to
// owner when given, else to the source's owners when the process may set them. Special files
// (devices, FIFOs, sockets) are refused with ENOTSUP. check, when given, sees every regular file
// and directory before it is read. A failed copy leaves nothing behind.
int copyTree(int srcParentFd, const std::string& srcName, int dstParentFd,
             const std::string& dstName, const ItemCheck& check = {},
             const FileOwner* owner = nullptr);
// Renames without replacing (EEXIST when the destination exists); across file systems,
// copies and then removes the source. check, when given, sees every item of the source first
// and may veto the move.
int moveItem(int srcParentFd, const std::string& srcName, int dstParentFd,
             const std::string& dstName, const ItemCheck& check = {});
// Creates one directory, given to owner when one is named. Owner and attributes are set
// through a descriptor of the directory made (a name swapped meanwhile for another item is
// never touched: EAGAIN); when that fails, the directory is removed again. made, when given,
// receives that descriptor.
int makeDirectory(int parentFd, const std::string& name, const FileAttributes* attributes,
                  const FileOwner* owner = nullptr, UniqueFd* made = nullptr);
// Creates the directory named by the components below baseFd. With intermediates, missing
// parents are created too (each with the attributes) and an existing directory at the end is
// success; without, the parent must exist and the directory must not. followLinks lets
// intermediate components be symbolic links (ordinary, unprivileged use only). Every directory
// made is given to owner when one is named.
int makeDirectoryChain(int baseFd, const std::vector<std::string>& components, bool intermediates,
                       const FileAttributes* attributes, bool followLinks,
                       const FileOwner* owner = nullptr);
// Applies attributes to a regular file or directory (links and special files: ELOOP / EPERM).
// check, when given, sees the item as opened and may veto the change.
int applyAttributes(int parentFd, const std::string& name, const FileAttributes& attributes,
                    const ItemCheck& check = {});

} // namespace platform::privileged
