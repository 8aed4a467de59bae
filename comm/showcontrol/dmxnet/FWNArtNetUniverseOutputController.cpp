#include "comm/showcontrol/dmxnet/FWNArtNetUniverseOutputController.h"

#include "comm/showcontrol/dmxnet/FWNArtNetIOController.h"

FWNArtNetUniverseOutputController::FWNArtNetUniverseOutputController(const FWNArtDMXIdentity& identity,
                                                                     FWNArtNetIOController* ioController)
    : ioController_(ioController ? ioController : &FWNArtNetIOController::sharedIOController())
    , identity_(identity)
{
}

void FWNArtNetUniverseOutputController::send()
{
    sequence_ = sequence_ == 255 ? 1 : std::uint8_t(sequence_ + 1);
    packet_ = FWNArtDMXPacket::withDMX(DMX().value_or(QByteArray()), identity_, sequence_, physical_);
    ioController_->sendPacket(*packet_);
}
