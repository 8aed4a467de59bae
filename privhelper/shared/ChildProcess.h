#pragma once
// Starting the helper program (or pkexec in front of it) as a child process.

#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace HelperService {

// posix_spawnp of arguments[0] with the given arguments, file actions (may be null) and this
// process's environment. Returns 0 with the child's id in pid, or the errno value.
int spawnChild(const std::vector<std::string>& arguments,
               const posix_spawn_file_actions_t* actions, pid_t& pid);

} // namespace HelperService
