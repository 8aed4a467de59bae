#pragma once
// Where a privileged file operation may act. A path is accepted only when it is absolute,
// normalised (no ".", "..", empty components or trailing slash), free of NUL bytes, of bounded
// length, strictly below one of the allowed roots, and outside every protected tree. It is then
// opened component by component from the root's descriptor with openat2 (no symlinks, no
// magic links, never escaping the root), so what is checked is what is touched.
//
// Errors are errno values: EINVAL (malformed path), ENAMETOOLONG, EPERM (outside the roots,
// a root itself, or protected), ELOOP (a symlink component), ENOENT and the rest as the kernel
// reports them.

#include "platform/privileged/UniqueFd.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform::privileged {

inline constexpr std::size_t kMaxPathLength = 4095;

// The trees no privileged operation may ever touch (the system's own files).
const std::vector<std::string>& systemProtectedTrees();

// True when path is prefix itself or lies below it (whole components: "/media2" is not below
// "/media").
bool pathIsAtOrBelow(std::string_view path, std::string_view prefix);

// Syntax only: absolute, normalised, no NUL, bounded. 0 or EINVAL / ENAMETOOLONG.
int checkPathSyntax(std::string_view path);

class PathPolicy {
public:
    // Roots that fail the syntax check, are "/", or lie inside or contain a protected path are
    // dropped and listed in rejectedRoots(): a protected path is never below a usable root.
    PathPolicy(std::vector<std::string> roots, std::vector<std::string> protectedPaths);

    const std::vector<std::string>& roots() const { return roots_; }
    const std::vector<std::string>& rejectedRoots() const { return rejected_; }

    // Checks path against the policy and names the root it lies below and the components
    // between that root and the item (at least one).
    int check(std::string_view path, std::string* root = nullptr,
              std::vector<std::string>* components = nullptr) const;

private:
    std::vector<std::string> roots_;
    std::vector<std::string> protected_;
    std::vector<std::string> rejected_;
};

// One item below an allowed root, opened safely: its parent directory as an O_PATH
// descriptor and its own name within it.
struct SafeLocation {
    UniqueFd rootFd;
    std::vector<std::string> components; // below the root; the last one is the item's name
    UniqueFd parentFd;
    const std::string& name() const { return components.back(); }
};

// Opens a root directory (no symlink anywhere on the way).
int openRootDirectory(const std::string& root, UniqueFd& out);
// Opens dir (relative to dirFd, "." allowed) with openat2 beneath dirFd, no symlinks.
int openBeneath(int dirFd, const std::string& relative, int flags, UniqueFd& out);

// Checks path and opens its parent. The item itself need not exist.
int locate(const PathPolicy& policy, std::string_view path, SafeLocation& out);
// Like locate, but only opens the root: for creating a chain of directories.
int locateRootOnly(const PathPolicy& policy, std::string_view path, SafeLocation& out);

} // namespace platform::privileged
