#pragma once
// The helper's configuration file, written by the installer and owned by root:
//
//   # comment
//   allow-uid 1000
//   client-executable /opt/app/bin/App
//   root /media
//
// Each line is a keyword, one space and the rest of the line as its value. allow-uid names a
// user whose connections are served; client-executable (optional, repeatable) names a program
// those connections must come from; root names a directory below which the helper may act.
// Unknown keywords are refused, so a typing mistake cannot silently widen anything.

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::privileged {

struct HelperConfig {
    std::vector<uid_t> allowedUids;
    std::vector<std::string> clientExecutables;
    std::vector<std::string> roots;

    bool allowsUid(uid_t uid) const;
    // True when no executable is listed, or path is one of them.
    bool allowsExecutable(const std::string& path) const;
};

// Where media volumes are mounted on Debian and what administrators commonly use for shared
// media: the installer writes these when no roots are configured yet.
const std::vector<std::string>& defaultHelperRoots();

// Parses the text; false with a line-numbered problem on the first bad line.
bool parseHelperConfig(const std::string& text, HelperConfig& out, std::string& problem);
std::string formatHelperConfig(const HelperConfig& config);

// Reads the file, refusing it unless it is a regular file (not a link) owned by root or by
// the running user, and writable by its owner alone. Returns 0 or an errno value; problem
// says what was wrong.
int loadHelperConfig(const std::string& path, HelperConfig& out, std::string& problem);

} // namespace platform::privileged
