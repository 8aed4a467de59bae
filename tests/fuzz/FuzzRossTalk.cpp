// RossTalk lines as the TCP reader hands them over, one line per input line.
#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"
#include "tests/comm/core/protocols/fuzz/FuzzChannels.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto& parser = fuzzParser<QMProtocolParserRossTalk>();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& line : bytes.split('\n'))
        parser.handleMessage(QString::fromUtf8(line));
    return 0;
}
