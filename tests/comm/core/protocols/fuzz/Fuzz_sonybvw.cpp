#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "tests/comm/core/protocols/fuzz/FuzzChannels.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte picks the behaviour; the rest is what the line delivers.
    if (size == 0)
        return 0;
    auto& parser = (data[0] & 1) ? fuzzParser<QMProtocolParserSonyBVW, 1>(QMProtocolBehaviorController) : fuzzParser<QMProtocolParserSonyBVW>();
    parser.serialHardwareReadData(nullptr, QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    parser.handleNewData();
    // Whatever is left is one partial packet at most.
    if (parser.bufferedByteCount() >= 18)
        std::abort();
    return 0;
}
