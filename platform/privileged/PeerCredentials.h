#pragma once
// Who is on the other end of a Unix-domain connection, as the kernel recorded it at connect
// time (not as the peer claims).

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::privileged {

struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    std::vector<gid_t> groups; // supplementary groups

    bool isInGroup(gid_t group) const;
};

// SO_PEERCRED and SO_PEERGROUPS of a connected socket; errno value on failure.
int readPeerCredentials(int socketFd, PeerCredentials& out);

// The executable of a running process (/proc/PID/exe), or empty when it cannot be read.
std::string executablePathOfProcess(pid_t pid);

} // namespace platform::privileged
