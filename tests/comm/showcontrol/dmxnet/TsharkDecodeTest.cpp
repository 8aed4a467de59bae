// An independent decoder reads our packets: they are written into a capture file of our own
// (raw IPv4 frames, nothing is sent) and decoded by tshark.
#include "comm/showcontrol/dmxnet/FWNArtNetPacket.h"
#include "comm/showcontrol/dmxnet/FWNSACNPacket.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {

void putLE32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out += char(v >> (8 * i));
}

// A pcap file of UDP datagrams from 127.0.0.1:40000 to 127.0.0.1:port (link type raw IPv4).
QByteArray capture(const std::vector<QByteArray>& payloads, quint16 port)
{
    QByteArray file;
    putLE32(file, 0xA1B2C3D4);
    file += QByteArray::fromHex("02000400");
    putLE32(file, 0);
    putLE32(file, 0);
    putLE32(file, 65535);
    putLE32(file, 101);
    for (const QByteArray& payload : payloads) {
        const int udpLength = 8 + int(payload.size());
        const int ipLength = 20 + udpLength;
        QByteArray frame = QByteArray::fromHex("4500");
        frame += char(ipLength >> 8);
        frame += char(ipLength);
        frame += QByteArray::fromHex("00000000401100007f0000017f000001" "9c40");
        frame += char(port >> 8);
        frame += char(port);
        frame += char(udpLength >> 8);
        frame += char(udpLength);
        frame += QByteArray(2, '\0');
        frame += payload;
        putLE32(file, 0);
        putLE32(file, 0);
        putLE32(file, quint32(frame.size()));
        putLE32(file, quint32(frame.size()));
        file += frame;
    }
    return file;
}

// One line per packet, the fields separated by '|'.
QStringList decode(const QByteArray& pcap, const QStringList& options, const QStringList& fields)
{
    testsupport::TempFolder folder;
    const QString path = folder.writeFile(QStringLiteral("dmx.pcap"), pcap);
    QStringList args = options;
    args << QStringLiteral("-r") << path << QStringLiteral("-T") << QStringLiteral("fields") << QStringLiteral("-E")
         << QStringLiteral("separator=|");
    for (const QString& f : fields)
        args << QStringLiteral("-e") << f;
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"), args);
    if (!tshark.waitForFinished(60000) || tshark.exitCode() != 0) {
        ADD_FAILURE() << "tshark failed: " << tshark.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(tshark.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool haveTshark()
{
    return !QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty();
}

} // namespace

TEST(TsharkDecode, ArtDmxFieldsMatch)
{
    if (!haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    QByteArray frame(512, '\0');
    frame[0] = char(0xFF);
    const FWNArtDMXIdentity identity(QByteArray(), FWNArtDMXIdentity::portAddressWithUniverse(2, 1, 0));
    const std::vector<QByteArray> packets = {FWNArtDMXPacket::withDMX(frame, identity, 0).data(),
                                             FWNArtDMXPacket::withDMX(QByteArray(3, '\x11'), FWNArtDMXIdentity(QByteArray(), 0x0135), 200).data()};
    const QStringList lines = decode(capture(packets, 6454), {},
                                     {QStringLiteral("artnet.header.id"), QStringLiteral("artnet.header.opcode"),
                                      QStringLiteral("artnet.header.protver"), QStringLiteral("artnet.output.sequence"),
                                      QStringLiteral("artnet.output.universe"), QStringLiteral("artnet.output.length")});
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Art-Net|0x5000|14|0|18|512"));
    EXPECT_EQ(lines[1], QStringLiteral("Art-Net|0x5000|14|200|309|4"));
}

TEST(TsharkDecode, E131RatifiedAndDraftFieldsMatch)
{
    if (!haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    const QByteArray cid = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    QByteArray frame(512, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(i);
    const QByteArray ratified = FWNSACNPacket::withDMX(frame, FWNSACNIdentity(1, cid), 100, 42, QStringLiteral("FWNMX"), 0).data();
    ASSERT_EQ(ratified.size(), 638);

    // The draft layout, as an older console sends it.
    QByteArray draft(90 + 24, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(draft.data());
    p[1] = 0x10;
    std::memcpy(p + 4, "ASC-E1.17", 9);
    p[16] = 0x70;
    p[17] = std::uint8_t(draft.size() - 16);
    p[21] = 3;
    std::memcpy(p + 22, cid.constData(), 16);
    p[38] = 0x70;
    p[39] = std::uint8_t(draft.size() - 38);
    p[43] = 2;
    std::memcpy(p + 44, "Old Desk", 8);
    p[76] = 90;
    p[77] = 7;
    p[79] = 9;
    p[80] = 0x70;
    p[81] = std::uint8_t(draft.size() - 80);
    p[82] = 2;
    p[83] = 0xA1;
    p[87] = 1;
    p[89] = 24;
    const auto read = FWNSACNPacket::withData(draft + QByteArray(12, '\0'), {}); // padded to a readable length
    ASSERT_TRUE(FWNSACNPacket::validatePacketData(draft));

    const QStringList lines = decode(capture({ratified, draft}, 5568),
                                     {QStringLiteral("-o"), QStringLiteral("acn.dmx_enable:TRUE"), QStringLiteral("--enable-heuristic"), QStringLiteral("acn")},
                                     {QStringLiteral("acn.protocol_id"), QStringLiteral("acn.cid"), QStringLiteral("acn.dmx.source_name"),
                                      QStringLiteral("acn.dmx.priority"), QStringLiteral("acn.dmx.seq_number"), QStringLiteral("acn.dmx.universe"),
                                      QStringLiteral("acn.dmx.count"), QStringLiteral("acn.pdu.length")});
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("4|00010203-0405-0607-0809-0a0b0c0d0e0f|FWNMX|100|42|1|513|622,600,523"));
    const QStringList draftFields = lines[1].split(QLatin1Char('|'));
    ASSERT_GE(draftFields.size(), 7);
    EXPECT_EQ(draftFields[0], QStringLiteral("3"));
    EXPECT_EQ(draftFields[2], QStringLiteral("Old Desk"));
    EXPECT_EQ(draftFields[3], QString::number(read->priority()));
    EXPECT_EQ(draftFields[5], QString::number(read->universe()));
    EXPECT_EQ(draftFields[6], QString::number(read->DMXLength()));
}
