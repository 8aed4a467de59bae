#pragma once
// Whether an audio packet is due against the clock it is kept in step with.

#include <cstdint>

// Tolerance of a linked channel's SDI audio against its master's clock, and of computer audio
// against its engine's clock, in seconds.
inline constexpr double ssSdiSyncTolerance = 0.0736;
inline constexpr double ssComputerSyncTolerance = 0.016;

enum class ssPacketDue : int32_t {
    Early, // keep it; play silence now
    Take,  // within the window
    Late,  // drop it and look at the next one
};

// lead = reference clock (with its offset) - packet time.
inline ssPacketDue ssClassifyPacket(double lead, double tolerance)
{
    if (lead <= -tolerance)
        return ssPacketDue::Early;
    if (lead < tolerance)
        return ssPacketDue::Take;
    return ssPacketDue::Late;
}

// The packet rule of an output kept in step with a clock: looks at the queue's next packet and
// takes it when due, drops it when late and looks again, and leaves it queued when early.
//   peek(): the next packet or null; take(): removes it; lead(packet): clock - packet time.
// Returns the packet taken, or null (nothing queued, or the next one is early: play silence).
template <class Packet, class Peek, class Take, class Lead>
Packet* ssTakeDuePacket(Peek&& peek, Take&& take, Lead&& lead, double tolerance)
{
    for (;;) {
        Packet* packet = peek();
        if (!packet)
            return nullptr;
        const ssPacketDue due = ssClassifyPacket(lead(*packet), tolerance);
        if (due == ssPacketDue::Early)
            return nullptr;
        take();
        if (due == ssPacketDue::Take)
            return packet;
    }
}
