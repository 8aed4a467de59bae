#include "platform/privileged/PeerCredentials.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::privileged {

bool PeerCredentials::isInGroup(gid_t group) const
{
    return group == gid || std::find(groups.begin(), groups.end(), group) != groups.end();
}

int readPeerCredentials(int socketFd, PeerCredentials& out)
{
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &cred, &size) < 0)
        return errno;
    PeerCredentials result;
    result.pid = cred.pid;
    result.uid = cred.uid;
    result.gid = cred.gid;
    std::vector<gid_t> groups(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
        size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) == 0) {
            groups.resize(size / sizeof(gid_t));
            result.groups = std::move(groups);
            out = std::move(result);
            return 0;
        }
        if (errno != ERANGE)
            return errno;
        // size now holds the length the kernel needs.
        groups.resize(size / sizeof(gid_t) + 1);
    }
    return ERANGE;
}

std::string executablePathOfProcess(pid_t pid)
{
    if (pid <= 0)
        return {};
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char target[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
        return {};
    std::string path(target, static_cast<std::size_t>(n));
    // A replaced or deleted executable reads back with this suffix; it is not the program
    // that was installed.
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() >= deleted.size()
        && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        return {};
    return path;
}

} // namespace platform::privileged
