#pragma once
// Installation of a socket-activated root helper: the program copy, a systemd socket unit and a
// hardened service unit, and the configuration naming who may connect and where it may act.
// Run as root (through pkexec) by the helper program itself.

#include "platform/privileged/HelperConfig.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::privileged {

struct HelperInstallLayout {
    std::string label;       // unit names are label + ".socket" / ".service"
    std::string description; // one line for the units
    std::string installPath; // the installed program
    std::string socketPath;
    std::string configPath;
    std::string unitDirectory = "/etc/systemd/system";

    std::string socketUnitName() const { return label + ".socket"; }
    std::string serviceUnitName() const { return label + ".service"; }
    std::string socketUnitPath() const { return unitDirectory + "/" + socketUnitName(); }
    std::string serviceUnitPath() const { return unitDirectory + "/" + serviceUnitName(); }
    // Every file the installation owns: no helper operation may touch them.
    std::vector<std::string> ownFiles() const;
};

std::string socketUnitText(const HelperInstallLayout& layout);
// ReadWritePaths lists the roots; everything else of the file system is read-only for it.
std::string serviceUnitText(const HelperInstallLayout& layout, const std::vector<std::string>& roots);

struct HelperInstallRequest {
    HelperInstallLayout layout;
    std::string destinationRoot = "/"; // another directory for a staged or test installation
    std::string sourceExecutable;      // the program to install (normally /proc/self/exe)
    uid_t clientUid = 0;               // the user who asked for the installation
    std::string clientExecutable;      // the application, recorded as the only client (optional)
};

// Writes program, configuration and units under destinationRoot. An existing configuration is
// kept and extended: its roots and users stay, the client user is added. Returns 0 or an errno
// value with a sentence in problem.
int installHelperFiles(const HelperInstallRequest& request, HelperConfig& written,
                       std::string& problem);

// Tells systemd about the new units and (re)starts the socket, so the next connection starts
// the new program. Returns 0 or an errno value with a sentence in problem.
int activateHelperUnits(const HelperInstallLayout& layout, std::string& problem);

} // namespace platform::privileged
