// The vision-mixer parsers' inputs: what a switcher sends back (serial reads to the GVG100 and
// BVS parsers, UDP datagrams to the BVS parser; both are only read and logged), and the command
// descriptors a device menu or document hands them (hexadecimal text, parameters substituted in,
// optional break positions). Input: the first line is the descriptor's format, the second its
// break positions ("-" for none, else numbers separated by commas), each further line up to an
// empty one a parameter "location,length,value"; the bytes after the empty line come from the
// switcher in reads cut at each 0xFF byte.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"
#include "comm/core/protocols/switchers/QMProtocolParserGVG100.h"
#include "comm/core/protocols/switchers/QMProtocolParserSonyBVS.h"
#include "platform/foundation/Log.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

QVariantMap descriptorFrom(const QList<QByteArray>& lines, qsizetype& next)
{
    QVariantMap descriptor{{key(QMProtocolCommandKeyFormat), QString::fromUtf8(lines.value(0))}};
    const QByteArray breaks = lines.value(1);
    if (breaks != "-") {
        QVariantList indexes;
        for (const QByteArray& index : breaks.split(','))
            indexes.append(index.trimmed().toLongLong());
        descriptor.insert(key(QMProtocolCommandKeyBreakIndexes), indexes);
        // The pause is a sleep on the sending thread, not input handling: none here.
        descriptor.insert(key(QMProtocolCommandKeyBreakDuration), 0);
    }
    QVariantList params;
    next = 2;
    for (; next < lines.size() && !lines[next].isEmpty(); ++next) {
        const QList<QByteArray> fields = lines[next].split(',');
        QVariantMap param = QMProtocolCommandSender::parameter(QStringLiteral("p"), fields.value(0).toLongLong(),
                                                               fields.value(1).toLongLong());
        if (fields.size() > 2)
            param.insert(key(QMProtocolCommandKeyParamValue), QString::fromUtf8(fields.mid(2).join(',')));
        params.append(param);
    }
    descriptor.insert(key(QMProtocolCommandKeyParams), params);
    return descriptor;
}

} // namespace

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
    const qsizetype split = bytes.indexOf("\n\n");
    const QList<QByteArray> lines = bytes.left(split < 0 ? bytes.size() : split).split('\n');
    qsizetype next = 0;
    const QVariantMap descriptor = descriptorFrom(lines, next);

    const QString text = QMProtocolCommandSender::substitutedFormat(descriptor);
    qsizetype written = 0;
    int writes = 0;
    QMProtocolCommandSender::sendHexDescriptor(descriptor, [&](const QByteArray& piece) {
        if (piece.isEmpty())
            std::abort();
        written += piece.size();
        ++writes;
    });
    // Two digits make a byte (an odd piece gets one more digit); nothing beyond the text goes out,
    // and a descriptor without break positions is one write.
    if (written > text.size() || (!descriptor.contains(key(QMProtocolCommandKeyBreakIndexes)) && writes > 1))
        std::abort();

    static QMProtocolParserGVG100 gvg100;
    static QMProtocolParserSonyBVS bvs;
    const QByteArray replies = split < 0 ? QByteArray() : bytes.mid(split + 2);
    for (const QByteArray& read : replies.split('\xff')) {
        gvg100.serialHardwareReadData(nullptr, read);
        bvs.serialHardwareReadData(nullptr, read);
        bvs.networkHardwareReadData(nullptr, read);
    }
    // The tables stay what they are, whatever came in.
    if (gvg100.protocolCommands().size() != 2 || bvs.protocolCommands().size() != 5)
        std::abort();
    return 0;
}
