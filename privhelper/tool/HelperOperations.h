#pragma once
// Carries out one decoded request for one peer, within the path policy, and builds its reply.

#include "platform/privileged/PeerCredentials.h"
#include "platform/privileged/SafePath.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <string>

class HelperOperations {
public:
    HelperOperations(const platform::privileged::PathPolicy& policy, std::string version);

    PrivilegedHelperProtocol::Reply perform(const PrivilegedHelperProtocol::Request& request,
                                            const platform::privileged::PeerCredentials& peer) const;

    // Attributes a peer may ask for: permission bits only (no set-user-ID, set-group-ID or
    // sticky bit), owner only the peer itself, group only one of the peer's groups.
    static int checkAttributesAllowed(const platform::privileged::FileAttributes& attributes,
                                      const platform::privileged::PeerCredentials& peer);

private:
    int remove(const std::string& path, const platform::privileged::PeerCredentials& peer) const;
    int copy(const std::string& from, const std::string& to,
             const platform::privileged::PeerCredentials& peer) const;
    int move(const std::string& from, const std::string& to,
             const platform::privileged::PeerCredentials& peer) const;
    int createDirectory(const PrivilegedHelperProtocol::Request& request,
                        const platform::privileged::PeerCredentials& peer) const;
    int setAttributes(const PrivilegedHelperProtocol::Request& request,
                      const platform::privileged::PeerCredentials& peer) const;

    const platform::privileged::PathPolicy& policy_;
    std::string version_;
};
