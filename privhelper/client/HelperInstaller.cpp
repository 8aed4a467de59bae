#include "privhelper/client/HelperInstaller.h"

#include "platform/foundation/CompanionProgram.h"
#include "platform/privileged/UniqueFd.h"
#include "privhelper/shared/ChildProcess.h"
#include "privhelper/shared/HelperService.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using platform::privileged::UniqueFd;

namespace {

constexpr std::size_t kMaxStderr = 16 * 1024;

QString unknownError()
{
    return QStringLiteral("Unknown Error");
}

} // namespace

PkexecHelperInstaller::PkexecHelperInstaller(std::string toolPath, std::string clientExecutable,
                                             std::string elevator)
    : toolPath_(std::move(toolPath)),
      clientExecutable_(std::move(clientExecutable)),
      elevator_(std::move(elevator))
{
}

std::string PkexecHelperInstaller::currentExecutable()
{
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path)
        return {};
    return std::string(path, static_cast<std::size_t>(n));
}

std::string PkexecHelperInstaller::bundledToolPath()
{
    std::string self = currentExecutable();
    const auto slash = self.rfind('/');
    if (slash == std::string::npos)
        return HelperService::bundledToolName;
    return platform::companionProgramPath(self.substr(0, slash), HelperService::bundledToolName);
}

HelperInstallOutcome PkexecHelperInstaller::install()
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) < 0)
        return {HelperInstallOutcome::Kind::installFailed,
                QString::fromLocal8Bit(std::strerror(errno))};
    UniqueFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);

    std::vector<std::string> args = {elevator_, toolPath_, "--install"};
    if (!clientExecutable_.empty()) {
        args.push_back("--client-exe");
        args.push_back(clientExecutable_);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    pid_t pid = 0;
    int err = HelperService::spawnChild(args, &actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (err) {
        // Without the elevator there is no way to ask for authorization at all.
        return {HelperInstallOutcome::Kind::authorizationFailed,
                QStringLiteral("Unable to run %1: %2")
                    .arg(QString::fromStdString(elevator_),
                         QString::fromLocal8Bit(std::strerror(err)))};
    }

    std::string stderrText;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (stderrText.size() < kMaxStderr)
            stderrText.append(buffer, std::min(static_cast<std::size_t>(n),
                                               kMaxStderr - stderrText.size()));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    QString message = QString::fromLocal8Bit(stderrText).trimmed();
    if (message.isEmpty())
        message = unknownError();
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        if (code == 0)
            return {HelperInstallOutcome::Kind::installed, {}};
        if (code == 126 || code == 127)
            return {HelperInstallOutcome::Kind::authorizationFailed, message};
        return {HelperInstallOutcome::Kind::installFailed, message};
    }
    return {HelperInstallOutcome::Kind::installFailed,
            QStringLiteral("The installer ended with signal %1").arg(WTERMSIG(status))};
}
