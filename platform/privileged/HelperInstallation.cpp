#include "platform/privileged/HelperInstallation.h"

#include "platform/privileged/AtomicWrite.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::privileged {

namespace {

std::string joinRoot(const std::string& root, const std::string& path)
{
    if (root.empty() || root == "/")
        return path;
    return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + path;
}

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

// A path in a unit file: quoted, with the specifier and escape characters doubled.
std::string unitPathValue(const std::string& path)
{
    std::string out = "\"";
    for (char c : path) {
        if (c == '%')
            out += "%%";
        else if (c == '\\' || c == '"')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

bool hasControlCharacter(const std::string& text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

int run(const std::vector<std::string>& arguments, std::string& problem)
{
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int err = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (err) {
        problem = "cannot run " + arguments[0] + ": " + std::strerror(err);
        return err;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return errno;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string command;
        for (const auto& a : arguments)
            command += (command.empty() ? "" : " ") + a;
        problem = command + " failed";
        return EIO;
    }
    return 0;
}

} // namespace

std::vector<std::string> HelperInstallLayout::ownFiles() const
{
    return {installPath, socketPath, configPath, socketUnitPath(), serviceUnitPath()};
}

std::string socketUnitText(const HelperInstallLayout& layout)
{
    // Anyone may connect; the helper itself serves only the users its configuration lists.
    return "[Unit]\n"
           "Description=" + layout.description + " (socket)\n"
           "\n"
           "[Socket]\n"
           "ListenSequentialPacket=" + layout.socketPath + "\n"
           "SocketUser=root\n"
           "SocketGroup=root\n"
           "SocketMode=0666\n"
           "Accept=no\n"
           "RemoveOnStop=yes\n"
           "\n"
           "[Install]\n"
           "WantedBy=sockets.target\n";
}

std::string serviceUnitText(const HelperInstallLayout& layout, const std::vector<std::string>& roots)
{
    std::string writable;
    for (const auto& root : roots) {
        if (!hasControlCharacter(root))
            writable += " -" + unitPathValue(root);
    }
    std::string text =
        "[Unit]\n"
        "Description=" + layout.description + "\n"
        "Requires=" + layout.socketUnitName() + "\n"
        "After=" + layout.socketUnitName() + "\n"
        "\n"
        "[Service]\n"
        "Type=simple\n"
        "ExecStart=" + layout.installPath + "\n"
        "User=root\n"
        "UMask=0022\n"
        "NoNewPrivileges=yes\n"
        "ProtectSystem=strict\n"
        "ProtectHome=read-only\n";
    if (!writable.empty())
        text += "ReadWritePaths=" + writable.substr(1) + "\n";
    // CAP_SYS_PTRACE only to read a client's /proc/PID/exe; ptrace itself is filtered out below.
    text += "PrivateTmp=yes\n"
            "PrivateDevices=yes\n"
            "PrivateNetwork=yes\n"
            "RestrictAddressFamilies=AF_UNIX\n"
            "CapabilityBoundingSet=CAP_CHOWN CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER "
            "CAP_SYS_PTRACE\n"
            "AmbientCapabilities=\n"
            "RestrictSUIDSGID=yes\n"
            "RestrictNamespaces=yes\n"
            "RestrictRealtime=yes\n"
            "LockPersonality=yes\n"
            "MemoryDenyWriteExecute=yes\n"
            "ProtectKernelTunables=yes\n"
            "ProtectKernelModules=yes\n"
            "ProtectKernelLogs=yes\n"
            "ProtectControlGroups=yes\n"
            "ProtectClock=yes\n"
            "ProtectHostname=yes\n"
            "SystemCallArchitectures=native\n"
            "SystemCallFilter=@system-service\n"
            "SystemCallErrorNumber=EPERM\n";
    return text;
}

int installHelperFiles(const HelperInstallRequest& request, HelperConfig& written,
                       std::string& problem)
{
    const auto& layout = request.layout;
    const std::string configPath = joinRoot(request.destinationRoot, layout.configPath);

    HelperConfig config;
    struct stat st;
    if (::lstat(configPath.c_str(), &st) == 0) {
        std::string why;
        if (int err = loadHelperConfig(configPath, config, why)) {
            problem = "existing configuration not usable: " + why;
            return err;
        }
    }
    if (config.roots.empty())
        config.roots = defaultHelperRoots();
    if (std::find(config.allowedUids.begin(), config.allowedUids.end(), request.clientUid)
        == config.allowedUids.end())
        config.allowedUids.push_back(request.clientUid);
    if (!request.clientExecutable.empty()) {
        if (request.clientExecutable[0] != '/' || hasControlCharacter(request.clientExecutable)) {
            problem = "client executable must be an absolute path";
            return EINVAL;
        }
        if (!config.allowsExecutable(request.clientExecutable) || config.clientExecutables.empty())
            config.clientExecutables.push_back(request.clientExecutable);
    }

    struct Item {
        std::string path;
        std::string text;
        mode_t mode;
    };
    const std::vector<Item> files = {
        {layout.configPath, formatHelperConfig(config), 0644},
        {layout.socketUnitPath(), socketUnitText(layout), 0644},
        {layout.serviceUnitPath(), serviceUnitText(layout, config.roots), 0644},
    };

    const std::string programPath = joinRoot(request.destinationRoot, layout.installPath);
    if (int err = makeDirectories(directoryOf(programPath), 0755)) {
        problem = "cannot create " + directoryOf(programPath) + ": " + std::strerror(err);
        return err;
    }
    if (int err = copyFileAtomically(request.sourceExecutable, programPath, 0755)) {
        problem = "cannot install " + programPath + ": " + std::strerror(err);
        return err;
    }
    for (const auto& file : files) {
        const std::string path = joinRoot(request.destinationRoot, file.path);
        int err = makeDirectories(directoryOf(path), 0755);
        if (!err)
            err = writeFileAtomically(path, file.text, file.mode);
        if (err) {
            problem = "cannot write " + path + ": " + std::strerror(err);
            return err;
        }
    }
    written = std::move(config);
    return 0;
}

int activateHelperUnits(const HelperInstallLayout& layout, std::string& problem)
{
    // The running instance (if any) is the old program: stop it so the next connection starts
    // the new one; restarting the socket picks up a changed socket unit.
    if (int err = run({"systemctl", "daemon-reload"}, problem))
        return err;
    std::string ignored;
    run({"systemctl", "stop", layout.serviceUnitName()}, ignored);
    if (int err = run({"systemctl", "enable", layout.socketUnitName()}, problem))
        return err;
    return run({"systemctl", "restart", layout.socketUnitName()}, problem);
}

} // namespace platform::privileged
