#pragma once
// A temporary directory tree for one test, removed with everything in it afterwards. It is
// world-searchable (0755) so that a child process running as another user can reach a socket
// or a file placed inside.

#include <map>
#include <string>
#include <sys/types.h>

namespace privtest {

class ScratchTree {
public:
    ScratchTree();
    ~ScratchTree();
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    const std::string& path() const { return path_; }
    std::string at(const std::string& relative) const { return path_ + "/" + relative; }

    // Creates parent folders as needed.
    std::string writeFile(const std::string& relative, const std::string& contents,
                          mode_t mode = 0644) const;
    std::string makeDirectory(const std::string& relative, mode_t mode = 0755) const;
    std::string makeSymlink(const std::string& relative, const std::string& target) const;

private:
    std::string path_;
};

// Writes contents to path (no parent folders made) and gives it exactly mode. False when the
// file could not be written.
bool writeFileAt(const std::string& path, const std::string& contents, mode_t mode = 0644);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

// Everything about a tree that an operation could change: for each entry below root its type,
// mode, owner, size, modification time and content (file bytes or link target).
std::map<std::string, std::string> snapshotTree(const std::string& root);

} // namespace privtest
