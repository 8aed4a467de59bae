#pragma once
// Where a program shipped with the application lives: beside the application in a build tree,
// in <prefix>/libexec/kalvanto when the application is installed in <prefix>/bin.

#include <string>

namespace platform {

// folder is the application's own folder. The build tree's copy wins when it exists; otherwise
// the installed one, and the folder's own path when neither exists (so errors name a path).
std::string companionProgramPath(const std::string& folder, const std::string& name);

} // namespace platform
