#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "tests/comm/core/protocols/fuzz/FuzzChannels.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto& parser = fuzzParser<QMProtocolParserAMP>();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    parser.responseForMessage(bytes, (size & 1) ? QStringLiteral("127.0.0.1:1") : QString());
    return 0;
}
