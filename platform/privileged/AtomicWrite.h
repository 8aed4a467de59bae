#pragma once
// Writes a whole file atomically (temporary file, fsync, rename, fsync of the directory), so a
// reader sees the old content or the new, never a mix. Plain C++ for the root daemon, which
// does not link the Qt-based foundation.

#include <string>
#include <sys/types.h>

namespace platform::privileged {

// Returns 0 or an errno value. The new file gets mode (and, as root, owner root:root).
int writeFileAtomically(const std::string& path, const std::string& data, mode_t mode);
// Copies a file the same way.
int copyFileAtomically(const std::string& from, const std::string& to, mode_t mode);
// mkdir -p with mode for the directories it creates.
int makeDirectories(const std::string& path, mode_t mode);

} // namespace platform::privileged
