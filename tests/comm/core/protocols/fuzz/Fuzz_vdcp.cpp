#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "tests/comm/core/protocols/fuzz/FuzzChannels.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto& parser = fuzzParser<QMProtocolParserVDCP>();
    const QString id = QStringLiteral("fuzz");
    auto state = parser.connection(id);
    if (!state)
        state = parser.addConnection(id);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        std::unique_lock lock(state->serialMutex);
        state->serialBuffer.append(bytes);
    }
    parser.parseSerialBufferForConnection(id);
    parser.responseForMessage(bytes, id);
    std::unique_lock lock(state->serialMutex);
    if (state->serialBuffer.size() > 258)
        std::abort();
    return 0;
}
