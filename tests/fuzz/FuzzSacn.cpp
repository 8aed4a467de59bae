// sACN (E1.31) datagrams as a receiver reads them.
#include "comm/showcontrol/dmxnet/FWNSACNPacket.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FWNSACNPacket::validatePacketData(bytes);
    if (auto packet = FWNSACNPacket::withData(bytes, QByteArrayLiteral("127.0.0.1"))) {
        if (packet->DMX().size() > FWNSACNPacket::kMaxSlots)
            std::abort();
    }
    return 0;
}
