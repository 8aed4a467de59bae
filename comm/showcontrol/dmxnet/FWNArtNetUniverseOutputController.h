#pragma once
// Streams one universe as ArtDmx on the schedule of its base: each send carries the next
// sequence number, 2 to 255 and then 1 again (never 0, which means "not sequenced").
#include "comm/showcontrol/dmxnet/FWNArtDMXIdentity.h"
#include "comm/showcontrol/dmxnet/FWNArtNetPacket.h"
#include "comm/showcontrol/dmxnet/FWNMXAbstractUniverseOutputController.h"

#include <optional>

class FWNArtNetIOController;

class FWNArtNetUniverseOutputController : public FWNMXAbstractUniverseOutputController {
public:
    FWNArtNetUniverseOutputController() : FWNArtNetUniverseOutputController(FWNArtDMXIdentity(), nullptr) {}
    // A null I/O controller means the shared one.
    FWNArtNetUniverseOutputController(const FWNArtDMXIdentity& identity, FWNArtNetIOController* ioController);

    void send() override;

    FWNArtNetIOController& ioController() const { return *ioController_; }
    const FWNArtDMXIdentity& identity() const { return identity_; }
    void setIdentity(const FWNArtDMXIdentity& identity) { identity_ = identity; }
    // The last packet sent.
    const std::optional<FWNArtDMXPacket>& packet() const { return packet_; }
    std::uint8_t sequence() const { return sequence_; }
    std::uint8_t physical() const { return physical_; }
    void setPhysical(std::uint8_t physical) { physical_ = physical; }

private:
    FWNArtNetIOController* ioController_;
    std::optional<FWNArtDMXPacket> packet_;
    FWNArtDMXIdentity identity_;
    std::uint8_t sequence_ = 1;
    std::uint8_t physical_ = 0;
};
