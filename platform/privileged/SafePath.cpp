#include "platform/privileged/SafePath.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::privileged {

namespace {

std::vector<std::string> splitComponents(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t at = 1;
    while (at <= path.size()) {
        std::size_t next = path.find('/', at);
        if (next == std::string_view::npos)
            next = path.size();
        parts.emplace_back(path.substr(at, next - at));
        at = next + 1;
    }
    return parts;
}

long sysOpenat2(int dirFd, const char* path, int flags, std::uint64_t resolve)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags) | O_CLOEXEC;
    how.resolve = resolve;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, dirFd, path, &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

constexpr std::uint64_t kNoLinks = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;

} // namespace

const std::vector<std::string>& systemProtectedTrees()
{
    static const std::vector<std::string> trees = {
        "/bin",     "/boot",    "/dev",      "/efi",       "/etc",      "/lib",
        "/lib32",   "/lib64",   "/libx32",   "/proc",      "/root",     "/run",
        "/sbin",    "/sys",     "/usr",      "/var/lib",   "/var/log",  "/var/cache",
        "/var/spool", "/var/mail", "/var/db", "/snap",
    };
    return trees;
}

bool pathIsAtOrBelow(std::string_view path, std::string_view prefix)
{
    if (prefix == "/")
        return !path.empty() && path[0] == '/';
    if (path.size() < prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/';
}

int checkPathSyntax(std::string_view path)
{
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string_view::npos)
        return EINVAL;
    if (path.size() > kMaxPathLength)
        return ENAMETOOLONG;
    if (path == "/")
        return 0;
    if (path.back() == '/')
        return EINVAL;
    for (const auto& part : splitComponents(path)) {
        if (part.empty() || part == "." || part == "..")
            return EINVAL;
        if (part.size() > 255)
            return ENAMETOOLONG;
    }
    return 0;
}

PathPolicy::PathPolicy(std::vector<std::string> roots, std::vector<std::string> protectedPaths)
    : protected_(std::move(protectedPaths))
{
    for (auto& root : roots) {
        bool ok = checkPathSyntax(root) == 0 && root != "/";
        for (const auto& tree : protected_) {
            if (!ok)
                break;
            ok = !pathIsAtOrBelow(root, tree) && !pathIsAtOrBelow(tree, root);
        }
        (ok ? roots_ : rejected_).push_back(std::move(root));
    }
}

int PathPolicy::check(std::string_view path, std::string* root,
                      std::vector<std::string>* components) const
{
    if (int err = checkPathSyntax(path))
        return err;
    for (const auto& tree : protected_) {
        if (pathIsAtOrBelow(path, tree))
            return EPERM;
    }
    // The longest matching root wins, so nested roots behave as one would expect.
    const std::string* best = nullptr;
    for (const auto& r : roots_) {
        if (pathIsAtOrBelow(path, r) && path.size() > r.size()
            && (!best || r.size() > best->size()))
            best = &r;
    }
    if (!best)
        return EPERM;
    if (root)
        *root = *best;
    if (components)
        *components = splitComponents(path.substr(best->size()));
    return 0;
}

int openRootDirectory(const std::string& root, UniqueFd& out)
{
    long fd = sysOpenat2(AT_FDCWD, root.c_str(), O_PATH | O_DIRECTORY, kNoLinks);
    if (fd < 0)
        return errno;
    out.reset(static_cast<int>(fd));
    return 0;
}

int openBeneath(int dirFd, const std::string& relative, int flags, UniqueFd& out)
{
    long fd = sysOpenat2(dirFd, relative.c_str(), flags, kNoLinks | RESOLVE_BENEATH);
    if (fd < 0)
        return errno;
    out.reset(static_cast<int>(fd));
    return 0;
}

int locateRootOnly(const PathPolicy& policy, std::string_view path, SafeLocation& out)
{
    std::string root;
    SafeLocation location;
    if (int err = policy.check(path, &root, &location.components))
        return err;
    if (int err = openRootDirectory(root, location.rootFd))
        return err;
    out = std::move(location);
    return 0;
}

int locate(const PathPolicy& policy, std::string_view path, SafeLocation& out)
{
    SafeLocation location;
    if (int err = locateRootOnly(policy, path, location))
        return err;
    std::string parent = ".";
    for (std::size_t i = 0; i + 1 < location.components.size(); ++i)
        parent += "/" + location.components[i];
    if (int err = openBeneath(location.rootFd.get(), parent, O_PATH | O_DIRECTORY,
                              location.parentFd))
        return err;
    out = std::move(location);
    return 0;
}

} // namespace platform::privileged
