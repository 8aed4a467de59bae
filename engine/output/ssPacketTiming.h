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
