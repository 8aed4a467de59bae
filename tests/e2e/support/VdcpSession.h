#pragma once
// A VDCP automation controller on a TCP connection: one command, one reply.

#include "tests/comm/core/protocols/vdcp/VdcpPeer.h"
#include "tests/e2e/support/TcpPeer.h"

#include <optional>

namespace e2e {

class VdcpSession {
public:
    bool connectTo(uint16_t port) { return peer_.connectTo(port); }
    TcpPeer& peer() { return peer_; }

    vdcppeer::Reply ask(const QByteArray& command, int timeoutMs = 5000)
    {
        if (!peer_.send(command))
            return {};
        QByteArray stream = peer_.receive([](const QByteArray& b) { return vdcppeer::holdsReplies(b, 1); }, timeoutMs);
        return vdcppeer::takeReply(stream).value_or(vdcppeer::Reply{});
    }

private:
    TcpPeer peer_;
};

// Two BCD digits.
inline int fromBcd(char byte)
{
    const auto b = std::uint8_t(byte);
    return (b >> 4) * 10 + (b & 0x0F);
}

} // namespace e2e
