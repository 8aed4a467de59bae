// Latchkeep: the privileged file helper. Started by systemd socket activation (the listening
// socket is fd 3); --socket PATH listens on a socket of its own instead. --install, run as
// root through pkexec, installs this very program, its units and its configuration.

#include "platform/privileged/HelperConfig.h"
#include "platform/privileged/HelperInstallation.h"
#include "platform/privileged/SafePath.h"
#include "platform/privileged/SeqPacketSocket.h"
#include "privhelper/shared/HelperService.h"
#include "privhelper/tool/PrivilegedHelperClient.h"
#include "privhelper/tool/ToolLog.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform::privileged;

namespace {

// Exit codes. 126 and 127 are never used: the application reads them from pkexec as
// "authorization refused".
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;
constexpr int kExitConfig = 78;

struct Options {
    bool install = false;
    bool activate = true;
    bool printVersion = false;
    std::string socketPath;
    std::string configPath = HelperService::configPath;
    std::string destinationRoot = "/";
    std::string clientExecutable;
    std::string clientUid;
    int idleTimeoutMs = PrivilegedHelperClient::kDefaultIdleTimeoutMs;
};

int usage(const char* message)
{
    std::fprintf(stderr,
                 "%s\nusage: Latchkeep [--socket PATH] [--config PATH] [--idle-timeout-ms N]\n"
                 "       Latchkeep --version\n"
                 "       Latchkeep --install [--root DIR] [--client-exe PATH] [--client-uid N] "
                 "[--no-activate]\n",
                 message);
    return kExitUsage;
}

bool parseUid(const std::string& text, uid_t& out)
{
    unsigned long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()
        || value >= static_cast<unsigned long>(static_cast<uid_t>(-1)))
        return false;
    out = static_cast<uid_t>(value);
    return true;
}

bool parsePositive(const std::string& text, int& out)
{
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size() && out > 0;
}

int install(const Options& options)
{
    HelperInstallRequest request;
    request.layout = HelperService::installLayout();
    request.destinationRoot = options.destinationRoot;
    request.sourceExecutable = "/proc/self/exe";
    request.clientExecutable = options.clientExecutable;
    // Under pkexec the invoking user is known for certain; otherwise it must be named.
    const char* pkexecUid = std::getenv("PKEXEC_UID");
    const std::string uidText = pkexecUid ? std::string(pkexecUid) : options.clientUid;
    if (!parseUid(uidText, request.clientUid))
        return usage("--install needs the client user (PKEXEC_UID or --client-uid)");
    const bool systemInstall = options.destinationRoot == "/";
    if (systemInstall && ::geteuid() != 0) {
        std::fprintf(stderr, "installing the helper needs administrator rights\n");
        return kExitFailure;
    }
    HelperConfig written;
    std::string problem;
    if (installHelperFiles(request, written, problem) != 0) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return kExitFailure;
    }
    if (systemInstall && options.activate && activateHelperUnits(request.layout, problem) != 0) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return kExitFailure;
    }
    return 0;
}

// The socket systemd passed, if it passed one to this process.
int activatedSocket()
{
    const char* pid = std::getenv("LISTEN_PID");
    const char* fds = std::getenv("LISTEN_FDS");
    if (!pid || !fds || std::to_string(::getpid()) != pid || std::atoi(fds) < 1)
        return -1;
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    return 3;
}

int serve(const Options& options)
{
    HelperConfig config;
    std::string problem;
    if (loadHelperConfig(options.configPath, config, problem) != 0) {
        toolLog(ToolLogLevel::error, "configuration refused: " + problem);
        return kExitConfig;
    }
    SeqPacketSocket listener;
    std::string ownedPath;
    if (!options.socketPath.empty()) {
        if (int err = SeqPacketSocket::listenAt(options.socketPath, 0666, listener)) {
            toolLog(ToolLogLevel::error, "cannot listen at " + options.socketPath + ": "
                                             + std::strerror(err));
            return kExitFailure;
        }
        ownedPath = options.socketPath;
    } else {
        int fd = activatedSocket();
        if (fd < 0)
            return usage("no socket: start through systemd socket activation or pass --socket");
        if (int err = SeqPacketSocket::adoptListening(fd, listener)) {
            toolLog(ToolLogLevel::error, std::string("inherited socket unusable: ")
                                             + std::strerror(err));
            return kExitFailure;
        }
    }

    std::vector<std::string> protectedPaths = systemProtectedTrees();
    for (const auto& own : HelperService::installLayout().ownFiles())
        protectedPaths.push_back(own);
    protectedPaths.push_back(options.configPath);
    if (!ownedPath.empty())
        protectedPaths.push_back(ownedPath);
    PathPolicy policy(config.roots, protectedPaths);
    for (const auto& root : policy.rejectedRoots())
        toolLog(ToolLogLevel::error, "ignoring root \"" + root + "\": not allowed");

    PrivilegedHelperClient client(std::move(listener), ownedPath, std::move(config),
                                  std::move(policy), options.idleTimeoutMs);
    client.run();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    ::umask(022);
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--install")
            options.install = true;
        else if (arg == "--no-activate")
            options.activate = false;
        else if (arg == "--version")
            options.printVersion = true;
        else if (arg == "--socket")
            ok = value(options.socketPath);
        else if (arg == "--config")
            ok = value(options.configPath);
        else if (arg == "--root")
            ok = value(options.destinationRoot);
        else if (arg == "--client-exe")
            ok = value(options.clientExecutable);
        else if (arg == "--client-uid")
            ok = value(options.clientUid);
        else if (arg == "--idle-timeout-ms") {
            std::string text;
            ok = value(text) && parsePositive(text, options.idleTimeoutMs);
        }
        else
            ok = false;
        if (!ok)
            return usage(("bad argument: " + arg).c_str());
    }
    if (options.printVersion) {
        std::printf("%s\n", HelperService::version);
        return 0;
    }
    return options.install ? install(options) : serve(options);
}
