#include "privhelper/client/LocalFileOperations.h"

#include "platform/privileged/FileTree.h"
#include "platform/privileged/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

using namespace platform::privileged;

namespace LocalFileOperations {

namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The directory holding the item, opened, and the item's name in it.
int openParent(const std::string& rawPath, UniqueFd& parent, std::string& name)
{
    const std::string path = withoutTrailingSlashes(rawPath);
    if (path.empty() || path.find('\0') != std::string::npos)
        return EINVAL;
    const auto slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    const std::string dir = parentPath(path);
    parent.reset(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return parent.valid() ? 0 : errno;
}

} // namespace

std::string parentPath(const std::string& rawPath)
{
    const std::string path = withoutTrailingSlashes(rawPath);
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool itemExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int removeItem(const std::string& path)
{
    UniqueFd parent;
    std::string name;
    if (int err = openParent(path, parent, name))
        return err;
    return removeTree(parent.get(), name);
}

namespace {

template <class Operation>
int onTwoItems(const std::string& from, const std::string& to, Operation operation)
{
    UniqueFd fromParent, toParent;
    std::string fromName, toName;
    if (int err = openParent(from, fromParent, fromName))
        return err;
    if (int err = openParent(to, toParent, toName))
        return err;
    return operation(fromParent.get(), fromName, toParent.get(), toName);
}

} // namespace

int copyItem(const std::string& from, const std::string& to)
{
    return onTwoItems(from, to, [](int fromFd, const std::string& fromName, int toFd,
                                   const std::string& toName) {
        return copyTree(fromFd, fromName, toFd, toName);
    });
}

int moveItem(const std::string& from, const std::string& to)
{
    return onTwoItems(from, to, [](int fromFd, const std::string& fromName, int toFd,
                                   const std::string& toName) {
        return platform::privileged::moveItem(fromFd, fromName, toFd, toName);
    });
}

int createDirectory(const std::string& rawPath, bool withIntermediateDirectories,
                    const FileAttributes* attributes)
{
    const std::string path = withoutTrailingSlashes(rawPath);
    if (path.empty() || path.find('\0') != std::string::npos)
        return EINVAL;
    std::vector<std::string> components;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t next = path.find('/', at);
        if (next == std::string::npos)
            next = path.size();
        std::string part = path.substr(at, next - at);
        if (!part.empty() && part != ".")
            components.push_back(std::move(part));
        at = next + 1;
    }
    if (components.empty())
        return EEXIST; // "/" or "."
    UniqueFd base(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid())
        return errno;
    return makeDirectoryChain(base.get(), components, withIntermediateDirectories, attributes, true);
}

int setAttributes(const FileAttributes& attributes, const std::string& path)
{
    UniqueFd parent;
    std::string name;
    if (int err = openParent(path, parent, name))
        return err;
    return applyAttributes(parent.get(), name, attributes);
}

} // namespace LocalFileOperations
