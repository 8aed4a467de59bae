#include "ScratchTree.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace privtest {

namespace {

void makeParents(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
}

void snapshotInto(const std::string& root, const std::string& relative,
                  std::map<std::string, std::string>& out)
{
    const std::string path = relative.empty() ? root : root + "/" + relative;
    struct stat st;
    if (::lstat(path.c_str(), &st) < 0)
        return;
    std::ostringstream entry;
    entry << std::oct << st.st_mode << std::dec << " " << st.st_uid << ":" << st.st_gid << " "
          << st.st_size << " " << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
    if (S_ISREG(st.st_mode)) {
        entry << " " << readFile(path);
    } else if (S_ISLNK(st.st_mode)) {
        char target[4096];
        ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        entry << " -> " << std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    out[relative.empty() ? "." : relative] = entry.str();
    if (S_ISDIR(st.st_mode)) {
        DIR* dir = ::opendir(path.c_str());
        if (!dir)
            return;
        std::vector<std::string> names;
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
        for (const auto& name : names)
            snapshotInto(root, relative.empty() ? name : relative + "/" + name, out);
    }
}

} // namespace

ScratchTree::ScratchTree()
{
    char pattern[] = "/tmp/klv-priv-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    ::chmod(path_.c_str(), 0755);
}

ScratchTree::~ScratchTree()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchTree::writeFile(const std::string& relative, const std::string& contents,
                                   mode_t mode) const
{
    const std::string path = at(relative);
    makeParents(path);
    writeFileAt(path, contents, mode);
    return path;
}

std::string ScratchTree::makeDirectory(const std::string& relative, mode_t mode) const
{
    const std::string path = at(relative);
    std::filesystem::create_directories(path);
    ::chmod(path.c_str(), mode);
    return path;
}

std::string ScratchTree::makeSymlink(const std::string& relative, const std::string& target) const
{
    const std::string path = at(relative);
    makeParents(path);
    if (::symlink(target.c_str(), path.c_str()) < 0)
        throw std::runtime_error("symlink failed");
    return path;
}

bool writeFileAt(const std::string& path, const std::string& contents, mode_t mode)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!(out << contents))
            return false;
    }
    return ::chmod(path.c_str(), mode) == 0;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::map<std::string, std::string> snapshotTree(const std::string& root)
{
    std::map<std::string, std::string> out;
    snapshotInto(root, "", out);
    return out;
}

} // namespace privtest
