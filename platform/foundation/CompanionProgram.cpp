#include "platform/foundation/CompanionProgram.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace platform {

std::string companionProgramPath(const std::string& folder, const std::string& name)
{
    const std::string beside = folder + "/" + name;
    if (::access(beside.c_str(), X_OK) == 0)
        return beside;
    const std::string installed = folder + "/../libexec/kalvanto/" + name;
    // Canonical, because a policy names the installed program by its real path.
    char real[PATH_MAX];
    if (::access(installed.c_str(), X_OK) == 0 && ::realpath(installed.c_str(), real))
        return real;
    return beside;
}

} // namespace platform
