#include "tests/support/UdpSocketTable.h"

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

std::optional<UdpSocketBacklog> udpSocketBacklog(quint16 port)
{
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ref pointer drops
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    std::optional<UdpSocketBacklog> found;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode, refs, pointer;
        std::uint64_t drops = 0;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode >> refs >> pointer >> drops;
        const auto colon = local.find(':');
        const auto queueColon = queues.find(':');
        if (colon == std::string::npos || queueColon == std::string::npos || std::stoul(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        if (!found)
            found = UdpSocketBacklog{};
        found->queuedBytes += std::stoull(queues.substr(queueColon + 1), nullptr, 16);
        found->drops += drops;
    }
    return found;
}

} // namespace testsupport
