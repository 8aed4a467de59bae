#include "platform/xpc/XpcSpawn.h"

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

XpcSpawned spawnXpcService(const QString& program, const QStringList& arguments, QObject* parent, QString* error)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        if (error)
            *error = QStringLiteral("socketpair: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    const int ours = fds[0];
    const int theirs = fds[1];
    const pid_t parentPid = ::getpid();

    auto* process = new QProcess(parent);
    process->setProgram(program);
    process->setArguments(arguments);
    // Output goes where the application's goes; input is /dev/null (QProcess's default when the
    // process is not opened for writing).
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    // Runs in the child between fork and exec: only async-signal-safe calls.
    process->setChildProcessModifier([theirs, ours, parentPid] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parentPid) // the application died before the line above
            ::_exit(127);
        ::close(ours);
        if (theirs == kXpcServiceFd) {
            ::fcntl(theirs, F_SETFD, 0);
        } else if (::dup2(theirs, kXpcServiceFd) < 0) {
            ::_exit(127);
        }
    });
    process->start(QIODevice::ReadOnly);
    ::close(theirs);
    if (!process->waitForStarted(10000)) {
        if (error)
            *error = process->errorString();
        process->kill();
        process->waitForFinished(3000);
        delete process;
        ::close(ours);
        return {};
    }
    return {process, ours};
}

} // namespace platform
