// The GPIO and switcher parsers' inputs: Global Cache command descriptors as device files and
// documents give them (the first line is the format with its "|seconds|" delays, each further
// line a parameter value), and the bytes a Numato board or a BVS switcher sends, which are read
// and logged only.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/switchers/QMProtocolParserSonyBVS.h"
#include "comm/showcontrol/gpio/QMProtocolParserGlobalCache.h"
#include "comm/showcontrol/gpio/QMProtocolParserNumatoGPIO.h"
#include "platform/foundation/Log.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet;
    quiet.clear();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = bytes.split('\n');
    QVariantList params;
    for (qsizetype i = 1; i < lines.size(); ++i)
        params.append(QVariantMap{{QLatin1String(QMProtocolCommandKeyParamValue), QString::fromUtf8(lines[i])},
                                  {QLatin1String(QMProtocolCommandKeyParamParseBeforeSplitting), (i & 1) != 0}});
    const QVariantMap descriptor{{QLatin1String(QMProtocolCommandKeyFormat), QString::fromUtf8(lines.value(0))},
                                 {QLatin1String(QMProtocolCommandKeyParams), params}};
    for (const auto& [delay, line] : QMProtocolParserGlobalCache::linesForCommand(descriptor)) {
        if (!std::isfinite(delay) || delay < 0 || delay > QMProtocolParserGlobalCache::kMaxIntervalSeconds || !line.endsWith('\r'))
            std::abort();
    }
    static QMProtocolParserNumatoGPIO numato;
    numato.serialHardwareReadData(nullptr, bytes);
    static QMProtocolParserSonyBVS bvs;
    bvs.networkHardwareReadData(nullptr, bytes);
    static QMProtocolParserGlobalCache globalCache;
    globalCache.networkHardwareReadHeaderFromConnection(nullptr, bytes, QStringLiteral("127.0.0.1:4998"));
    return 0;
}
