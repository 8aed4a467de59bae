// mkunits DIR PROGRAM: writes DIR/<label>.socket and DIR/<label>.service for the helper
// installed at PROGRAM.
#include "platform/privileged/HelperConfig.h"
#include "platform/privileged/HelperInstallation.h"
#include "privhelper/shared/HelperService.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "mkunits: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || argv[2][0] != '/') {
        std::fputs("usage: mkunits DIR /absolute/path/of/Latchkeep\n", stderr);
        return 64;
    }
    auto layout = HelperService::installLayout();
    layout.installPath = argv[2];
    layout.unitDirectory = argv[1];
    namespace priv = platform::privileged;
    const bool ok = writeFile(layout.socketUnitPath(), priv::socketUnitText(layout))
        && writeFile(layout.serviceUnitPath(), priv::serviceUnitText(layout, priv::defaultHelperRoots()));
    return ok ? 0 : 1;
}
