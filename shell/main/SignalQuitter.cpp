#include "shell/main/SignalQuitter.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
}

SignalQuitter::SignalQuitter(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0)
        return;
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalQuitter::readSignal);

    struct sigaction action = {};
    action.sa_handler = &SignalQuitter::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

SignalQuitter::~SignalQuitter()
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::signal(sig, SIG_DFL);
    delete notifier_;
    for (int& fd : g_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalQuitter::handle(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] ssize_t n = ::write(g_fds[0], &byte, 1);
}

void SignalQuitter::readSignal()
{
    char byte = 0;
    [[maybe_unused]] ssize_t n = ::read(g_fds[1], &byte, 1);
    QCoreApplication::quit();
}
