// The MIDI byte parser over a stream cut into deliveries: each 0x00 byte after a 0xFD marker
// ends a delivery, so splits land anywhere, sysex included.
#include "comm/showcontrol/midi/QMMidiByteParser.h"
#include "platform/foundation/Log.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet; // dropped system exclusive is logged on purpose
    quiet.clear();
    QMMidiByteParser parser;
    std::vector<QMMidiMessage> out;
    parser.beginDelivery();
    for (std::size_t i = 0; i < size; ++i) {
        if (i + 1 < size && data[i] == 0xFD && data[i + 1] == 0x00) {
            parser.beginDelivery();
            ++i;
            continue;
        }
        parser.parse(data[i], out);
    }
    if (out.size() > size)
        std::abort();
    return 0;
}
