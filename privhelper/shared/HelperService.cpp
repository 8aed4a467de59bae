#include "privhelper/shared/HelperService.h"

namespace HelperService {

platform::privileged::HelperInstallLayout installLayout()
{
    platform::privileged::HelperInstallLayout layout;
    layout.label = label;
    layout.description = "Kalvanto privileged file helper";
    layout.installPath = installPath;
    layout.socketPath = socketPath;
    layout.configPath = configPath;
    return layout;
}

} // namespace HelperService
