// Art-Net datagrams as a node receives them: the generic packet and the ArtDmx reader.
#include "comm/showcontrol/dmxnet/FWNArtNetPacket.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray address = QByteArrayLiteral("127.0.0.1");
    FWNArtNetPacket::validatePacketData(bytes);
    FWNArtNetPacket::packetWithData(bytes, address);
    if (auto dmx = FWNArtDMXPacket::withData(bytes, address)) {
        if (dmx->DMX().size() > FWNArtDMXPacket::kMaxSlots)
            std::abort();
    }
    return 0;
}
