#pragma once
// Puts the helper in place with administrator rights. The manager takes one of these, so
// tests and unattended sessions can supply their own and never see an administrator prompt.

#include <QString>
#include <string>

struct HelperInstallOutcome {
    enum class Kind {
        installed,
        authorizationFailed, // the administrator prompt was refused, dismissed or unavailable
        installFailed,       // authorized, but the installation itself failed
    };
    Kind kind = Kind::installed;
    QString message; // for a failure: what the installer said
};

class HelperInstaller {
public:
    virtual ~HelperInstaller() = default;
    virtual HelperInstallOutcome install() = 0;
};

// Runs `<elevator> <tool> --install --client-exe <client>` once: pkexec asks for an
// administrator's password and runs the bundled helper program as root, which installs
// itself, its systemd units and its configuration. pkexec's exit codes 126 (dismissed) and 127
// (not authorized, or no authentication agent) mean the authorization failed; any other
// failure is an installation failure carrying the installer's standard error.
class PkexecHelperInstaller : public HelperInstaller {
public:
    PkexecHelperInstaller(std::string toolPath, std::string clientExecutable,
                          std::string elevator = "pkexec");
    HelperInstallOutcome install() override;

    // The helper program shipped next to the running application.
    static std::string bundledToolPath();
    // The running program.
    static std::string currentExecutable();

private:
    std::string toolPath_;
    std::string clientExecutable_;
    std::string elevator_;
};
