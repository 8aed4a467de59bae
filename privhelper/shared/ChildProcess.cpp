#include "privhelper/shared/ChildProcess.h"

#include <cerrno>

extern char** environ;

namespace HelperService {

int spawnChild(const std::vector<std::string>& arguments,
               const posix_spawn_file_actions_t* actions, pid_t& pid)
{
    if (arguments.empty())
        return EINVAL;
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return ::posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ);
}

} // namespace HelperService
